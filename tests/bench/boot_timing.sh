#!/usr/bin/env bash
# Whole-process times on a server-sized firmware table (board-084's behind
# 120 other structures, about 13 KiB): udev's program, which runs once per
# interface at boot, beside `dmidecode -t 209` and tesmaron-ports. All run
# as the Debian packages in DIST install them, each 500 times under perf
# stat, in a private mount namespace where /usr shows the unpacked packages
# (and the loader's cache knows their library) and /sys/firmware holds only
# that table.
#   boot_timing.sh BOARDS FIXTURE DIST
set -uo pipefail
boards=$1 fixture=$2 dist=$3
readonly RUNS=500
command -v perf >/dev/null || { echo "boot timing: perf is not installed" >&2; exit 1; }

if [[ ${INSIDE:-} != 1 ]]; then
  root=$(mktemp -d /tmp/tesmaron-timing-XXXXXX)
  trap 'rm -rf "$root"' EXIT
  for package in "$dist"/libtesmaron1_*.deb "$dist"/tesmaron-tools_*.deb; do dpkg-deb -x "$package" "$root" || exit 1; done
  cp -a "$root/lib/." "$root/usr/lib/"
  INSIDE=1 ROOT=$root unshare -m "$BASH" "$0" "$@"
  exit
fi
mount -t overlay overlay -o "lowerdir=$ROOT/usr:/usr" /usr &&
  ldconfig -C "$ROOT/ld.so.cache" && mount --bind "$ROOT/ld.so.cache" /etc/ld.so.cache || exit 1
dmi=/sys/firmware/dmi/tables
mount -t tmpfs none /sys/firmware && mkdir -p $dmi || exit 1
"$fixture" "$boards" bare /sys/firmware board-084 || exit 1
# OEM strings (type 11): five strings of 20 characters, 111 bytes each.
for ((i = 0; i < 120; ++i)); do
  printf '\x0b\x05\x00\x10\x05'
  for s in 1 2 3 4 5; do printf 'OEM string %02d of %03d\0' "$s" "$i"; done
  printf '\0'
done >$dmi/DMI
cat /sys/firmware/board-084.bare >>$dmi/DMI
# An _SM3_ entry point giving the table's length, its checksum made good.
length=$(stat -c %s $dmi/DMI)
ep=(0x5f 0x53 0x4d 0x33 0x5f 0 0x18 3 2 0 1 0 $((length & 255)) $((length >> 8 & 255)) $((length >> 16 & 255)) 0
  0 0xe0 0xf2 0x7a 0 0 0 0)
sum=0
for b in "${ep[@]}"; do sum=$((sum + b)); done
ep[5]=$(((256 - sum % 256) % 256))
for b in "${ep[@]}"; do printf "\\x$(printf %02x "$b")"; done >$dmi/smbios_entry_point

mean() { perf stat -r $RUNS "$@" 2>&1 >/dev/null | sed -n 's/^ *\([0-9.]*\) +- \([0-9.]*\) seconds time elapsed.*/\1 \2/p'; }
echo "whole-process time, mean of $RUNS runs, on a $length-byte table:"
for command in "/usr/lib/udev/tesmaron_port_id 0000:04:00.1" "dmidecode -t 209" "/usr/bin/tesmaron-ports --pci 04:00.1"; do
  # shellcheck disable=SC2086
  read -r seconds error < <(mean $command)
  printf '  %-40s %6.3f ms +- %.3f\n' "${command##*/}" "$(bc -l <<<"$seconds * 1000")" "$(bc -l <<<"$error * 1000")"
done
