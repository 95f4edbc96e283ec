#!/usr/bin/env bash
# The udev rule and its program as the Debian packages install them, on this
# machine's own PCI network interface; and the initramfs images that Debian's
# mkinitramfs and dracut build with them:
#   udev_test.sh rules DIST        udevadm test, case by case, as udev runs the rule
#   udev_test.sh initramfs DIST    one image from each builder, listed
# Everything runs in private namespaces, over the unpacked packages shown on
# /usr through an overlay: nothing is installed on the machine, and its
# interface is never renamed. Exits 77 (skipped) with the reason where that
# cannot be done.
set -uo pipefail
readonly SKIP=77
step=${1:?step}

# The packages in DIST unpacked into WORK/root as a merged-/usr system holds
# them (Debian's udev folder is /lib/udev, which is /usr/lib/udev there).
unpack() {
  local dist=$1 package
  root=$work/root
  mkdir -p "$root"
  for package in "$dist"/libtesmaron1_*.deb "$dist"/tesmaron-tools_*.deb; do
    [[ -f $package ]] || { echo "no $package (run 'make')"; exit 1; }
    dpkg-deb -x "$package" "$root" || exit 1
  done
  cp -a "$root/lib/." "$root/usr/lib/" && rm -rf "${root:?}/lib"
  unshare -m -n true 2>/dev/null || { echo "SKIP: no private mount and network namespace (needs root)"; exit $SKIP; }
}

# The machine's first network interface below a PCI function, and that
# function's name, as udev's SUBSYSTEMS=="pci" finds it.
pci_interface() {
  local net folder
  for net in /sys/class/net/*; do
    folder=$(realpath "$net")
    while [[ $folder == /sys/devices/* ]]; do
      folder=${folder%/*}
      if [[ $(readlink "$folder/subsystem") == */pci ]]; then
        echo "${net##*/} ${folder##*/}"
        return 0
      fi
    done
  done
  return 1
}

