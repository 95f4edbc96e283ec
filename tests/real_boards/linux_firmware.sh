#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real boards against the Linux build, each in a private mount namespace
# where /sys/firmware holds only that board's whole SMBIOS table (written by
# the firmware-fixture program) and /sys/devices and /sys/class/net only the
# interfaces given:
#   linux_firmware.sh boards BOARDS FIXTURE TOOL UDEV     every board, every way it is read
#   linux_firmware.sh tool BOARDS FIXTURE TOOL            tesmaron-ports, case by case
#   linux_firmware.sh demo BOARDS FIXTURE TOOL NAME ...   transcripts of tesmaron-ports
#   linux_firmware.sh exporter BOARDS FIXTURE TOOL        its metrics through a real node exporter
#   linux_firmware.sh interfaces BOARDS FIXTURE TOOL [N]  a listing's time at 4 and at 2,048 interfaces
#   linux_firmware.sh neighbors BOARDS FIXTURE TOOL       LLDP neighbours, a real lldpd at the cables' other end
#   linux_firmware.sh onboard SERVERS FIXTURE TOOL UDEV   real servers' type-41 entries, from dumps and live
#   linux_firmware.sh corpus BOARDS DIR                   the boards as fuzz inputs
# Where no namespace can be made, the tests exit 77: skipped, with the reason.
set -uo pipefail
shopt -s extglob
readonly SKIP=77

# The structure's hex text as bytes.
bytes() { printf "$(sed 's/../\\x&/g' <<<"$1")"; }

# NAME STRUCTURE PORT... of one board, or of every board.
boards_of() { grep -v '^#' "$1" | grep -E "^${2:-board-[0-9]+} "; }

