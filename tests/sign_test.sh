#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# make sign's path with certificates made here and thrown away: a wrong
# password leaves dist/signed/ as an earlier run left it, nothing unsigned
# in it; a certificate with an empty password signs. The x64 MSI, verified
# by osslsigncode against the certificate, is still the package make built
# (its package code); the DLL and the tool in the win64 zip are signed.
#   sign_test.sh SOURCE_DIR WORK
set -euo pipefail
source_dir=$1 work=$2
rm -rf "$work" && mkdir -p "$work/unpacked" "$work/dist/signed"
cp "$source_dir"/dist/*.msi "$source_dir"/dist/*.zip "$work/dist/"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 1 \
  -subj "/CN=tesmaron test signing" -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.p12" -passout pass:throwaway
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/empty.p12" -passout pass:
echo "an earlier run's" >"$work/dist/signed/earlier"
if SIGN_PKCS12=$work/cert.p12 SIGN_PASS=wrong "$source_dir/scripts/sign_release.sh" "$work/dist" >/dev/null 2>&1; then
  echo "FAIL a wrong password signed"; exit 1
fi
left="$(ls -A "$work/dist" | grep -v -e '[.]msi$' -e '[.]zip$' | xargs): $(ls -A "$work/dist/signed" | xargs)"
[[ $left == "signed: earlier" ]] || { echo "FAIL a failed run left $left"; exit 1; }
SIGN_PKCS12=$work/empty.p12 SIGN_PASS= "$source_dir/scripts/sign_release.sh" "$work/dist" >/dev/null
version=$(sed -n '1s/^tesmaron (\([0-9.]*\)).*/\1/p' "$source_dir/CHANGELOG")
package_code() { msiinfo suminfo "$1" | sed -n 's/^Revision number (UUID): //p'; }
unsigned=$(package_code "$work/dist/tesmaron-$version-x64.msi") signed=$(package_code "$work/dist/signed/tesmaron-$version-x64.msi")
[[ -n $signed && $signed == "$unsigned" ]] || { echo "FAIL the signed MSI is package $signed, the unsigned $unsigned"; exit 1; }
echo "the signed and the unsigned MSI: one package, $signed"
(cd "$work/unpacked" && cmake -E tar xf "$work/dist/signed/tesmaron-$version-win64.zip")
for file in "$work/dist/signed/tesmaron-$version-x64.msi" \
  "$work"/unpacked/tesmaron-$version-win64/bin/{tesmaron.dll,tesmaron-ports.exe} "$work/dist/signed/x86/tesmaron.dll"; do
  osslsigncode verify -CAfile "$work/cert.pem" -in "$file" >"$work/verify.log" 2>&1 ||
    { cat "$work/verify.log"; echo "FAIL ${file##*/} is not signed"; exit 1; }
  echo "${file#"$work"/}: $(grep -m1 'Signer.*Subject\|Subject:' "$work/verify.log" | xargs), verified"
done
echo "a wrong password left dist/signed/ as it was: $left"
