#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# make sign: the Windows binaries and packages signed with Authenticode, into
# DIST/signed/: the DLL and the tool of each architecture; the MSI packages
# as make built them into DIST, signed as they are (one release, one
# package: Windows Installer knows the signed copy as the package it
# installed from the unsigned one); the zips, holding the signed DLL and
# tool.
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
  msi=tesmaron-$version-$arch.msi zip=tesmaron-$version-win$([[ $arch == x86 ]] && echo 32 || echo 64)
  [[ -f $dist/$msi && -f $dist/$zip.zip ]] || { echo "sign: $dist has no $msi or $zip.zip (run 'make')" >&2; exit 2; }
  mkdir -p "$run/$arch" "$run/unpacked"
  cp "$source/build/$arch/tesmaron.dll" "$source/build/$arch/tools/tesmaron-ports.exe" "$run/$arch/"
  cp "$dist/$msi" "$run/"
  "$source/scripts/sign.sh" "$run/$arch/tesmaron.dll" "$run/$arch/tesmaron-ports.exe" "$run/$msi"
  (cd "$run/unpacked" && cmake -E tar xf "$dist/$zip.zip" && cp "$run/$arch"/* "$zip/bin/" &&
    cmake -E tar cf "$run/$zip.zip" --format=zip "$zip" && rm -rf "$zip")
done
rmdir "$run/unpacked"
chmod 755 "$run"
rm -rf "$dist/signed"
mv "$run" "$dist/signed"
echo "signed: $(cd "$dist/signed" && find . -type f | sort | xargs)"
