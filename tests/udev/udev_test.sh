#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# udev's rule and program as the Debian packages in DIST install them, each
# step in private namespaces over the unpacked packages (an overlay on /usr):
# nothing is installed on the machine, and its interface is never renamed.
#   udev_test.sh rules DIST        udevadm test on this machine's PCI network interface
#   udev_test.sh initramfs DIST    an image from mkinitramfs and from dracut, listed
#   udev_test.sh timing DIST BOARDS FIXTURE
#                                  udev's program beside dmidecode -t 209 (make bench)
#   udev_test.sh names PROGRAM     the program on PCI names as udev may give them
# Exits 77 (skipped), with the reason, where no namespace can be made.
set -uo pipefail
step=$1

# The bytes of a firmware table: PAD other structures (OEM strings, 111
# bytes each), then, given functions "BB:DD.F", a port structure listing
# them and the end of the table.
firmware_table() {
  local pad=$1 f ports=""
  shift
  for ((i = 0; i < pad; ++i)); do printf '\x0b\x05\x00\x10\x05' && printf 'OEM string %02d of %03d\0' 1 $i 2 $i 3 $i 4 $i 5 $i && printf '\0'; done
  [[ $# -gt 0 ]] || return 0
  for f in "$@"; do ports+=$(printf '\\x%02x\\x%02x\\x02\\x00\\x5e\\x00\\x00\\x01' $((16#${f:3:2} << 3 | ${f:6:1})) $((16#${f:0:2}))); done
  printf "\\xd1\\x$(printf %02x $((4 + 8 * $#)))\\x00\\x00$ports\\x00\\x00\\x7f\\x04\\xff\\xfe\\x00\\x00"
}

# In the namespace: the packages' /usr, only our rule (and, with EARLIER,
# one that sets an onboard name before it), a table listing PORTS ("-": no
# table at all); then udevadm test.
inside_rules() {
  local earlier=$1 interface=$2 action=$3 ports=$4
  mount -t overlay overlay -o "lowerdir=$ROOT/usr:/usr" /usr && mount -t tmpfs none /usr/lib/udev/rules.d &&
    mount -t tmpfs none /etc/udev/rules.d && mount -t tmpfs none /run && mkdir /run/udev &&
    mount -t tmpfs none /sys/firmware && mkdir -p /sys/firmware/dmi/tables || return 1
  cp "$ROOT"/usr/lib/udev/rules.d/7[78]-tesmaron*.rules /usr/lib/udev/rules.d/
  [[ $earlier == - ]] ||
    echo 'SUBSYSTEM=="net", ACTION!="remove", ENV{ID_NET_NAME_ONBOARD}="eno7"' >/usr/lib/udev/rules.d/76-onboard.rules
  # shellcheck disable=SC2086
  [[ $ports == - ]] || firmware_table 0 ${ports//,/ } >/sys/firmware/dmi/tables/DMI || return 1
  udevadm test --action="$action" "/sys/class/net/$interface" 2>&1
}

run_rules() {
  local net folder interface= function failed=0 count=0 other=7e:00.0
  # The first interface below a PCI function, as SUBSYSTEMS=="pci" finds it.
  for net in /sys/class/net/*; do
    folder=$(realpath "$net")
    while [[ -z $interface && $folder == /sys/devices/* ]]; do
      folder=${folder%/*}
      [[ $(readlink "$folder/subsystem") == */pci ]] && interface=${net##*/} function=${folder##*/}
    done
  done
  [[ -n $interface ]] || { echo "SKIP: this machine has no network interface on a PCI function"; exit 77; }
  local at=${function#0000:} action ports cmdline earlier port out got key want_run
  # ACTION | TABLE'S PORTS | KERNEL COMMAND LINE | EARLIER ONBOARD RULE | TESMARON_PORT ID_NET_NAME_ONBOARD
  while IFS='|' read -r action ports cmdline earlier port onboard; do
    count=$((count + 1))
    # udev reads PID 1's command line in a container; this variable first.
    out=$(SYSTEMD_PROC_CMDLINE=$cmdline unshare -m -n "$BASH" "$0" inside-rules "$earlier" "$interface" "$action" "$ports")
    got=$(for key in TESMARON_PORT ID_NET_NAME_ONBOARD; do
      sed -n "/^This program is for debugging only/,\$s/^$key=//p" <<<"$out"
    done | xargs)
    # An interface on a port, added, restarts the metrics' timer (where it
    # runs); any other interface starts nothing.
    [[ $action == add && -n $port ]] && want_run=1 || want_run=0
    if [[ $got != "$port" || $(grep -c "^run: '/bin/systemctl --no-block try-restart tesmaron-ports-textfile.timer'" \
      <<<"$out") != "$want_run" ]] || grep -q "tesmaron_port_id.*failed" <<<"$out"; then
      failed=$((failed + 1))
      printf 'FAIL %s, table %s, command line "%s": got "%s", expected "%s"\n%s\n' "$action" "$ports" "$cmdline" "$got" "$port" "$out"
    fi
    [[ $count -eq 2 ]] && printf '%s on %s, port 1, tesmaron.names=1: udevadm test ends with\n%s\n' "$interface" \
      "$function" "$(sed -n '/^DEVPATH=/,$p' <<<"$out")"
  done <<CASES
add|$at||-|1
add|$at|quiet tesmaron.names=1|-|1 eno1
change|$at|tesmaron.names|-|1 eno1
add|$at|tesmaron.names=Yes|-|1 eno1
add|$at|tesmaron.names=off|-|1
add|$other,$at,$at|tesmaron.names=1|-|
add|$other|tesmaron.names=1|-|
add|-|tesmaron.names=1|-|
add|$at|tesmaron.names=1|onboard|1 eno7
CASES
  [[ -e /sys/class/net/$interface ]] || { echo "FAIL $interface is gone from this machine"; failed=$((failed + 1)); }
  echo "udev rule on $interface ($function): $count cases, $failed failed"
  [[ $failed -eq 0 ]]
}

# In the namespace: stand-ins for a kernel's module folder and configuration,
# which mkinitramfs needs, and udev's /etc/udev/rules.d of its own; with
# "off", an admin's 77-tesmaron.rules there that is a link to /dev/null. An
# image from mkinitramfs into OUT/initramfs-tools[-off].img, and with "off"
# one from dracut, OUT/dracut.img, at the same time.
inside_initramfs() {
  local out=$1 override=$2 version=6.1.0-tesmaron standin=$1/standin-$2 image
  mkdir -p "$standin/usr/lib/modules/$version" "$standin/boot" "$standin/upper" "$standin/work"
  echo CONFIG_RD_GZIP=y >"$standin/boot/config-$version"
  touch "$standin/usr/lib/modules/$version/modules."{order,builtin}
  mount -t overlay overlay -o "lowerdir=$standin/usr:$ROOT/usr:/usr,upperdir=$standin/upper,workdir=$standin/work" /usr &&
    mount --bind "$standin/boot" /boot && mount -t tmpfs none /etc/udev/rules.d || return 1
  image=$out/initramfs-tools.img
  [[ $override == off ]] && ln -s /dev/null /etc/udev/rules.d/77-tesmaron.rules && image=$out/initramfs-tools-off.img
  mkinitramfs -o "$image" "$version" >"$image.log" 2>&1 &
  local mkinitramfs=$!
  # dracut's image with our module and what it depends on, uncompressed,
  # since only its list is read; a module whose check fails fails the build.
  if [[ $override == off ]] &&
    ! dracut --no-kernel --no-compress --force -m "udev-rules tesmaron" "$out/dracut.img" >"$out/dracut.log" 2>&1; then
    cat "$out/dracut.log"
    return 1
  fi
  wait $mkinitramfs || { cat "$image.log"; return 1; }
}

# The images with the rule, its program and the library, whatever they
# hold them as; and an admin's rule winning over the packaged one: in
# mkinitramfs' image the rule is empty, in dracut's a link to /dev/null in
# /etc/udev/rules.d, which udev reads first.
run_initramfs() {
  local image path failed=0 held want
  unshare -m "$BASH" "$0" inside-initramfs "$WORK" - &
  local plain=$!
  unshare -m "$BASH" "$0" inside-initramfs "$WORK" off && wait $plain || return 1
  for image in initramfs-tools initramfs-tools-off dracut; do
    # PATH SIZE, or PATH -> TARGET, of the files that are ours.
    if [[ $image == dracut ]]; then held=$(lsinitrd "$WORK/dracut.img" | awk '{print $9, ($10 == "->" ? "-> " $11 : $5)}')
    else held=$(lsinitramfs -l "$WORK/$image.img" | awk '{print $9, ($10 == "->" ? "-> " $11 : $5)}'); fi
    held=$(grep -E '(/77-tesmaron.rules|/tesmaron_port_id|/libtesmaron\.so[^ ]*) ' <<<"$held" | sort)
    printf '%s image holds:\n%s\n' "$image" "$(sed 's/^/  /' <<<"$held")"
    # PATH then SIZE (a pattern) or -> TARGET
    want="lib/udev/rules.d/77-tesmaron.rules [1-9]
lib/udev/tesmaron_port_id [1-9]
libtesmaron.so.1 ->"
    [[ $image == initramfs-tools-off ]] && want=${want/rules \[1-9\]/rules 0}
    [[ $image == dracut ]] && want+=$'\netc/udev/rules.d/77-tesmaron.rules -> /dev/null'
    while read -r path size; do
      grep -qE "(^|/)$path $size" <<<"$held" || { echo "FAIL the $image image has no $path $size"; failed=$((failed + 1)); }
    done <<<"$want"
  done
  [[ $failed -eq 0 ]]
}

# In the namespace: the packages' /usr, the loader's cache knowing their
# library, a 13,575-byte table (board-084's port list behind 120 other
# structures) with its entry point; 500 runs of each under perf stat.
inside_timing() {
  local boards=$1 fixture=$2 command seconds error
  mount -t overlay overlay -o "lowerdir=$ROOT/usr:/usr" /usr && ldconfig -C "$WORK/ld.so.cache" &&
    mount --bind "$WORK/ld.so.cache" /etc/ld.so.cache && mount -t tmpfs none /sys/firmware &&
    mkdir -p /sys/firmware/dmi/tables && "$fixture" "$boards" bare "$WORK" board-084 || return 1
  { firmware_table 120 && cat "$WORK/board-084.bare"; } >/sys/firmware/dmi/tables/DMI
  local length ep sum=0 b
  length=$(stat -c %s /sys/firmware/dmi/tables/DMI)
  ep=(0x5f 0x53 0x4d 0x33 0x5f 0 0x18 3 2 0 1 0 $((length & 255)) $((length >> 8 & 255)) 0 0 0 0xe0 0xf2 0x7a 0 0 0 0)
  for b in "${ep[@]}"; do sum=$((sum + b)); done
  ep[5]=$(((256 - sum % 256) % 256))
  for b in "${ep[@]}"; do printf "\\x$(printf %02x "$b")"; done >/sys/firmware/dmi/tables/smbios_entry_point
  echo "whole-process time, mean of 500 runs, on a $length-byte table:"
  for command in "/usr/lib/udev/tesmaron_port_id 0000:04:00.1" "dmidecode -t 209" "/usr/bin/tesmaron-ports --pci 04:00.1"; do
    # shellcheck disable=SC2086
    read -r seconds error < <(perf stat -r 500 $command 2>&1 >/dev/null |
      sed -n 's/^ *\([0-9.]*\) +- \([0-9.]*\) seconds time elapsed.*/\1 \2/p')
    printf '  %-40s %6.3f ms +- %.3f\n' "${command##*/}" "$(bc -l <<<"$seconds * 1000")" "$(bc -l <<<"$error * 1000")"
  done
}

# NAME | EXIT ("0-": prints nothing). A well-formed name in another domain
# than 0000 (a VMD domain has five digits) prints nothing; anything but
# exactly DOMAIN:BB:DD.F in hex gives the usage and 2.
run_names() {
  local program=$1 name status failed=0 count=0 out err
  while IFS='|' read -r name status; do
    count=$((count + 1))
    out=$("$program" ${name:+"$name"} 2>"$WORK/err")
    err=$?
    if [[ $err -ne ${status%-} || ($status == *- && -n $out) ||
      $(grep -c '^usage: tesmaron_port_id' "$WORK/err") -ne $((err == 2)) ]]; then
      failed=$((failed + 1))
      echo "FAIL tesmaron_port_id '$name': exit $err, output '$out', $(cat "$WORK/err")"
    fi
  done <<CASES
0000:02:00.0|0
10000:02:00.0|0-
0001:02:00.0|0-
ABCD:7f:1f.7|0-
0000:-1:00.0|2
 0000:02:00.0|2
0x0:02:00.0|2
-0:02:00.0|2
000:02:00.0|2
0000:2:00.0|2
0000:02:20.0|2
0000:02:00.8|2
0000:02:00.0 |2
|2
CASES
  echo "tesmaron_port_id: $count names, $failed failed"
  [[ $failed -eq 0 ]]
}

case $step in
names)
  WORK=$(mktemp -d /tmp/tesmaron-udev-XXXXXX)
  trap 'rm -rf "$WORK"' EXIT
  run_names "$2"
  ;;
rules | initramfs | timing)
  WORK=$(mktemp -d /tmp/tesmaron-udev-XXXXXX) ROOT=$WORK/root
  export WORK ROOT
  trap 'rm -rf "$WORK"' EXIT
  # The packages as a merged-/usr system holds them: /lib/udev is /usr/lib/udev.
  for package in "$2"/libtesmaron1_*.deb "$2"/tesmaron-tools_*.deb; do
    dpkg-deb -x "$package" "$ROOT" || { echo "no $package (run 'make')"; exit 1; }
  done
  cp -a "$ROOT/lib/." "$ROOT/usr/lib/" && rm -rf "${ROOT:?}/lib"
  unshare -m -n true 2>/dev/null || { echo "SKIP: no private mount and network namespace (needs root)"; exit 77; }
  case $step in
  rules) run_rules ;;
  initramfs) run_initramfs ;;
  timing) unshare -m "$BASH" "$0" inside-timing "${@:3}" ;;
  esac
  ;;
inside-*) "${step//-/_}" "${@:2}" ;;
*) echo "unknown step $step" >&2; exit 2 ;;
esac
