#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Formats every C and C++ source with .clang-format; with --check, changes
# nothing and fails on the first file that is not formatted.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find include portmap healthdrv library platform smbios tools udev tests examples \
  \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) | sort)
if [[ ${1:-} == --check ]]; then
  clang-format --dry-run --Werror "${files[@]}"
  echo "${#files[@]} sources formatted as .clang-format says"
else
  clang-format -i "${files[@]}"
fi
