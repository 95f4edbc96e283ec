#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Instructions per lookup call, counted by callgrind: repeatable from run to
# run, unlike times. With --check, fails when a case misses its target.
#   icount.sh LOOKUP_ICOUNT_BINARY [--check]
set -euo pipefail
binary=$1 check=${2:-}
command -v valgrind >/dev/null || { echo "icount: valgrind is not installed (run 'make')" >&2; exit 1; }
readonly CALLS=1000
work=$(mktemp -d /tmp/tesmaron-icount-XXXXXX)
trap 'rm -rf "$work"' EXIT

# Instructions per call inside FUNCTION for CASE.
count() {
  local case=$1 function=$2
  valgrind --tool=callgrind --toggle-collect="$function" --callgrind-out-file="$work/out" \
    "$binary" "$case" "$CALLS" >/dev/null 2>&1 || { echo "icount: $case failed under valgrind" >&2; exit 1; }
  local total
  total=$(sed -n 's/^summary: *\([0-9]*\).*/\1/p' "$work/out")
  echo $(( (total + CALLS / 2) / CALLS ))
}

failed=0
printf '%-20s %12s %12s\n' case library baseline
for case in hit_port_1 hit_port_31 miss_31_entries port_in_range port_out_of_range; do
  if [[ $case == port_* ]]; then fn=LookupByPortNumber; else fn=LookupByPCIAddress; fi
  lib=$(count "$case" "$fn")
  base=$(count "baseline_$case" "bench::Baseline$fn*")
  printf '%-20s %12s %12s\n' "$case" "$lib" "$base"
  if [[ $check == --check ]]; then
    limit=
    [[ $case == miss_31_entries ]] && limit=170
    [[ $case == port_* ]] && limit=25
    if [[ -n $limit && $lib -gt $limit ]]; then
      echo "FAIL $case: $lib instructions, target $limit"; failed=1
    fi
    if [[ $lib -gt $base ]]; then
      echo "FAIL $case: $lib instructions, more than the baseline's $base"; failed=1
    fi
  fi
done
exit $failed
