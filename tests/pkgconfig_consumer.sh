#!/usr/bin/env bash
# Builds the example against the installed Linux package through pkg-config,
# as a Makefile-based user would, and runs it with bad arguments.
set -euo pipefail
source_dir=$1 install_dir=$2
work=$(mktemp -d /tmp/tesmaron-pc-XXXXXX)
trap 'rm -rf "$work"' EXIT
export PKG_CONFIG_PATH=$install_dir/lib/pkgconfig
[[ $(pkg-config --modversion tesmaron) == 1.0.0.0 ]] || { echo "pkg-config: wrong version" >&2; exit 1; }
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror -o "$work/tesmaron-ports" "$source_dir/examples/tesmaron_ports.c" \
  $(pkg-config --cflags --libs tesmaron)
status=0
LD_LIBRARY_PATH=$install_dir/lib "$work/tesmaron-ports" --pci zz 2>/dev/null || status=$?
[[ $status -eq 2 ]] || { echo "bad arguments gave exit $status, not 2" >&2; exit 1; }
echo "built and ran the example through pkg-config"
