#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# make sign: the Windows binaries and packages signed with Authenticode, into
# DIST/signed/: the DLL and the tool of each architecture, then the MSI
# packages built from the signed ones.
#   SIGN_PKCS12=cert.p12 SIGN_PASS=... [SIGN_TIMESTAMP_URL=...] scripts/sign_release.sh DIST
# Files reach DIST/signed/ only signed: the run signs into a folder of its
# own, and only when every file is signed does that folder take the place of
# DIST/signed/. A failed run (a wrong password, say) leaves DIST/signed/ as
# an earlier run left it.
set -euo pipefail
dist=$1
source=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n '1s/^tesmaron (\([0-9.]*\)).*/\1/p' "$source/CHANGELOG")
[[ -n ${SIGN_PKCS12:-} ]] || { echo "sign: SIGN_PKCS12 names no PKCS#12 file (and SIGN_PASS its password)" >&2; exit 2; }
mkdir -p "$dist"
run=$(mktemp -d "$dist/.signing-XXXXXX")
trap 'rm -rf "$run"' EXIT
for arch in x86 x64; do
  mkdir -p "$run/$arch"
  cp "$source/build/$arch/tesmaron.dll" "$source/build/$arch/tools/tesmaron-ports.exe" "$run/$arch/"
  "$source/scripts/sign.sh" "$run/$arch/tesmaron.dll" "$run/$arch/tesmaron-ports.exe"
  "$source/scripts/windows_packages.sh" "$arch" "$source/build/$arch" "$run/tesmaron-$version-$arch.msi"
done
chmod 755 "$run"
rm -rf "$dist/signed"
mv "$run" "$dist/signed"
echo "signed: $(cd "$dist/signed" && find . -type f | sort | xargs)"