# One port entry of a type-209 structure for "DDDD:BB:DD.F", as printf bytes.
entry() {
  local bus=$((16#${1:5:2})) device=$((16#${1:8:2})) function=${1:11:1}
  printf '\\x%02x\\x%02x\\x02\\x00\\x5e\\x00\\x00\\x01' $((device << 3 | function)) "$bus"
}

# inside-rules ROOT ENTRIES EARLIER INTERFACE ACTION: in the namespace, a firmware
# table listing ENTRIES ("-": no table at all), only our rule (and, with
# EARLIER, one that sets an onboard name before it), then udevadm test.
inside_rules() {
  local root=$1 entries=$2 earlier=$3 interface=$4 action=$5 body= e
  mount -t overlay overlay -o "lowerdir=$root/usr:/usr" /usr &&
    mount -t tmpfs none /usr/lib/udev/rules.d && mount -t tmpfs none /etc/udev/rules.d &&
    mount -t tmpfs none /run && mkdir /run/udev && mount -t tmpfs none /sys/firmware || return 1
  cp "$root/usr/lib/udev/rules.d/77-tesmaron.rules" /usr/lib/udev/rules.d/
  [[ $earlier == - ]] ||
    echo 'SUBSYSTEM=="net", ACTION!="remove", ENV{ID_NET_NAME_ONBOARD}="eno7"' >/usr/lib/udev/rules.d/76-onboard.rules
  if [[ $entries != - ]]; then
    for e in ${entries//,/ }; do body+=$(entry "$e"); done
    mkdir -p /sys/firmware/dmi/tables
    printf "\\xd1\\x$(printf %02x $((4 + 8 * $(wc -w <<<"${entries//,/ }"))))\\x00\\x00$body\\x00\\x00\\x7f\\x04\\xff\\xfe\\x00\\x00" \
      >/sys/firmware/dmi/tables/DMI
  fi
  udevadm test --action="$action" "/sys/class/net/$interface" 2>&1
}

run_rules() {
  command -v udevadm >/dev/null || { echo "udevadm is not installed (run 'make')"; return 1; }
  local found interface function other=0000:7e:00.0 failed=0 count=0
  found=$(pci_interface) || { echo "SKIP: this machine has no network interface on a PCI function"; exit $SKIP; }
  read -r interface function <<<"$found"
  # ACTION | TABLE ENTRIES (- none) | KERNEL COMMAND LINE | EARLIER ONBOARD RULE | TESMARON_PORT | ID_NET_NAME_ONBOARD
  local cases="add|$function||-|1|
add|$function|quiet tesmaron.names=1|-|1|eno1
change|$function|tesmaron.names|-|1|eno1
add|$other,$function,$function|tesmaron.names=1|-|2|eno2
add|$other|tesmaron.names=1|-||
add|-|tesmaron.names=1|-||
add|$function|tesmaron.names=0|-|1|
add|$function|tesmaron.names=1|onboard|1|eno7"
  local action entries cmdline earlier port onboard out got_port got_onboard
  while IFS='|' read -r action entries cmdline earlier port onboard; do
    count=$((count + 1))
    # udev reads the kernel command line of PID 1 in a container, and this
    # variable before either.
    out=$(SYSTEMD_PROC_CMDLINE=$cmdline unshare -m -n "$BASH" "$0" inside-rules "$root" \
      "$entries" "$earlier" "$interface" "$action")
    # The properties udevadm test ends with, after its notice.
    got_port=$(sed -n '/^This program is for debugging only/,$s/^TESMARON_PORT=//p' <<<"$out")
    got_onboard=$(sed -n '/^This program is for debugging only/,$s/^ID_NET_NAME_ONBOARD=//p' <<<"$out")
    if [[ $got_port != "$port" || $got_onboard != "$onboard" ]] || grep -q "tesmaron_port_id.*failed" <<<"$out"; then
      failed=$((failed + 1))
      printf 'FAIL %s with table %s, command line "%s": TESMARON_PORT=%s ID_NET_NAME_ONBOARD=%s, expected %s and %s\n%s\n' \
        "$action" "$entries" "$cmdline" "$got_port" "$got_onboard" "$port" "$onboard" "$out"
    fi
    [[ $count -eq 2 ]] && printf '%s on %s, tesmaron.names=1, port 1 there: udevadm test ends with\n%s\n' \
      "$interface" "$function" "$(sed -n '/^DEVPATH=/,$p' <<<"$out")"
  done <<<"$cases"
  # The namespace kept the name udevadm computed from reaching the machine.
  [[ -e /sys/class/net/$interface ]] || { echo "FAIL $interface is gone from this machine"; failed=$((failed + 1)); }
  echo "udev rule on $interface ($function): $count cases, $failed failed"
  [[ $failed -eq 0 ]]
}

# inside-initramfs ROOT OUT: stand-ins for a kernel's module folder and its
# configuration, which mkinitramfs needs; then an image from each builder.
inside_initramfs() {
  local root=$1 out=$2 version=6.1.0-tesmaron standin=$2/standin
  mkdir -p "$standin/usr/lib/modules/$version" "$standin/boot" "$standin/upper" "$standin/work"
  echo CONFIG_RD_GZIP=y >"$standin/boot/config-$version"
  touch "$standin/usr/lib/modules/$version/modules.order" "$standin/usr/lib/modules/$version/modules.builtin"
  mount -t overlay overlay \
    -o "lowerdir=$standin/usr:$root/usr:/usr,upperdir=$standin/upper,workdir=$standin/work" /usr &&
    mount --bind "$standin/boot" /boot || return 1
  mkinitramfs -o "$out/initramfs-tools.img" "$version" >"$out/mkinitramfs.log" 2>&1 || {
    cat "$out/mkinitramfs.log"
    return 1
  }
  dracut --no-kernel --force "$out/dracut.img" >"$out/dracut.log" 2>&1 || {
    cat "$out/dracut.log"
    return 1
  }
}

run_initramfs() {
  local builder failed=0 held
  command -v mkinitramfs >/dev/null && command -v dracut >/dev/null ||
    { echo "mkinitramfs or dracut is not installed (run 'make')"; return 1; }
  unshare -m "$BASH" "$0" inside-initramfs "$root" "$work" || return 1
  for builder in initramfs-tools dracut; do
    if [[ $builder == dracut ]]; then
      held=$(lsinitrd "$work/dracut.img" | sed 's/ -> .*//' | awk '{print $NF}')
    else
      held=$(lsinitramfs "$work/initramfs-tools.img")
    fi
    held=$(grep -E '(udev/rules.d/77-tesmaron.rules|udev/tesmaron_port_id|libtesmaron\.so.*)$' <<<"$held" | sort)
    echo "$builder image holds:"
    sed 's/^/  /' <<<"$held"
    for file in udev/rules.d/77-tesmaron.rules udev/tesmaron_port_id libtesmaron.so.1; do
      grep -q "/$file$" <<<"$held" || { echo "FAIL the $builder image has no $file"; failed=$((failed + 1)); }
    done
  done
  [[ $failed -eq 0 ]]
}

case $step in
rules | initramfs)
  work=$(mktemp -d /tmp/tesmaron-udev-XXXXXX)
  trap 'rm -rf "$work"' EXIT
  unpack "${2:?dist folder}"
  if [[ $step == rules ]]; then run_rules; else run_initramfs; fi
  ;;
inside-rules) shift && inside_rules "$@" ;;
inside-initramfs) shift && inside_initramfs "$@" ;;
*) echo "unknown step $step" >&2; exit 2 ;;
esac
