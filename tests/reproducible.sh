#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds a Windows DLL again from clean, in another folder, and compares it
# byte for byte with the one in dist/: same sources, same file.
set -euo pipefail
source_dir=$1 arch=$2 dist_dir=$3
work=$(mktemp -d /tmp/tesmaron-repro-XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake -S "$source_dir" -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-$arch.cmake" >/dev/null
cmake --build "$work" --target tesmaron >/dev/null
if cmp "$work/tesmaron.dll" "$dist_dir/$arch/tesmaron.dll"; then
  echo "$arch: a clean rebuild is identical to $dist_dir/$arch/tesmaron.dll"
else
  echo "$arch: a clean rebuild differs from $dist_dir/$arch/tesmaron.dll" >&2
  exit 1
fi
