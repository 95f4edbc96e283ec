#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Drives the end-to-end run under Wine, one step per call, so that CTest can
# order the steps as fixtures and always run the cleanup ones:
#   wine_e2e.sh setup PREFIX DLL E2E_EXE DRIVER_SYS BOARDS   prefix, files, driver service
#   wine_e2e.sh run PREFIX [SCENARIO ...]             e2e.exe against the copied DLL
#   wine_e2e.sh start|stop PREFIX                     start or stop the driver
#   wine_e2e.sh sample PREFIX EXE [ARG ...]          a program on a sample board, once
#   wine_e2e.sh exec PREFIX EXE [ARG ...]            a program, the driver as it is
#   wine_e2e.sh demo PREFIX EXAMPLE_EXE              the example program on a sample board
#   wine_e2e.sh teardown PREFIX                       end the prefix's wineserver
set -uo pipefail
step=${1:?step} prefix=${2:?prefix}
shift 2

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
readonly SERVICE=ZolHlth

die() { echo "wine e2e: $*" >&2; exit 1; }
command -v wine >/dev/null && command -v wineserver >/dev/null ||
  die "wine is not installed (run 'make', which installs wine64 and wine)"

# Waits up to 15 s for the driver service to reach a state.
wait_for_state() {
  for _ in $(seq 30); do
    wine sc query "$SERVICE" 2>/dev/null | grep -q "STATE *: *[0-9]* *$1" && return 0
    sleep 0.5
  done
  return 1
}

copy_in() {
  cp "$1" "$prefix/drive_c/tesmaron/" || die "missing $1 (run 'make')"
  cd "$prefix/drive_c/tesmaron" || die "no prefix at $prefix (setup did not run)"
}

# Runs C:\tesmaron\PROGRAM with its arguments on the sample board: every
# run loads the library afresh, so the driver is scripted each time.
on_sample_board() {
  local program=$1
  shift
  wine 'C:\tesmaron\e2e.exe' --sample-board || die "scripting the driver failed"
  wine "C:\\tesmaron\\$program" "$@" 2>&1 | tr -d '\r'
  return "${PIPESTATUS[0]}"
}

case $step in
setup)
  dll=${1:?dll} exe=${2:?e2e.exe} sys=${3:?driver} boards=${4:?real-boards.txt}
  for f in "$dll" "$exe" "$sys" "$boards"; do [[ -f $f ]] || die "missing $f (run 'make')"; done
  # A failure half-way must not leave a server running.
  trap '[[ $? -eq 0 ]] || wineserver -k 2>/dev/null' EXIT
  mkdir -p "$prefix"
  wineserver -k 2>/dev/null
  if [[ ! -f $prefix/system.reg ]]; then
    # Create the prefix under a server of its own and let it end completely:
    # a prefix first booted under a persistent server runs two service
    # managers, and the driver then cannot be started.
    wine wineboot -i >/dev/null 2>&1 || die "creating the Wine prefix $prefix failed"
    wineserver -w
  fi
  # A persistent server keeps the driver loaded between program runs.
  wineserver -p </dev/null >/dev/null 2>&1 || die "starting the wineserver failed"
  mkdir -p "$prefix/drive_c/tesmaron" "$prefix/drive_c/windows/system32/drivers"
  cp "$dll" "$exe" "$boards" "$prefix/drive_c/tesmaron/" &&
    cp "$sys" "$prefix/drive_c/windows/system32/drivers/zolhlth.sys" || die "copying into the prefix failed"
  if ! wine sc query "$SERVICE" >/dev/null 2>&1; then
    wine sc create "$SERVICE" type= kernel binPath= 'C:\windows\system32\drivers\zolhlth.sys' >/dev/null 2>&1 ||
      die "installing the driver service failed"
  fi
  wait_for_state STOPPED || die "the driver service is not stopped after setup"
  echo "Wine prefix ready: $prefix"
  ;;
run)
  cd "$prefix/drive_c/tesmaron" || die "no prefix at $prefix (setup did not run)"
  wine 'C:\tesmaron\e2e.exe' 'C:\tesmaron\tesmaron.dll' "$@"
  ;;
start)
  wine sc start "$SERVICE" >/dev/null 2>&1 || die "starting the driver failed"
  wait_for_state RUNNING || die "the driver did not reach RUNNING"
  echo "driver started"
  ;;
stop)
  wine sc stop "$SERVICE" >/dev/null 2>&1
  wait_for_state STOPPED || die "the driver did not stop"
  echo "driver stopped"
  ;;
sample)
  exe=${1:?program}
  shift
  copy_in "$exe"
  on_sample_board "$(basename "$exe")" "$@"
  ;;
exec)
  exe=${1:?program}
  shift
  copy_in "$exe"
  wine "C:\\tesmaron\\$(basename "$exe")" "$@" 2>&1 | tr -d '\r'
  exit "${PIPESTATUS[0]}"
  ;;
demo)
  example=${1:?example program}
  copy_in "$example"
  for args in "" "--port 3" "--json --pci 03:00.1" "--port 5" "--pci 3:0"; do
    echo "\$ tesmaron-ports${args:+ $args}"
    # shellcheck disable=SC2086
    on_sample_board tesmaron-ports.exe $args
    status=$?
    [[ $status -eq 0 ]] || echo "(exit $status)"
  done
  ;;
teardown)
  wineserver -k 2>/dev/null
  echo "wineserver ended"
  ;;
*)
  die "unknown step $step"
  ;;
esac
