#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Signs Windows binaries and packages in place with Authenticode (SHA-256),
# through osslsigncode:
#   SIGN_PKCS12=cert.p12 SIGN_PASS=... [SIGN_TIMESTAMP_URL=...] scripts/sign.sh FILE...
# The certificate's password goes to osslsigncode on standard input, never on
# a command line that any user can read in the process list; as a line, so
# that an empty password is one too (osslsigncode reads nothing as no
# password at all).
set -euo pipefail
: "${SIGN_PKCS12:?the PKCS#12 file that holds the certificate and its key}"
: "${SIGN_PASS?the password of SIGN_PKCS12 (may be empty)}"
for file in "$@"; do
  signed=$file.signed  # osslsigncode writes only a new file
  rm -f "$signed"
  trap 'rm -f "$signed"' EXIT
  printf '%s\n' "$SIGN_PASS" | osslsigncode sign -pkcs12 "$SIGN_PKCS12" -readpass /dev/stdin -h sha256 \
    -n tesmaron -i https://tesmaron.org/ ${SIGN_TIMESTAMP_URL:+-ts "$SIGN_TIMESTAMP_URL"} \
    -in "$file" -out "$signed" >/dev/null
  chmod --reference="$file" "$signed" && mv -f "$signed" "$file"
  echo "signed: $file"
done
