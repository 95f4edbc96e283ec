#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# make sign's path with certificates made here and thrown away: a wrong
# password leaves dist/signed/ as an earlier run left it, nothing unsigned
# in it; a certificate with an empty password signs. The x64 MSI, and the
# DLL and the tool inside it (signed before they were packed), verified by
# osslsigncode against the certificate.
#   sign_test.sh SOURCE_DIR WORK
set -euo pipefail
source_dir=$1 work=$2
rm -rf "$work" && mkdir -p "$work/unpacked" "$work/dist/signed"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 1 \
  -subj "/CN=tesmaron test signing" -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.p12" -passout pass:throwaway
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/empty.p12" -passout pass:
echo "an earlier run's" >"$work/dist/signed/earlier"
if SIGN_PKCS12=$work/cert.p12 SIGN_PASS=wrong "$source_dir/scripts/sign_release.sh" "$work/dist" >/dev/null 2>&1; then
  echo "FAIL a wrong password signed"; exit 1
fi
left=$(cd "$work/dist" && find . | sort | xargs)
[[ $left == ". ./signed ./signed/earlier" ]] || { echo "FAIL a failed run left: $left"; exit 1; }
SIGN_PKCS12=$work/empty.p12 SIGN_PASS= "$source_dir/scripts/sign_release.sh" "$work/dist" >/dev/null
version=$(sed -n '1s/^tesmaron (\([0-9.]*\)).*/\1/p' "$source_dir/CHANGELOG")
msiextract -C "$work/unpacked" "$work/dist/signed/tesmaron-$version-x64.msi" >/dev/null
for file in "$work/dist/signed/tesmaron-$version-x64.msi" "$work"/unpacked/tesmaron/bin/{tesmaron.dll,tesmaron-ports.exe} \
  "$work/dist/signed/x86/tesmaron.dll"; do
  osslsigncode verify -CAfile "$work/cert.pem" -in "$file" >"$work/verify.log" 2>&1 ||
    { cat "$work/verify.log"; echo "FAIL ${file##*/} is not signed"; exit 1; }
  echo "${file#"$work"/}: $(grep -m1 'Signer.*Subject\|Subject:' "$work/verify.log" | xargs), verified"
done
echo "a wrong password left dist/signed/ as it was: $left"