# STRUCTURE "1=03:00.0" "2=00:00.0" -> LISTED, the tool's plain listing with
# no interfaces, a line per port, its columns one space apart: its address
# (00:00.0: disabled), no interface, the MAC address its entry holds, no
# link. In bash alone: the board runs call it for every board in every
# layout.
listing() {
  local structure=$1 p n mac
  shift
  LISTED=()
  for p in "$@"; do
    [[ $p == - ]] && continue
    n=${p%%=*} mac=${structure:$((8 + 16 * (n - 1) + 4)):12}
    mac=${mac,,}
    mac=${mac:0:2}:${mac:2:2}:${mac:4:2}:${mac:6:2}:${mac:8:2}:${mac:10:2}
    [[ ${p#*=} == 00:00.0 ]] && LISTED[n]="$n disabled - $mac -" || LISTED[n]="$n ${p#*=} - $mac -"
  done
}

# inside FIRMWARE INTERFACES COMMAND...: runs in the namespace made by
# in_namespace, with BOARDS and FIXTURE in the environment. FIRMWARE is
#   tables:NAME, tables2:NAME  the board's whole table and an _SM3_ or _SM_
#                              entry point in dmi/tables, as kernels since 4.2
#   past-end3:NAME, past-end2:NAME, cut3:NAME
#                              the same with the port list behind the
#                              end-of-table structure; or cut short before it
#   entries:NAME               one folder per structure in dmi/entries only
#   denied-tables:NAME, denied-entries:NAME
#                              the same, readable by root only, the command run
#                              as another user
#   tables-none, tables-broken a table with no port structure; one that breaks
#   entries-none               dmi/entries with no port structure
#   raw:HEX                    dmi/tables/DMI holding these bytes, no entry point
#   fifo                       dmi/tables/DMI a FIFO, as a faked /sys may make it
#   absent                     no firmware tables at all
# INTERFACES is "BB:DD.F=name,..." or "-"; "BB:DD.F/virtio2=name" puts the
# interface below another device on that PCI function; "=name~STATE~MAC~N"
# gives its operstate (else up), its permanent address (else none) and its
# dev_port (else none);
# "+BB:DD.F" is a PCI function with no interface. Each function is in
# /sys/bus/pci/devices, an Ethernet controller by its class; "+none" lists no
# PCI function at all.
inside() {
  local firmware=$1 interfaces=$2
  shift 2
  mount -t tmpfs none /sys/firmware && mount -t tmpfs none /sys/devices && mount -t tmpfs none /sys/class/net &&
    mount -t tmpfs none /sys/bus && mkdir -p /sys/bus/pci/devices || return 1
  local dmi=/sys/firmware/dmi layout=${firmware%%:*} name=${firmware#*:} denied=
  [[ $layout == denied-* ]] && denied=1 layout=${layout#denied-}
  case $layout in
  absent) ;;
  entries-none) mkdir -p $dmi/entries/0-0 ;;
  tables-none) mkdir -p $dmi/tables && bytes 7F04FFFE0000 >$dmi/tables/DMI ;;
  tables-broken) mkdir -p $dmi/tables && bytes 010200000000D10400000000 >$dmi/tables/DMI ;;
  raw) mkdir -p $dmi/tables && bytes "$name" >$dmi/tables/DMI ;;
  fifo) mkdir -p $dmi/tables && mkfifo $dmi/tables/DMI ;;
  tables) "$FIXTURE" "$BOARDS" tables3 $dmi/tables "$name" || return 1 ;;
  tables2 | entries) "$FIXTURE" "$BOARDS" "$layout" $dmi/"${layout%2}" "$name" || return 1 ;;
  past-end2 | past-end3 | cut3) "$FIXTURE" "$BOARDS" "$layout" $dmi/tables "$name" || return 1 ;;
  *) echo "unknown firmware $firmware" >&2; return 1 ;;
  esac
  local i function below net extras
  [[ $interfaces == *+none* ]] || pci_function 00:00.0
  for i in ${interfaces//,/ }; do
    [[ $i == - || $i == +none ]] && continue
    [[ $i == +* ]] && { pci_function "${i#+}"; continue; }
    function=pci0000:00/0000:${i%%[/=]*} below=${i%%=*} extras=${i#*=}
    below=${below#"${i%%[/=]*}"}
    pci_function "${i%%[/=]*}"
    net=/sys/devices/$function$below/net/${extras%%~*}
    mkdir -p "$net" && ln -s "../../devices/$function$below/net/${extras%%~*}" "/sys/class/net/${extras%%~*}"
    extras=${extras#"${extras%%~*}"}~~
    IFS="~" read -r _ state mac dev_port _ <<<"$extras"
    echo "${state:-up}" >"$net/operstate"
    [[ -z $mac ]] || { echo "$mac" >"$net/address" && echo 0 >"$net/addr_assign_type"; }
    [[ -z $dev_port ]] || echo "$dev_port" >"$net/dev_port"
  done
  if [[ -n $denied ]]; then
    find $dmi -type f -exec chmod 0400 {} +
    exec setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
  fi
  "$@"
}

# pci_function BB:DD.F: the function in sysfs, an Ethernet controller (the
# host bridge 00:00.0 one too: what it is does not matter here).
pci_function() {
  local folder=/sys/devices/pci0000:00/0000:$1
  mkdir -p "$folder" && echo 0x020000 >"$folder/class" && ln -sfn ../../../bus/pci "$folder/subsystem" &&
    ln -sfn "../../../devices/pci0000:00/0000:$1" "/sys/bus/pci/devices/0000:$1"
}

# A private mount namespace for the fake sysfs, and a network namespace of
# its own, so that nothing asks the machine's real interfaces of their link.
in_namespace() { unshare -m -n --propagation private "$BASH" "$0" inside "$@"; }

require_namespace() {
  local why
  if ! why=$(unshare -m --propagation private "$BASH" -c \
    'mount -t tmpfs none /sys/firmware && mount -t tmpfs none /sys/devices' 2>&1); then
    echo "SKIP: no private mount namespace can be made here (${why:-unshare failed}); needs root and unshare -m"
    exit $SKIP
  fi
}

# check_board "TOOL [ARG...]" NAME STRUCTURE PORT...: the listing, then each
# address back to the first port that has it. Adds its checks to CHECKS;
# fails, a reason on stderr, when one fails. On this machine (no
# --from-dump), a list with no enabled port names none of its functions:
# it is no port list of this machine, and nothing is listed.
check_board() {
  local -a tool
  read -ra tool <<<"$1"
  local name=$2 structure=$3 failures=0 expected got p address
  shift 3
  listing "$structure" "$@"
  expected=
  for p in "${LISTED[@]}"; do expected+=${expected:+$'\n'}$p; done
  [[ ${tool[*]} != *--from-dump* && $expected != *[0-9a-f][0-9a-f]:[0-9a-f][0-9a-f].[0-7]* ]] && expected=
  got=$("${tool[@]}" 2>/dev/null) got=${got//+( )/ }
  CHECKS=$((CHECKS + 1))
  if [[ $got != "$expected" ]]; then
    printf '%s (%s): listing\n%s\nexpected\n%s\n' "$name" "${tool[*]}" "$got" "$expected" >&2
    failures=1
  fi
  for p in "$@"; do
    [[ $p == - ]] && continue
    address=${p#*=}
    first_port "$address" "$@"
    got=$("${tool[@]}" --pci "$address" 2>/dev/null) got=${got//+( )/ }
    CHECKS=$((CHECKS + 1))
    # A disabled port is never the answer for the host bridge's address.
    expected=${LISTED[FIRST]}
    [[ $expected == "$FIRST $address "* ]] || expected=
    if [[ $got != "$expected" ]]; then
      echo "$name (${tool[*]}): --pci $address gave '$got', expected port $FIRST" >&2
      failures=1
    fi
  done
  return $failures
}

# first_port ADDRESS PORT...: FIRST, the lowest port at ADDRESS, or "".
first_port() {
  local address=$1 q
  shift
  FIRST=
  for q in "$@"; do [[ ${q#*=} == "$address" ]] && { FIRST=${q%%=*}; return; }; done
}

# check_udev PROGRAM NAME PORT...: each port's function as udev asks the
# library of it, through udev's program: LookupByPCIAddress's answer, the
# lowest port there; nothing for 00:00.0, where only disabled ports are, nor
# for a function no port is. Adds its checks to CHECKS.
check_udev() {
  local program=$1 name=$2 p got failures=0
  shift 2
  for p in "$@" "-=7f:1f.7"; do
    [[ $p == - ]] && continue
    first_port "${p#*=}" "$@"
    [[ ${p#*=} == 00:00.0 ]] && FIRST=
    got=$("$program" "0000:${p#*=}")
    CHECKS=$((CHECKS + 1))
    if [[ $got != "${FIRST:+TESMARON_PORT=$FIRST}" ]]; then
      echo "$name: $program 0000:${p#*=} gave '$got', expected port ${FIRST:-none}" >&2
      failures=1
    fi
  done
  return $failures
}

# In a namespace with no firmware tables: every board in turn as LAYOUT
# (tables: as kernels since 4.2 show it, each entry point version dumped by
# Debian's own dmidecode into DUMPS first; entries: one folder per
# structure), through the Linux object as udev's program loads it, and
# through tesmaron-ports. A line per board: NAME CHECKS, and "failed" when
# any failed.
check_layout() {
  local layout=$1 udev=$2 tool=$3 dumps=$4 dmi=/sys/firmware/dmi name structure ports ok p
  # Every board's functions: each board's list finds its own.
  for p in $(boards_of "$BOARDS" | awk '{for (i = 3; i <= NF; i++) if ($i != "-") {sub(/^[0-9]+=/, "", $i); print $i}}' | sort -u); do
    [[ $p == 00:00.0 ]] || pci_function "$p"
  done
  while read -r name structure ports; do
    ok=1
    rm -rf $dmi && mkdir -p $dmi/$layout
    if [[ $layout == tables ]]; then
      "$FIXTURE" "$BOARDS" tables2 $dmi/tables "$name" && dmidecode -q --dump-bin "$dumps/$name.tables2" >/dev/null &&
        "$FIXTURE" "$BOARDS" tables3 $dmi/tables "$name" && dmidecode -q --dump-bin "$dumps/$name.tables" >/dev/null ||
        ok=0
    else
      "$FIXTURE" "$BOARDS" entries $dmi/entries "$name" || ok=0
    fi
    CHECKS=0
    # shellcheck disable=SC2086
    check_udev "$udev" "$name" $ports || ok=0
    # shellcheck disable=SC2086
    check_board "$tool" "$name" "$structure" $ports || ok=0
    echo "$name $CHECKS$([[ $ok -eq 1 ]] || echo ' failed')"
  done < <(boards_of "$BOARDS")
}

# Each board with only tables/ and with only entries/, through the Linux
# object as udev's program loads it, and through tesmaron-ports (one private
# namespace per layout, every board in turn); and through tesmaron-ports
# --from-dump on the dumps Debian's own dmidecode writes of it (both entry
# point versions), and on the bare table.
run_boards() {
  local boards=$1 tool=$2 udev=$3 name structure ports count=0 checks=0 n ok failed dumps dump layout
  require_namespace
  command -v dmidecode >/dev/null || { echo "dmidecode is not installed (run 'make')"; return 1; }
  dumps=$(mktemp -d /tmp/tesmaron-dumps-XXXXXX)
  trap 'rm -rf "$dumps"' RETURN
  # The entries layout beside the tables layout, whose namespace writes the
  # dmidecode dumps that are read after it.
  in_namespace absent - check_layout entries "$udev" "$tool" "$dumps" >"$dumps/entries.results" ||
    echo "- 0 failed" >>"$dumps/entries.results" &
  in_namespace absent - check_layout tables "$udev" "$tool" "$dumps" >"$dumps/tables.results" ||
    echo "- 0 failed" >>"$dumps/tables.results"
  "$FIXTURE" "$boards" bare "$dumps" || echo "- 0 failed" >>"$dumps/dumps.results"
  while read -r name structure ports; do
    for dump in tables tables2 bare; do
      CHECKS=0
      # shellcheck disable=SC2086
      check_board "$tool --from-dump $dumps/$name.$dump" "$name" "$structure" $ports && ok=1 || ok=0
      echo "$name $CHECKS$([[ $ok -eq 1 ]] || echo ' failed')"
    done >>"$dumps/dumps.results"
  done < <(boards_of "$boards")
  wait
  cat "$dumps"/*.results >"$dumps/results"
  while read -r name n failed; do
    checks=$((checks + n))
  done <"$dumps/results"
  count=$(boards_of "$boards" | wc -l)
  failed=$(awk '$3 == "failed" {print $1}' "$dumps/results" | sort -u | wc -l)
  echo "real boards on the Linux object and from dumps: $count boards, $checks checks, $failed boards failed"
  [[ $count -eq 100 && $failed -eq 0 ]]
}

# The real servers of onboard-devices.txt (SERVERS): MACHINE INSTANCE STATE
# ADDRESS "LABEL", and MACHINE 209 PORT=ADDRESS... where a port list is
# there too. Into DIR, for each server: NAME.expected, the tool's listing
# (its columns one space apart) as the file says it must be: the port
# list's ports labelled by the type-41 entry at their functions, or else
# the type-41 entries by their instances (disabled, or "-" for no address:
# none given, bus ff, the host bridge); NAME.functions, the functions of
# its port list and its enabled, addressed entries.
onboard_expected() {
  awk -v dir="$2" '
    function short(a) { return substr(a, 1, 5) == "0000:" ? substr(a, 6) : a }
    function named(a) { return a ~ /^[0-9a-f]+:/ && a !~ /^[0-9a-f]+:ff:/ && a != "0000:00:00.0" }
    /^#/ { next }
    { if (!($1 in seen)) { seen[$1] = 1; order[++servers] = $1 } }
    $2 == 209 { list[$1] = $0; next }
    {
      label = $0; sub(/^[^"]*"/, "", label); sub(/"$/, "", label)
      n = ++entries[$1]; instance[$1, n] = $2; state[$1, n] = $3; address[$1, n] = $4; text[$1, n] = label
      if ($3 == "enabled" && named($4)) functions[$1] = functions[$1] short($4) "\n"
    }
    END {
      for (s = 1; s <= servers; s++) {
        m = order[s]; out = dir "/" m
        printf "%s", functions[m] > (out ".functions")
        if (m in list) {
          k = split(list[m], p, " ")
          for (i = 3; i <= k; i++) {
            split(p[i], q, "="); label = ""
            for (j = 1; j <= entries[m]; j++) if (address[m, j] == q[2] && text[m, j] != "" && label == "") label = text[m, j]
            printf "%s %s - 02:00:5e:29:%02x:00 -%s\n", q[1], short(q[2]), q[1], label == "" ? "" : " " label > (out ".expected")
            print short(q[2]) > (out ".functions")
          }
        } else {
          # By instance, and in table order within one; an entry given
          # again (number, label, function) once.
          for (n = 0; n < 256; n++) for (j = 1; j <= entries[m]; j++) if (instance[m, j] == n) {
            a = state[m, j] == "disabled" ? "disabled" : named(address[m, j]) ? short(address[m, j]) : "-"
            k = m SUBSEP n SUBSEP text[m, j] SUBSEP (a ~ /:/ ? a : "")
            if (k in listed) continue
            listed[k] = 1
            printf "%s %s - - -%s\n", instance[m, j], a, text[m, j] == "" ? "" : " " text[m, j] > (out ".expected")
          }
        }
        close(out ".expected"); close(out ".functions")
      }
    }' "$1"
}

# In a namespace with no firmware tables: each server's whole table in turn,
# every server's functions in sysfs; the listing live and from its dump. A
# line per server: NAME CHECKS, and "failed" when one failed.
check_servers() {
  local servers=$1 tool=$2 dumps=$3 udev=$4 dmi=/sys/firmware/dmi name expected got f ok checks number address
  for f in $(cat "$dumps"/*.functions | sort -u); do pci_function "$f"; done
  for name in $(awk '!/^#/ {print $1}' "$servers" | uniq); do
    ok=1 checks=0
    expected=$(<"$dumps/$name.expected")
    rm -rf $dmi && mkdir -p $dmi/tables && "$FIXTURE" "$servers" machine-tables3 $dmi/tables "$name" || ok=0
    for got in "$("$tool" 2>&1)" "$("$tool" --from-dump "$dumps/$name.dump3" 2>&1)"; do
      checks=$((checks + 1)) got=${got//+( )/ }
      [[ $got == "$expected" ]] || { printf '%s: listed\n%s\nexpected\n%s\n' "$name" "$got" "$expected" >&2; ok=0; }
    done
    # udev's program, through the library, as the tool lists: the lowest
    # port at each function of domain 0000; with an interface's dev_port,
    # the same where one port is there, and nothing where several are and
    # the function has no interface for each (here: none).
    local -A first=() ports=()
    while read -r number address _; do
      [[ $address == ??:??.? ]] || continue
      [[ -n ${first[$address]:-} ]] || first[$address]=$number
      ports[$address]=$((${ports[$address]:-0} + 1))
    done <<<"$expected"
    for address in "${!first[@]}"; do
      local ranked=TESMARON_PORT=${first[$address]}
      [[ ${ports[$address]} -eq 1 ]] || ranked=
      for got in "$("$udev" "0000:$address")|TESMARON_PORT=${first[$address]}" "$("$udev" "0000:$address" 0)|$ranked"; do
        checks=$((checks + 1))
        [[ ${got%|*} == "${got#*|}" ]] ||
          { echo "$name: tesmaron_port_id 0000:$address gave '${got%|*}', expected '${got#*|}'" >&2; ok=0; }
      done
    done
    unset first ports
    echo "$name $checks$([[ $ok -eq 1 ]] || echo ' failed')"
  done
}

run_onboard() {
  local servers=$1 tool=$2 udev=$3 dumps results count failed checks
  require_namespace
  dumps=$(mktemp -d /tmp/tesmaron-servers-XXXXXX)
  trap 'rm -rf "$dumps"' RETURN
  "$FIXTURE" "$servers" machine-dump3 "$dumps" && onboard_expected "$servers" "$dumps" || return 1
  results=$(in_namespace absent - check_servers "$servers" "$tool" "$dumps" "$udev")
  count=$(wc -l <<<"$results") failed=$(grep -c failed <<<"$results") checks=$(awk '{s += $2} END {print s}' <<<"$results")
  echo "real servers' onboard devices, live, from dumps and through udev's program: $count servers, $checks checks, $failed servers failed"
  [[ $count -eq 120 && $failed -eq 0 ]]
}

# The metrics of board-084 with the interfaces the cases give it.
B84_METRICS='# HELP tesmaron_read_success Whether the firmware'"'"'s list of embedded network ports could be read.
# TYPE tesmaron_read_success gauge
tesmaron_read_success 1
# HELP tesmaron_port_info Embedded network port: its number, its PCI address (empty when it has none), an interface on it, its label and the SMBIOS structure type that numbers it (209 or 41).
# TYPE tesmaron_port_info gauge
tesmaron_port_info{port="1",pci="0000:04:00.0",label="",source="209",device="eno1"} 1
tesmaron_port_info{port="2",pci="0000:04:00.1",label="",source="209",device="eno2"} 1
tesmaron_port_info{port="3",pci="0000:03:00.0",label="",source="209",device="eno3"} 1
tesmaron_port_info{port="3",pci="0000:03:00.0",label="",source="209",device="ens3f0"} 1
tesmaron_port_info{port="4",pci="0000:03:00.1",label="",source="209",device=""} 1
# HELP tesmaron_ports Embedded network ports the firmware lists as enabled.
# TYPE tesmaron_ports gauge
tesmaron_ports 4'
B84_INTERFACES=04:00.0=eno1,04:00.1=eno2,03:00.0=eno3,03:00.0=ens3f0,+03:00.1
B84_MACS=(- 02:00:5e:54:00:01 02:00:5e:54:01:01 02:00:5e:54:02:01 02:00:5e:54:03:01)

# jp PORT PCI INTERFACES MAC PRESENT OPERSTATE MAC_CHECK [LABEL SOURCE DISABLED ADDRESS]: a port in --json.
jp() {
  printf '{"port": %s, "pci": "%s", "interfaces": [%s], "mac": "%s", "disabled": %s, "address": "%s", "label": "%s", "source": %s, "present": %s, "operstate": %s, "mac_check": %s}' \
    "$1" "$2" "$3" "$4" "${10:-false}" "${11-0000:$2}" "${8:-}" "${9:-209}" "$5" "$6" "$7"
}

# A type-41 Ethernet entry in hex: INSTANCE BUS DEVFN LABEL [TYPE], enabled
# (TYPE 05: disabled), segment 0.
onboard_hex() {
  printf '290B000401%s%02X0000%s%s%s0000' "${5:-85}" "$1" "$2" "$3" "$(printf '%s' "$4" | od -An -tx1 | tr -d ' \n')"
}

# The cases that read this machine, each in a namespace of its own (those
# that read none run in-process, in tests/tool_test.cpp):
# FIRMWARE | INTERFACES | ARGUMENTS | EXIT | STDOUT ("~" + text: starts with) | STDERR holds
# In ARGUMENTS, @ stands for the folder of dump files. With --output, STDOUT
# is what the file holds, and standard output itself stays empty. Exit 2
# comes with the usage after the reason; "2o", output that cannot be
# written, without it. Every --prometheus output must also pass promtool
# check metrics.
run_tool_cases() {
  local boards=$1 tool=$2 udev=$3 failed=0 count=0 dumps
  require_namespace
  dumps=$(mktemp -d /tmp/tesmaron-dumps-XXXXXX)
  trap 'rm -rf "$dumps"' RETURN
  "$FIXTURE" "$boards" dump3 "$dumps" board-084 || return 1
  # Another user's link: replaced, never followed.
  echo "kept" >"$dumps/victim" && ln -s victim "$dumps/planted.prom" && chown -h 65534:65534 "$dumps/planted.prom"
  local nics=$B84_INTERFACES metrics=${B84_METRICS//$'\n'/\\n} m=("${B84_MACS[@]}")
  local b84=tables:board-084 dmi=/sys/firmware/dmi unread='# HELP tesmaron_read_success Whether the firmware'"'"'s list of embedded network ports could be read.\n# TYPE tesmaron_read_success gauge\ntesmaron_read_success 0'
  # Another maker's 12-byte structure at type 209, alone and beside type-41
  # entries for the two NICs the machine has; the two NICs' interfaces.
  local other=D10C00D17803070304 other41 two=04:00.0=eno1,04:00.1=eno2 none='tesmaron_ports 0'
  other=raw:${other}0F80050000 other41=$(onboard_hex 1 04 00 "NIC Port 1")$(onboard_hex 2 04 01 "NIC Port 2")
  other41=${other}${other41}7F04FFFE0000 other=${other}7F04FFFE0000
  # Two ports at one function (a controller with one function for two
  # ports), its interfaces told apart by dev_port (eno2 first); beside an
  # enabled port, a disabled slot.
  local lom=raw:$(onboard_hex 49 04 00 "LOM Port 1")$(onboard_hex 50 04 00 "LOM Port 2")7F04FFFE0000
  local lom_nics=04:00.0=eno1~up~~1,04:00.0=eno2~up~~0 slot=raw:$(onboard_hex 1 04 00 "NIC 1")$(onboard_hex 2 05 00 "Slot 2" 05)7F04FFFE0000
  # board-084's port 1 with its firmware MAC, port 2's backwards and down,
  # port 3's another and without a carrier.
  local checked=04:00.0=eno1~up~${m[1]},04:00.1=eno2~down~01:01:54:5e:00:02,03:00.0=eno3~lowerlayerdown~0a:0b:0c:0d:0e:0f,+03:00.1
  local cases
  cases=$(cat <<CASES
$b84|$nics||0|1  04:00.0  eno1         ${m[1]}  up\n2  04:00.1  eno2         ${m[2]}  up\n3  03:00.0  eno3,ens3f0  ${m[3]}  up\n4  03:00.1  -            ${m[4]}  -|
entries:board-084|$nics|--port 4|0|4  03:00.1  -  ${m[4]}  -|
past-end2:board-084|$nics|--port 2|0|2  04:00.1  eno2  ${m[2]}  up|
past-end3:board-084|-||1||$dmi/tables/DMI holds no list of embedded network ports (no type-209 structure, no type-41 Ethernet entry)
cut3:board-084|-|--prometheus|3|$unread|$dmi/tables/DMI is cut short: the table's end at offset 169 comes before the end-of-table structure (type 127)
$b84|$nics|--json|0|[$(jp 1 04:00.0 '"eno1"' ${m[1]} true '"up"' null), $(jp 2 04:00.1 '"eno2"' ${m[2]} true '"up"' null), $(jp 3 03:00.0 '"eno3", "ens3f0"' ${m[3]} true '"up"' null), $(jp 4 03:00.1 '' ${m[4]} true null null)]|
$b84|$nics|--port=3|0|3  03:00.0  eno3,ens3f0  ${m[3]}  up|
$b84|$nics|--pci=0000:04:00.1 --json|0|[$(jp 2 04:00.1 '"eno2"' ${m[2]} true '"up"' null)]|
$b84|$nics|--interface ens3f0|0|3  03:00.0  eno3,ens3f0  ${m[3]}  up|
$b84|04:00.0/virtio2=eth0,05:00.0=eth5|--json --interface eth0|0|[$(jp 1 04:00.0 '"eth0"' ${m[1]} true '"up"' null)]|
$b84|04:00.0/virtio2=eth0,05:00.0=eth5|--interface eth5|1||interface eth5 is on PCI function 05:00.0, which is no embedded port (the firmware lists 4 ports)
$b84|$nics|--interface eth9|1||there is no network interface eth9
$b84|04:00.0=eno1|--pci 03:00.1|1||no embedded port at 03:00.1: port 4 is listed there, and this machine has no such function
$b84|04:00.0=eno1|--port 4 --json|0|[$(jp 4 03:00.1 '' ${m[4]} false null null)]|
$b84|$checked||0|1  04:00.0  eno1  ${m[1]}            up\n2  04:00.1  eno2  ${m[2]}(reversed)  down\n3  03:00.0  eno3  ${m[3]}(differs)   lowerlayerdown\n4  03:00.1  -     ${m[4]}            -|
$b84|$checked|--json --port 3|0|[$(jp 3 03:00.0 '"eno3"' ${m[3]} true '"lowerlayerdown"' '"different"')]|
$b84|$checked|--json --port 2|0|[$(jp 2 04:00.1 '"eno2"' ${m[2]} true '"down"' '"reversed"')]|
$b84|$checked|--prometheus|0|~${unread%0}1\n# HELP tesmaron_port_info|
$other|$two||1||the type-209 structure names no PCI function of this machine
$other|$two|--prometheus|0|~${unread%0}1\n# HELP tesmaron_port_info|
$other|+none|--json|0|[$(jp 1 03:0f.0 '' 07:03:04:0f:80:05 null null null)]|
$other41|$two||0|1  04:00.0  eno1  -  up  NIC Port 1\n2  04:00.1  eno2  -  up  NIC Port 2|
$other41|$two|--json --interface eno2|0|[$(jp 2 04:00.1 '"eno2"' '' true '"up"' null "NIC Port 2" 41)]|
$lom|$lom_nics||0|49  04:00.0  eno2  -  up  LOM Port 1\n50  04:00.0  eno1  -  up  LOM Port 2|
$lom|$lom_nics|-i eno1|0|50  04:00.0  eno1  -  up  LOM Port 2|
$lom|$lom_nics,04:00.0=eno3~up~~2||0|49  04:00.0  -  -  -  LOM Port 1\n50  04:00.0  -  -  -  LOM Port 2|ports 49 and 50 are at 04:00.0, which has 3 interfaces: which is which cannot be told
$slot|04:00.0=eno1|--prometheus|0|~${unread%0}1\n# HELP tesmaron_port_info Embedded network port: its number, its PCI address (empty when it has none), an interface on it, its label and the SMBIOS structure type that numbers it (209 or 41).\n# TYPE tesmaron_port_info gauge\ntesmaron_port_info{port="1",pci="0000:04:00.0",label="NIC 1",source="41",device="eno1"} 1\n# HELP tesmaron_ports Embedded network ports the firmware lists as enabled.\n# TYPE tesmaron_ports gauge\ntesmaron_ports 1|
tables:board-011|+ff:00.0|--pci FF:00.0|0|1  ff:00.0  -  02:00:5e:0b:00:01  -|
tables:board-038|+none||0|1  disabled  -  ff:ff:ff:ff:ff:ff  -|
tables:board-038|+none|--json|0|[$(jp 1 00:00.0 '' ff:ff:ff:ff:ff:ff null null null '' 209 true '')]|
tables:board-038|+none|--pci 00:00.0|1||no embedded port at 00:00.0: port 1 has that address only because the firmware marks it disabled
tables:board-038|-||1||the type-209 structure names no PCI function of this machine
$b84|$nics|--port 5 --json|1|[]|there is no port 5 (the firmware lists 4 ports)
$b84|$nics|--pci 02:00.0|1||no embedded port at 02:00.0 (the firmware lists 4 ports)
$b84|$nics|--prometheus|0|$metrics|
$b84|$nics|--prometheus --output @/tesmaron.prom|0|$metrics|
$b84|$nics|--prometheus --output=@/planted.prom|0|$metrics|
$b84|$nics|--port 2 --output -|0|2  04:00.1  eno2  ${m[2]}  up|
absent|-|--prometheus|3|$unread|the kernel exposes no firmware tables
absent|-|--prometheus --output @/unread.prom|3|$unread|the kernel exposes no firmware tables
absent|-|--prometheus --from-dump @/board-084.dump3|0|~${unread%0}1\n# HELP tesmaron_port_info Embedded network port|
absent|-|--output @/absent/x.prom|2o||--output @/absent/x.prom: No such file or directory
absent|-||3||the kernel exposes no firmware tables (neither $dmi/tables/DMI nor $dmi/entries is there)
absent|-|--json|3|[]|the kernel exposes no firmware tables
entries-none|-||1||the firmware lists no embedded network ports ($dmi/entries/209-0 is absent, and no $dmi/entries/41-N is an Ethernet entry)
tables-none|-||1||$dmi/tables/DMI holds no list of embedded network ports (no type-209 structure, no type-41 Ethernet entry)
tables-broken|-||3||$dmi/tables/DMI is broken: the structure at offset 0 (type 1) gives length 2, shorter than its 4-byte header
fifo|-||3||$dmi/tables/DMI: not a regular file
denied-tables:board-084|-|--prometheus|3|$unread|needs root to read $dmi/tables/DMI (permission denied)
denied-entries:board-084|-||3||needs root to read $dmi/entries/209-0/raw (permission denied)
tables:board-001|-|--port 1|1||the list of embedded network ports in $dmi/tables/DMI (the type-209 structure at offset 169) holds none
entries:board-001|-|--port 1|1||the firmware's list of embedded network ports ($dmi/entries/209-0/raw) holds none
CASES
)
  local firmware interfaces args status stdout stderr got_out got_err got_status usage
  while IFS='|' read -r firmware interfaces args status stdout stderr; do
    count=$((count + 1))
    args=${args//@/$dumps} stderr=${stderr//@/$dumps}
    got_err=$(mktemp)
    # shellcheck disable=SC2086
    got_out=$(in_namespace "$firmware" "$interfaces" timeout 10 "$tool" $args 2>"$got_err" </dev/null)
    got_status=$?
    stdout=$(printf '%b' "$stdout")
    local ok=1 output
    output=$(sed -n 's/.*--output[= ]\([^ ]*\).*/\1/p' <<<"$args")
    if [[ -n $output && $output != - && $got_status -ne 2 ]]; then
      [[ -z $got_out ]] || ok=0
      got_out=$(cat "$output")
    fi
    if [[ $args == *--prometheus* && $got_status -ne 2 ]] && ! promtool check metrics <<<"$got_out" >&2; then
      ok=0
    fi
    [[ $got_status -eq ${status%o} ]] || ok=0
    if [[ $stdout == "~"* ]]; then [[ $got_out == "${stdout#\~}"* ]] || ok=0
    else [[ $got_out == "$stdout" ]] || ok=0; fi
    [[ -z $stderr && ! -s $got_err ]] || grep -qF -- "$stderr" "$got_err" || ok=0
    # A bad argument gives its reason and the usage; anything else no usage.
    grep -q '^usage: tesmaron-ports' "$got_err" && usage=2 || usage=
    [[ $usage == "$([[ $status == 2 ]] && echo 2)" ]] || ok=0
    if [[ $ok -eq 0 ]]; then
      failed=$((failed + 1))
      printf 'FAIL tesmaron-ports %s (firmware %s): exit %s, expected %s\nstdout:\n%s\nstderr:\n%s\n' \
        "$args" "$firmware" "$got_status" "$status" "$got_out" "$(cat "$got_err")"
    fi
    rm -f "$got_err"
  done <<<"$cases"
  # udev's program, through the library: another maker's structure names
  # no function of a machine that lists its functions, and is believed
  # where nothing can tell.
  local got
  for row in "-|" "+none|TESMARON_PORT=1"; do
    count=$((count + 1))
    got=$(in_namespace "$other" "${row%%|*}" "$udev" 0000:03:0f.0)
    [[ $got == "${row#*|}" ]] || { echo "FAIL tesmaron_port_id 0000:03:0f.0 (PCI ${row%%|*}): '$got'"; failed=$((failed + 1)); }
  done
  # Two ports at one function: each interface its own, by dev_port, as the
  # tool lists them; with a third interface, none.
  for row in "$lom_nics|0 1|TESMARON_PORT=49 TESMARON_PORT=50" "$lom_nics,04:00.0=eno3~up~~2|0 1|"; do
    count=$((count + 1))
    IFS='|' read -r interfaces ranks want <<<"$row"
    got=$(in_namespace "$lom" "$interfaces" "$BASH" -c 'for r in $2; do "$1" 0000:04:00.0 $r; done' - "$udev" "$ranks" | xargs)
    [[ $got == "$want" ]] || { echo "FAIL tesmaron_port_id 0000:04:00.0 DEV_PORT ($interfaces): '$got'"; failed=$((failed + 1)); }
  done
  # --save-dump writes what dmidecode --dump-bin writes of the machine,
  # readable by root only, and the dump lists what the machine lists (all
  # four functions there, no interfaces: the same text), behind either
  # entry point. A FIFO for the table keeps udev's program waiting for
  # nothing.
  for got in tables tables2; do
    count=$((count + 1))
    got=$(in_namespace "$got:board-084" +04:00.0,+04:00.1,+03:00.0,+03:00.1 "$BASH" -c '"$1" --save-dump "$2/s.bin" &&
      dmidecode -q --dump-bin "$2/d.bin" >/dev/null && cmp "$2/s.bin" "$2/d.bin" && live=$("$1") &&
      [[ -n $live && $live == "$("$1" --from-dump "$2/s.bin")" ]] && stat -c "same %a" "$2/s.bin"' - "$tool" "$dumps" 2>&1)
    [[ $got == "same 600" ]] || { echo "FAIL --save-dump: $got"; failed=$((failed + 1)); }
  done
  count=$((count + 1))
  got=$(in_namespace fifo - timeout 5 "$udev" 0000:04:00.0; echo "exit $?")
  [[ $got == "exit 0" ]] || { echo "FAIL tesmaron_port_id with a FIFO for the table: $got"; failed=$((failed + 1)); }
  # A link planted at the output path is replaced, never followed; and no
  # temporary file is left behind, whatever failed.
  if [[ $(cat "$dumps/victim") != kept || -L $dumps/planted.prom ]]; then
    echo "FAIL --output followed the link planted at $dumps/planted.prom"
    failed=$((failed + 1))
  fi
  # A cut answer is not "found": standard output that cannot be written.
  for args in "--from-dump $dumps/board-084.dump3" --help --version; do
    # shellcheck disable=SC2086
    "$tool" $args >/dev/full 2>/dev/null
    [[ $? -eq 2 ]] || { echo "FAIL $args to a full standard output did not give exit 2"; failed=$((failed + 1)); }
  done
  local line
  while read -r line; do
    [[ $line == FAIL* ]] && failed=$((failed + 1)) && echo "$line"
    count=$((count + 1))
  done < <(unshare -m --propagation private "$BASH" "$0" outputs-inside "$tool" "$dumps" 2>&1)
  if ls -A "$dumps" | grep -q '^\.'; then
    echo "FAIL temporary files left in $dumps: $(ls -A "$dumps" | grep '^\.')"
    failed=$((failed + 1))
  fi
  echo "tesmaron-ports: $count cases, $failed failed"
  [[ $failed -eq 0 ]]
}

# --output into what is no regular file, as root in a namespace with a tmpfs
# over /dev (the machine's own /dev is out of reach): a character device, a
# link to it, a FIFO with a reader, /dev/stdout to a pipe, /dev/fd/1 to a
# file; each keeps its kind. /dev/stdout with standard output closed, a link
# to a block device: refused. Another user's links to a FIFO with a reader
# and to a block device, in a folder of that user's: replaced, never
# followed; that user's own FIFO and a link of theirs further up the path:
# refused; and the same user swapping a FIFO and a link to a root-only file
# at the name while root writes it: the file never written. Standard output
# a socket: written into. A 255-character
# name, written with mode 0644 under umask 077; SIGTERM while the file is
# written (its fsync held back by strace), and a file-size limit, leave
# nothing behind. A line per case: "ok" or "FAIL why".
outputs_inside() {
  local tool=$1 dumps=$2 want kinds name pid status user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  local run=("$tool" --from-dump "$dumps/board-084.dump3")
  mount -t tmpfs none /dev && mknod -m 666 /dev/null c 1 3 && mkfifo /dev/fifo && ln -s null /dev/link &&
    ln -s /proc/self/fd /dev/fd && ln -s /proc/self/fd/1 /dev/stdout && mknod /dev/loop9 b 7 9 &&
    ln -s loop9 /dev/disk || { echo "FAIL no /dev of its own"; return; }
  want=$("${run[@]}") kinds=$(stat -c '%n %F' /dev/*)
  check() { "${@:2}" && echo ok || echo "FAIL --output $1"; }
  check "to a character device" "${run[@]}" --output /dev/null
  check "to a link to one" "${run[@]}" --output /dev/link
  timeout 5 cat /dev/fifo >"$dumps/fifo.out" &
  check "to a FIFO" "${run[@]}" --output /dev/fifo
  wait $!
  check "to a FIFO: what its reader got" [ "$(cat "$dumps/fifo.out")" == "$want" ]
  check "/dev/stdout to a pipe" [ "$("${run[@]}" --output /dev/stdout)" == "$want" ]
  echo kept >"$dumps/stdout.out" && "${run[@]}" --output /dev/fd/1 >>"$dumps/stdout.out"
  check "/dev/fd/1 to a file" [ "$(cat "$dumps/stdout.out")" == "kept"$'\n'"$want" ]
  "${run[@]}" --output /dev/stdout >&- 2>"$dumps/closed.err"
  status=$?
  check "/dev/stdout, standard output closed: exit $status ($(cat "$dumps/closed.err"))" [ $status -eq 2 ]
  "${run[@]}" --output /dev/disk 2>"$dumps/disk.err"
  status=$?
  check "to a link to a block device: exit $status ($(cat "$dumps/disk.err"))" grep -q "block device" "$dumps/disk.err"
  check ": /dev afterwards: $(stat -c '%n %F' /dev/* | xargs)" [ "$(stat -c '%n %F' /dev/*)" == "$kinds" ]
  # Another user's folder and links.
  mkdir /dev/user && chown 65534:65534 /dev/user && "${user[@]}" ln -s /dev/fifo /dev/user/fifo.prom &&
    "${user[@]}" ln -s /dev/loop9 /dev/user/disk.prom
  timeout 5 cat /dev/fifo >"$dumps/fifo.out" &
  check "to another user's link to a FIFO" "${run[@]}" --output /dev/user/fifo.prom
  sleep 0.1 && kill $! 2>/dev/null
  wait $!
  check "to another user's link to a FIFO: its reader got $(wc -c <"$dumps/fifo.out") bytes" [ ! -s "$dumps/fifo.out" ]
  check "to another user's link to a block device" "${run[@]}" --output /dev/user/disk.prom
  check ": another user's links replaced: $(stat -c '%n %F' /dev/user/* /dev/loop9 | xargs)" \
    [ "$(stat -c %F /dev/user/* /dev/loop9 | xargs)" == "regular file regular file block special file" ]
  # That user's FIFO, no reader on it: refused, never waited on; that
  # user's link further up the path: refused, root's own folder untouched.
  "${user[@]}" mkfifo /dev/user/own.prom && mkdir -m 700 /dev/rootonly && "${user[@]}" ln -s /dev/rootonly /dev/user/up
  timeout 5 "${run[@]}" --output /dev/user/own.prom 2>"$dumps/own.err"
  check "to another user's FIFO: exit $? ($(cat "$dumps/own.err"))" grep -q "a FIFO that another user owns" "$dumps/own.err"
  "${run[@]}" --output /dev/user/up/tesmaron.prom 2>"$dumps/up.err"
  status=$?
  check "through another user's link to root's folder: exit $status ($(cat "$dumps/up.err")), the folder holds $(ls /dev/rootonly)" \
    [ $status -eq 2 -a -z "$(ls /dev/rootonly)" ]
  # Standard output a socket, as the journal gives a service.
  got=$(perl -MSocket -e 'socketpair(my $w, my $r, AF_UNIX, SOCK_STREAM, 0) or die; if (!fork) { close $r;
    open STDOUT, ">&", $w or die; exec @ARGV or die } close $w; local $/; my $got = <$r>; wait; print $? >> 8, " $got"' \
    "${run[@]}" --output /dev/stdout 2>&1)
  check "/dev/stdout a socket: $(head -c 60 <<<"$got")" [ "$got" == "0 $want" ]
  # The swap race: a FIFO and a link to root's file at the name, in turn,
  # as fast as perl renames, a reader on the FIFOs.
  echo secret >/dev/root-only && chmod 600 /dev/root-only && rm -f /dev/user/*
  "${user[@]}" perl -MPOSIX -e 'chdir "/dev/user"; while (1) { symlink "/dev/root-only", "l"; rename "l", "race.prom";
    POSIX::mkfifo("f", 0666); rename "f", "race.prom" }' &
  pid=$!
  "${user[@]}" "$BASH" -c 'while :; do timeout 0.05 cat /dev/user/race.prom; done >/dev/null 2>&1' &
  for _ in $(seq 20); do timeout 0.2 "${run[@]}" --output /dev/user/race.prom 2>/dev/null; done
  kill $pid $!
  wait $pid $! 2>/dev/null
  check ": 20 runs against a swapping user left root's file $(wc -c </dev/root-only) bytes" \
    [ "$(cat /dev/root-only)" == secret ]
  name=$(printf 'x%.0s' {1..255})
  (umask 077 && "${run[@]}" --output "$dumps/$name")
  check "to a 255-character name" [ "$(stat -c %a "$dumps/$name" 2>&1) $(cat "$dumps/$name")" == "644 $want" ]
  { (ulimit -f 0 && "${run[@]}" --output "$dumps/limit.prom"); } 2>/dev/null
  status=$?
  check ": a file-size limit gave $status, left $(ls -A "$dumps" | grep limit | xargs)" \
    [ $status -eq 153 -a -z "$(ls -A "$dumps" | grep limit)" ]
  command -v strace >/dev/null || { echo "FAIL strace is not installed (run 'make')"; return; }
  strace -o /dev/null -e trace=fsync -e inject=fsync:delay_enter=3000000 "${run[@]}" --output "$dumps/term.prom" &
  for _ in $(seq 100); do ls -A "$dumps" | grep -q '^\.term' && break; sleep 0.02; done
  pid=$(pgrep -P $!)
  kill -TERM "$pid"
  wait $!
  status=$?
  check ": SIGTERM while writing gave $status, left $(ls -A "$dumps" | grep term | xargs)" \
    [ $status -eq 143 -a -z "$(ls -A "$dumps" | grep term)" ]
}

# Interfaces named eno<port> for every port but a disabled one.
demo_interfaces() {
  local p list=""
  for p in "$@"; do [[ $p == - || ${p#*=} == 00:00.0 ]] || list+="${p#*=}=eno${p%%=*},"; done
  echo "${list:--}"
}

run_demo() {
  local boards=$1 tool=$2 name structure ports args
  shift 2
  require_namespace
  for name in "$@"; do
    read -r name structure ports < <(boards_of "$boards" "$name")
    echo "# $name: $ports"
    for args in "" "--json" "--port 1" "--prometheus"; do
      echo "\$ tesmaron-ports${args:+ $args}"
      # shellcheck disable=SC2086
      in_namespace "tables:$name" "$(demo_interfaces $ports)" "$tool" $args 2>&1
      status=$?
      [[ $status -eq 0 ]] || echo "(exit $status)"
    done
    echo
  done
}

# board-084's metrics, written by the tool with --output, served by Debian's
# node exporter with only its textfile collector on a free loopback port,
# scraped: the samples (labels in name order, as the exporter prints them)
# and no textfile error.
run_exporter() {
  local boards=$1 tool=$2 dir port pid=0 scraped expected
  require_namespace
  command -v prometheus-node-exporter >/dev/null || { echo "prometheus-node-exporter is not installed (run 'make')"; return 1; }
  dir=$(mktemp -d /tmp/tesmaron-textfile-XXXXXX)
  trap 'kill $pid 2>/dev/null; rm -rf "$dir"' RETURN
  in_namespace tables:board-084 "$B84_INTERFACES" "$tool" --prometheus --output "$dir/tesmaron.prom" || return 1
  for _ in $(seq 20); do
    port=$((20000 + RANDOM % 40000))
    prometheus-node-exporter --web.listen-address="127.0.0.1:$port" --collector.disable-defaults \
      --collector.textfile --collector.textfile.directory="$dir" 2>"$dir.log" &
    pid=$!
    for _ in $(seq 50); do
      scraped=$( (exec 3<>"/dev/tcp/127.0.0.1/$port" && printf 'GET /metrics HTTP/1.0\r\n\r\n' >&3 && cat <&3) 2>/dev/null)
      [[ -n $scraped ]] && break 2
      kill -0 $pid 2>/dev/null || break
      sleep 0.1
    done
    kill $pid 2>/dev/null
  done
  rm -f "$dir.log"
  [[ -n $scraped ]] || { echo "the node exporter did not answer"; return 1; }
  scraped=$(tr -d '\r' <<<"$scraped" | grep -E '^(tesmaron_|node_textfile_scrape_error)' | sort)
  expected=$(grep '^tesmaron_' <<<"$B84_METRICS" |
    sed -E 's/\{port="([^"]*)",pci="([^"]*)",label="([^"]*)",source="([^"]*)",device="([^"]*)"\}/{device="\5",label="\3",pci="\2",port="\1",source="\4"}/'
    echo 'node_textfile_scrape_error 0')
  expected=$(sort <<<"$expected")
  if [[ $scraped != "$expected" ]]; then
    printf 'node exporter served\n%s\nexpected\n%s\n' "$scraped" "$expected"
    return 1
  fi
  echo "node exporter on 127.0.0.1:$port served the $(grep -c '^tesmaron_' <<<"$scraped") tesmaron samples, no textfile error:"
  echo "$scraped"
}

# The cost of a listing beside the machine's interfaces: board-084's four
# ports with their interfaces, alone and beside 2,044 virtual functions'
# (each a PCI function of its own with an interface, as SR-IOV makes them);
# RUNS listings each, in one namespace each, the mean time of one.
run_interfaces() {
  local boards=$1 tool=$2 runs=${3:-50} vf many=$B84_INTERFACES
  require_namespace
  for ((vf = 0; vf < 2044; vf++)); do
    many+=$(printf ',%02x:%02x.%d=vf%d' $((0x10 + vf / 256)) $((vf / 8 % 32)) $((vf % 8)) $vf)
  done
  for nics in "$B84_INTERFACES" "$many"; do
    in_namespace tables:board-084 "$nics" "$BASH" -c 'n=$(ls /sys/class/net | wc -l); start=$(date +%s%N)
      for ((i = 0; i < $2; i++)); do "$1" >/dev/null; done
      echo "$n interfaces: $(( ($(date +%s%N) - start) / $2 / 1000 )) us a listing ($2 runs)"' - "$tool" "$runs"
  done
}

# LLDP, with the real lldpd for the switch at the other end of two cables:
# veth pairs eno1-sw1 and eno2-sw2 in this private network namespace,
# lldpd on sw1 and sw2 as switch-a (sw1's port described "Ethernet1/12"),
# board-084's ports 1 and 2 on eno1 and eno2 in a fake sysfs. Heard by the
# tool's own packet sockets; then, lldpd also running on eno1 and eno2 as
# the server's own daemon, asked of it, by a root without the right to
# open a packet socket. Nothing leaves the namespace. A line per case:
# "ok" or "FAIL why".
neighbors_inside() {
  local tool=$1 got plan=/run/plan.csv
  mount -t tmpfs none /run && mkdir -p /run/lldpd || { echo "FAIL no /run of its own"; return; }
  ip link add eno1 type veth peer name sw1 && ip link add eno2 type veth peer name sw2 &&
    for i in eno1 sw1 eno2 sw2; do ip link set "$i" up; done || { echo "FAIL no veth pair"; return; }
  lldpd -d -I sw1,sw2 -u /run/sw.sock >/dev/null 2>&1 &
  local switch=$!
  for _ in $(seq 50); do lldpcli -u /run/sw.sock show configuration >/dev/null 2>&1 && break; sleep 0.1; done
  for setting in "system hostname switch-a" "lldp portidsubtype ifname" "ports sw1 lldp portdescription Ethernet1/12" \
    "lldp tx-interval 1"; do
    # shellcheck disable=SC2086
    lldpcli -u /run/sw.sock configure $setting >/dev/null
  done
  printf '# rack 4\nport,switch,switch port\n1,switch-a,Ethernet1/12\n2,switch-a,Ethernet1/13\n' >$plan
  on() { unshare -m --propagation private "$BASH" "$0" inside tables:board-084 04:00.0=eno1,04:00.1=eno2,+03:00.0,+03:00.1 "$@"; }

  got=$(on "$tool" --neighbors --wait 10 -j -p 1 2>&1)
  [[ $got == *'"system_name": "switch-a", "port_id": "sw1", "port_description": "Ethernet1/12"'* ]] &&
    echo ok || echo "FAIL heard on eno1: $got"
  got=$(on "$tool" --expect $plan --wait 10 2>&1; echo "exit $?")
  [[ $got == *"plan: switch-a Ethernet1/12, as planned"*"plan: switch-a Ethernet1/13, different"*"exit 4" ]] &&
    echo ok || echo "FAIL the plan: $got"
  got=$(on "$tool" --prometheus --expect $plan --wait 10)
  [[ $got == *'tesmaron_port_cabled_as_planned{port="1",switch="switch-a",switch_port="Ethernet1/12"} 1'* &&
     $got == *'tesmaron_port_cabled_as_planned{port="2",switch="switch-a",switch_port="Ethernet1/13"} 0'* ]] &&
    promtool check metrics <<<"$got" >/dev/null 2>&1 && echo ok || echo "FAIL the plan's metrics: $got"
  # Without the right to a packet socket, and no lldpd here: the reason.
  got=$(on setpriv --bounding-set -net_raw "$tool" --neighbors --wait 1 2>&1; echo "exit $?")
  [[ $got == *"needs root (CAP_NET_RAW)"*"exit 2" ]] && echo ok || echo "FAIL no packet socket: $got"
  # The server's own lldpd, once it has heard switch-a on eno1: asked.
  lldpd -d -I eno1,eno2 >/dev/null 2>&1 &
  local server=$!
  for _ in $(seq 100); do lldpcli show neighbors 2>/dev/null | grep -q switch-a && break; sleep 0.1; done
  got=$(on setpriv --bounding-set -net_raw "$tool" --neighbors --wait 30 -j -p 1 2>&1)
  [[ $got == *'"system_name": "switch-a", "port_id": "sw1", "port_description": "Ethernet1/12"'* ]] &&
    echo ok || echo "FAIL asked of lldpd: $got"
  kill $switch $server
  wait $switch $server 2>/dev/null
  # Every lldpd of this namespace, its children too: none outlives the test.
  local p
  for p in $(pgrep lldpd); do
    [[ $(readlink /proc/$p/ns/net) != "$(readlink /proc/self/ns/net)" ]] || kill "$p" 2>/dev/null
  done
}

run_neighbors() {
  local tool=$2 line count=0 failed=0
  require_namespace
  command -v lldpd >/dev/null || { echo "lldpd is not installed (run 'make check')"; return 1; }
  while read -r line; do
    count=$((count + 1))
    [[ $line == ok ]] || { echo "$line"; failed=$((failed + 1)); }
  done < <(unshare -m -n --propagation private "$BASH" "$0" neighbors-inside "$tool" 2>&1)
  echo "LLDP neighbours through a real lldpd: $count cases, $failed failed"
  [[ $count -eq 5 && $failed -eq 0 ]]
}

# Fuzz inputs: both requests succeed; the probe answered with the 12 bytes it
# asks for, the fetch with the whole structure.
write_corpus() {
  local boards=$1 dir=$2 name structure ports probe
  mkdir -p "$dir"
  while read -r name structure ports; do
    probe=0100${structure:0:24}
    { printf '\x03'; bytes "$(printf '%02x00' $((${#probe} / 2)))"; bytes "$probe"; bytes "0100$structure"; } >"$dir/$name"
  done < <(boards_of "$boards")
}

step=${1:?step}
shift
case $step in
inside) inside "$@" ;;
outputs-inside) outputs_inside "$@" ;;
neighbors-inside) neighbors_inside "$@" ;;
boards | tool | demo | exporter | onboard | interfaces | neighbors)
  export BOARDS=$1 FIXTURE=$2
  set -- "$1" "${@:3}"
  case $step in
  boards) run_boards "$@" ;;
  onboard) run_onboard "$@" ;;
  tool) run_tool_cases "$@" ;;
  demo) run_demo "$@" ;;
  exporter) run_exporter "$@" ;;
  interfaces) run_interfaces "$@" ;;
  neighbors) run_neighbors "$@" ;;
  esac
  ;;
corpus) write_corpus "$@" ;;
*) echo "unknown step $step" >&2; exit 2 ;;
esac
