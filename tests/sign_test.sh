#!/usr/bin/env bash
# make sign's path with a certificate made here and thrown away: the x64 MSI
# signed, and the DLL and the tool inside it signed before they were packed;
# osslsigncode verifies each against the certificate.
#   sign_test.sh SOURCE_DIR WORK
set -euo pipefail
source_dir=$1 work=$2
rm -rf "$work" && mkdir -p "$work/unpacked"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 1 \
  -subj "/CN=tesmaron test signing" -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.p12" -passout pass:throwaway
SIGN_PKCS12=$work/cert.p12 SIGN_PASS=throwaway "$source_dir/scripts/windows_packages.sh" x64 "$source_dir/build/x64" \
  "$work/tesmaron-x64.msi" >/dev/null
msiextract -C "$work/unpacked" "$work/tesmaron-x64.msi" >/dev/null
for file in "$work/tesmaron-x64.msi" "$work"/unpacked/tesmaron/bin/{tesmaron.dll,tesmaron-ports.exe}; do
  osslsigncode verify -CAfile "$work/cert.pem" -in "$file" >"$work/verify.log" 2>&1 ||
    { cat "$work/verify.log"; echo "FAIL ${file##*/} is not signed"; exit 1; }
  echo "${file##*/}: $(grep -m1 'Signer.*Subject\|Subject:' "$work/verify.log" | xargs), verified"
done
