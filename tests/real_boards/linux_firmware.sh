#!/usr/bin/env bash
# The real boards against the Linux build, each in a private mount namespace
# where /sys/firmware holds only that board's port structure and
# /sys/bus/pci/devices only the interface folders given:
#   linux_firmware.sh boards BOARDS TOOL          every board through the real loader
#   linux_firmware.sh tool BOARDS TOOL            tesmaron-ports, case by case
#   linux_firmware.sh demo BOARDS TOOL NAME ...   transcripts of tesmaron-ports
#   linux_firmware.sh corpus BOARDS DIR           the boards as fuzz inputs
# Where no namespace can be made, the tests exit 77: skipped, with the reason.
set -uo pipefail
readonly SKIP=77

# The structure's hex text as bytes.
bytes() { printf "$(sed 's/../\\x&/g' <<<"$1")"; }

# NAME STRUCTURE PORT... of one board, or of every board.
boards_of() { grep -v '^#' "$1" | grep -E "^${2:-board-[0-9]+} "; }

# "1=03:00.0 2=03:00.1" -> the tool's plain listing with no interfaces.
listing() { for p in "$@"; do [[ $p == - ]] || echo "${p%%=*}  ${p#*=}  -"; done; }

# inside FIRMWARE INTERFACES COMMAND...: runs in the namespace made by
# in_namespace. FIRMWARE is a structure in hex, "absent" (no firmware tables),
# "none" (no port structure) or "denied:HEX" (readable by no one without
# root's override); INTERFACES is "BB:DD.F=name,..." or "-".
inside() {
  local firmware=$1 interfaces=$2
  shift 2
  mount -t tmpfs none /sys/firmware && mount -t tmpfs none /sys/bus/pci/devices || return 1
  local entries=/sys/firmware/dmi/entries
  case $firmware in
  absent) ;;
  none) mkdir -p $entries ;;
  *)
    mkdir -p $entries/209-0
    # As the kernel shows it: the structure, then its empty string set.
    { bytes "${firmware#denied:}"; printf '\0\0'; } >$entries/209-0/raw
    ;;
  esac
  local i
  for i in ${interfaces//,/ }; do
    [[ $i == - ]] || mkdir -p "/sys/bus/pci/devices/0000:${i%%=*}/net/${i#*=}"
  done
  if [[ $firmware == denied:* ]]; then
    chmod 000 $entries/209-0/raw
    exec setpriv --bounding-set=-dac_override,-dac_read_search "$@"
  fi
  "$@"
}

in_namespace() { unshare -m --propagation private "$BASH" "$0" inside "$@"; }

require_namespace() {
  local why
  if ! why=$(unshare -m --propagation private "$BASH" -c \
    'mount -t tmpfs none /sys/firmware && mount -t tmpfs none /sys/bus/pci/devices' 2>&1); then
    echo "SKIP: no private mount namespace can be made here (${why:-unshare failed}); needs root and unshare -m"
    exit $SKIP
  fi
}

