#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows Installer package of one architecture, built by wixl from the
# architecture's installed tree:
#   scripts/windows_packages.sh ARCH BUILD_DIR OUT.msi [VERSION]
# ARCH x86 or x64; VERSION, the changelog's unless given (the tests build
# higher and lower ones). With SIGN_PKCS12 (and SIGN_PASS, SIGN_TIMESTAMP_URL)
# set, the DLL and the tool are signed before they are packed, and the
# package after it is built (scripts/sign.sh).
set -euo pipefail
arch=$1 build=$(realpath "$2") out=$(realpath -m "$3")
source=$(cd "$(dirname "$0")/.." && pwd)
version=${4:-$(sed -n '1s/^tesmaron (\([0-9.]*\)).*/\1/p' "$source/CHANGELOG")}
stage=$(mktemp -d /tmp/tesmaron-msi-XXXXXX)
trap 'rm -rf "$stage" "$out.new"' EXIT

cmake --install "$build" --prefix "$stage" >/dev/null
if [[ -n ${SIGN_PKCS12:-} ]]; then
  "$source/scripts/sign.sh" "$stage/bin/tesmaron.dll" "$stage/bin/tesmaron-ports.exe"
fi

# A product code of its own for each version and architecture, the same on
# every build of it: a name-based UUID (SHA-1, version 5).
hash=$(printf 'tesmaron %s %s' "$arch" "$version" | sha1sum)
product_code=$(echo "${hash:0:8}-${hash:8:4}-5${hash:13:3}-$(printf %x $((0x${hash:16:1} & 3 | 8)))${hash:17:3}-${hash:20:12}" |
  tr a-f A-F)
(cd "$stage" && G_DEBUG=fatal-warnings wixl -a "$arch" -D Version="$version" -D Arch="$arch" \
  -D ProductCode="$product_code" -o "$out.new" "$source/msi/tesmaron.wxs")
# What wixl cannot say: the runtime cannot be left out (it ignores
# Absent="disallow"); bin\ on the system PATH, an Environment row and the
# actions that write and remove it; a RemoveFile row.
msibuild "$out.new" -q "UPDATE Feature SET Attributes = 16 WHERE Feature = 'Runtime'"
msibuild "$out.new" -i "$source/msi/environment.idt"
# The task definition the ScheduledTask feature writes is removed with it.
msibuild "$out.new" -i "$source/msi/removefile.idt"
msibuild "$out.new" -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RemoveEnvironmentStrings', 3300)"
msibuild "$out.new" -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('WriteEnvironmentStrings', 5200)"
if [[ -n ${SIGN_PKCS12:-} ]]; then
  "$source/scripts/sign.sh" "$out.new"
fi
mv "$out.new" "$out"
echo "msi: $out"
