#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages that building tesmaron needs (make), and with
# "check" also those that testing it needs (make check), when they are
# missing. Safe to run any number of times: with everything present it only
# looks.
#   scripts/bootstrap.sh [check]
set -euo pipefail

# What make needs for what users install: the libraries, the tool, the
# manuals, the release packages.
packages=(
  cmake ninja-build make g++ pkgconf libgtest-dev libbenchmark-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  llvm dpkg-dev debhelper file scdoc rpm elfutils systemd udev
  wixl msitools faketime liblldpctl-dev
)
# What make check adds: Wine, the sanitizers, the Arm cross builds under
# qemu, the distributions' checkers, the real tools the tests run against.
if [[ ${1:-} == check ]]; then
  packages+=(
    wine64 wine clang libclang-rt-14-dev valgrind clang-format lld lintian dmidecode
    prometheus prometheus-node-exporter rpmlint initramfs-tools-core dracut-core strace
    osslsigncode openssl libxml2-utils
    crossbuild-essential-arm64 crossbuild-essential-armhf qemu-user-static
    devscripts diffoscope-minimal reuse autopkgtest
  )
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

install="apt-get install -y --no-install-recommends ${missing[*]}"
if [[ $(id -u) -ne 0 ]] || ! command -v apt-get >/dev/null; then
  echo "bootstrap: missing packages: ${missing[*]}" >&2
  echo "bootstrap: install them as root with: apt-get update && $install" >&2
  exit 1
fi

echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# lldpd comes with its client library's headers: installed, never started,
# so that no daemon speaks LLDP on this machine's own interfaces (the tests
# start it in private network namespaces only). Where nothing forbids
# starting services yet, a policy that does while apt runs.
policy=/usr/sbin/policy-rc.d
if [[ ! -e $policy ]]; then
  printf '#!/bin/sh\nexit 101\n' >"$policy" && chmod 755 "$policy"
  trap 'rm -f "$policy"' EXIT
fi
if ! { apt-get update -q && $install; } >build-bootstrap.log 2>&1; then
  tail -n 20 build-bootstrap.log >&2
  echo "bootstrap: could not install: ${missing[*]} (full log: build-bootstrap.log)" >&2
  echo "bootstrap: install them as root with: apt-get update && $install" >&2
  exit 1
fi
rm -f build-bootstrap.log
# Nor at the next boot.
if [[ " ${missing[*]} " == *" liblldpctl-dev "* ]]; then
  systemctl disable lldpd.service >/dev/null 2>&1 || true
  update-rc.d lldpd disable >/dev/null 2>&1 || true
fi