# Inside one board's namespace: the listing, then each address back to the
# first port that has it. Prints the number of checks; a failure on stderr.
check_board() {
  local tool=$1 name=$2
  shift 2
  local failures=0 checks=0 expected got p address first
  expected=$(listing "$@")
  got=$("$tool" 2>/dev/null)
  checks=$((${#@} + 1))
  [[ $* == - ]] && checks=1
  if [[ $got != "$expected" ]]; then
    printf '%s: listing\n%s\nexpected\n%s\n' "$name" "$got" "$expected" >&2
    failures=1
  fi
  for p in "$@"; do
    [[ $p == - ]] && continue
    address=${p#*=}
    first=$(for q in "$@"; do [[ ${q#*=} == "$address" ]] && { echo "${q%%=*}"; break; }; done)
    got=$("$tool" --pci "$address" 2>/dev/null)
    checks=$((checks + 1))
    if [[ $got != "$first  $address  -" ]]; then
      echo "$name: --pci $address gave '$got', expected port $first" >&2
      failures=1
    fi
  done
  echo $checks
  return $failures
}

run_boards() {
  local boards=$1 tool=$2 name structure ports count=0 checks=0 n failed=0
  require_namespace
  while read -r name structure ports; do
    # shellcheck disable=SC2086
    if n=$(in_namespace "$structure" - "$BASH" "$0" check-board "$tool" "$name" $ports); then
      checks=$((checks + n))
    else
      failed=$((failed + 1))
    fi
    count=$((count + 1))
  done < <(boards_of "$boards")
  echo "real boards on the Linux object: $count boards, $checks checks, $failed boards failed"
  [[ $count -eq 100 && $failed -eq 0 ]]
}

# FIRMWARE | INTERFACES | ARGUMENTS | EXIT | STDOUT ("~" + text: starts with) | STDERR holds
run_tool_cases() {
  local boards=$1 tool=$2 out_of_order bus_ff no_ports failed=0 count=0
  require_namespace
  out_of_order=$(boards_of "$boards" board-084 | awk '{print $2}')
  bus_ff=$(boards_of "$boards" board-011 | awk '{print $2}')
  no_ports=$(boards_of "$boards" board-001 | awk '{print $2}')
  local nics=04:00.0=eno1,04:00.1=eno2,03:00.0=eno3,03:00.0=ens3f0
  local cases
  cases=$(cat <<CASES
$out_of_order|$nics||0|1  04:00.0  eno1\n2  04:00.1  eno2\n3  03:00.0  eno3,ens3f0\n4  03:00.1  -|
$out_of_order|$nics|--json|0|[{"port": 1, "pci": "04:00.0", "interfaces": ["eno1"]}, {"port": 2, "pci": "04:00.1", "interfaces": ["eno2"]}, {"port": 3, "pci": "03:00.0", "interfaces": ["eno3", "ens3f0"]}, {"port": 4, "pci": "03:00.1", "interfaces": []}]|
$out_of_order|$nics|--port 3|0|3  03:00.0  eno3,ens3f0|
$out_of_order|$nics|--json --port 4|0|[{"port": 4, "pci": "03:00.1", "interfaces": []}]|
$out_of_order|$nics|--pci 04:00.1|0|2  04:00.1  eno2|
$out_of_order|$nics|--pci 0000:04:00.1 --json|0|[{"port": 2, "pci": "04:00.1", "interfaces": ["eno2"]}]|
$bus_ff|-|--pci FF:00.0|0|1  ff:00.0  -|
$bus_ff|-|--pci 0000:ff:00.0|0|1  ff:00.0  -|
$out_of_order|$nics|--port 5|1||there is no port 5 (the firmware lists 4 ports)
$out_of_order|$nics|--port 5 --json|1|[]|there is no port 5
$out_of_order|$nics|--pci 02:00.0|1||no embedded port at 02:00.0 (the firmware lists 4 ports)
$out_of_order|$nics|--pci 0001:04:00.1|2||PCI domain 0001 cannot be looked up
$out_of_order|$nics|--pci 3:0|2||not a PCI address BB:DD.F
$out_of_order|$nics|--pci 04:20.0|2||not a PCI address BB:DD.F
$out_of_order|$nics|--port 0|2||not a port number from 1
$out_of_order|$nics|--port|2||--port needs a value
$out_of_order|$nics|--port 1 --pci 04:00.0|2||give one
$out_of_order|$nics|--list|2||unknown argument '--list'
$out_of_order|$nics|--help|0|~usage: tesmaron-ports|
$out_of_order|$nics|--version|0|tesmaron 1.0.0.0|
absent|-||1||the kernel does not expose the firmware tables (/sys/firmware/dmi/entries is absent)
absent|-|--json|1|[]|the kernel does not expose the firmware tables
none|-||1||the firmware lists no embedded network ports (/sys/firmware/dmi/entries/209-0 is absent)
denied:$out_of_order|-||1||reading the firmware tables needs root
$no_ports|-|--port 1|1||the firmware's list of embedded network ports (/sys/firmware/dmi/entries/209-0/raw) holds none
CASES
)
  local firmware interfaces args status stdout stderr got_out got_err got_status
  while IFS='|' read -r firmware interfaces args status stdout stderr; do
    count=$((count + 1))
    got_err=$(mktemp)
    # shellcheck disable=SC2086
    got_out=$(in_namespace "$firmware" "$interfaces" "$tool" $args 2>"$got_err")
    got_status=$?
    stdout=$(printf '%b' "$stdout")
    local ok=1
    [[ $got_status -eq $status ]] || ok=0
    if [[ $stdout == "~"* ]]; then [[ $got_out == "${stdout#\~}"* ]] || ok=0
    else [[ $got_out == "$stdout" ]] || ok=0; fi
    [[ -z $stderr && ! -s $got_err ]] || grep -qF -- "$stderr" "$got_err" || ok=0
    # A bad argument gives its reason and the usage; anything else no usage.
    if [[ $status -eq 2 ]] && ! grep -q '^usage: tesmaron-ports' "$got_err"; then ok=0; fi
    if [[ $ok -eq 0 ]]; then
      failed=$((failed + 1))
      printf 'FAIL tesmaron-ports %s (firmware %s): exit %s, expected %s\nstdout:\n%s\nstderr:\n%s\n' \
        "$args" "${firmware:0:12}" "$got_status" "$status" "$got_out" "$(cat "$got_err")"
    fi
    rm -f "$got_err"
  done <<<"$cases"
  echo "tesmaron-ports: $count cases, $failed failed"
  [[ $failed -eq 0 ]]
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
    for args in "" "--json" "--port 1"; do
      echo "\$ tesmaron-ports${args:+ $args}"
      # shellcheck disable=SC2086
      in_namespace "$structure" "$(demo_interfaces $ports)" "$tool" $args 2>&1
      status=$?
      [[ $status -eq 0 ]] || echo "(exit $status)"
    done
    echo
  done
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
check-board) check_board "$@" ;;
boards) run_boards "$@" ;;
tool) run_tool_cases "$@" ;;
demo) run_demo "$@" ;;
corpus) write_corpus "$@" ;;
*) echo "unknown step $step" >&2; exit 2 ;;
esac
