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

# A name-based UUID (SHA-1, version 5) of the text on standard input.
uuid() {
  local hash
  hash=$(sha1sum)
  echo "${hash:0:8}-${hash:8:4}-5${hash:13:3}-$(printf %x $((0x${hash:16:1} & 3 | 8)))${hash:17:3}-${hash:20:12}" | tr a-f A-F
}
# A product code of its own for each version and architecture, the same on
# every build of it; one package code for one content: the version, the
# architecture and every byte that goes into the package. The same release
# built twice is one package, byte for byte (its times the changelog's), so
# that a copy signed later is still the package Windows Installer knows.
product_code=$(printf 'tesmaron %s %s' "$arch" "$version" | uuid)
package_code=$( (cd "$stage" && find . -type f | LC_ALL=C sort | xargs sha256sum
  cd "$source/msi" && sha256sum tesmaron.wxs ./*.idt) | { printf 'tesmaron %s %s\n' "$arch" "$version"; cat; } | uuid)
released=$(sed -n '/^ -- /{s/.*>  //p;q}' "$source/CHANGELOG")
at_release() { faketime -f "@$(date -u -d "$released" '+%Y-%m-%d %H:%M:%S')" "$@"; }
(cd "$stage" && G_DEBUG=fatal-warnings at_release wixl -a "$arch" -D Version="$version" -D Arch="$arch" \
  -D ProductCode="$product_code" -o "$out.new" "$source/msi/tesmaron.wxs")
# What wixl cannot say: the package code; the runtime cannot be left out
# (it ignores Absent="disallow"); bin\ on the system PATH, an Environment
# row and the actions that write and remove it; RemoveFile rows; the
# install folder's permissions; the x86 package's task only on 32-bit
# Windows; the properties an administrator gives on
# the command line, as secure ones, so that a managed install keeps them.
msi() { at_release msibuild "$out.new" "$@"; }
msi -s "tesmaron $version ($arch): embedded network ports between port numbers and PCI addresses" \
  "tesmaron developers" "$([[ $arch == x64 ]] && echo x64 || echo Intel);1033" "{$package_code}"
msi -q "UPDATE Feature SET Attributes = 16 WHERE Feature = 'Runtime'"
msi -i "$source/msi/environment.idt"
# The task definition the ScheduledTask feature writes, and the metrics the
# task wrote, are removed with it.
msi -i "$source/msi/removefile.idt"
msi -i "$source/msi/lockpermissions.idt"
[[ $arch == x64 ]] || msi -i "$source/msi/x86-condition.idt"
msi -q "UPDATE Property SET Value = 'INSTALLDIR;TEXTFILE_DIR;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'"
msi -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RemoveEnvironmentStrings', 3300)"
msi -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('WriteEnvironmentStrings', 5200)"
if [[ -n ${SIGN_PKCS12:-} ]]; then
  "$source/scripts/sign.sh" "$out.new"
fi
mv "$out.new" "$out"
echo "msi: $out"
