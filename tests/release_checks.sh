#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# make release-check: what takes too long for make check, run before each
# release, over the packages make built from the tarball in DIST:
#   release_checks.sh SOURCE_DIR DIST
# - reproducible: the Debian packages built again from the tarball in
#   another folder, under another umask, locale and time zone, byte for byte
#   dist's (diffoscope names any difference); the RPMs again in the same
#   folder, under another locale and time zone (rpm 4.18 keeps the build
#   folder's path in the build IDs);
# - the Debian packaging where systemd.pc and udev.pc say /usr/lib;
# - autopkgtest, debian/tests over the packages, in a chroot over an overlay
#   of this machine's / in a private namespace (the host's packages are
#   never touched).
set -uo pipefail
source_dir=$(realpath "$1") dist=$(realpath "$2")
version=$(sed -n '1s/^tesmaron (\([0-9.]*\)).*/\1/p' "$source_dir/CHANGELOG")
tarball=$dist/tesmaron-$version.tar.gz
work=$(mktemp -d /tmp/tesmaron-release-XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL $*"; failed=$((failed + 1)); }

# debian_build FOLDER [ENV...]: dpkg-buildpackage in FOLDER, from the tarball.
debian_build() {
  local folder=$1
  shift
  mkdir -p "$folder" && tar -xzf "$tarball" -C "$folder" && cp "$tarball" "$folder/tesmaron_$version.orig.tar.gz" &&
    (cd "$folder/tesmaron-$version" && env "$@" dpkg-buildpackage -us -uc >"$folder/build.log" 2>&1) ||
    { tail -n 20 "$folder/build.log"; return 1; }
}

# The same bytes: a .deb at a time, then each RPM.
same_as_dist() {
  local file
  for file in "$@"; do
    if cmp -s "$file" "$dist/${file##*/}"; then
      echo "same: $(sha256sum "$file" | cut -d' ' -f1)  ${file##*/}"
    else
      fail "${file##*/} differs from dist's:"
      diffoscope --text - "$dist/${file##*/}" "$file" 2>&1 | head -n 40
    fi
  done
}

echo "# Debian packages again, in another folder, umask 0002, LC_ALL=C.UTF-8, TZ=Pacific/Auckland"
(umask 0002 && debian_build "$work/another/folder" LC_ALL=C.UTF-8 LANG=C.UTF-8 TZ=Pacific/Auckland) ||
  fail "the Debian packages did not build"
same_as_dist "$work"/another/folder/*.deb

echo "# RPMs again, LC_ALL=C, TZ=America/Los_Angeles"
LC_ALL=C TZ=America/Los_Angeles "$source_dir/scripts/linux_packages.sh" rpm "$tarball" "$work" >/dev/null ||
  fail "the RPMs did not build"
same_as_dist "$work"/*.rpm

echo "# Debian packages where systemd.pc and udev.pc say /usr/lib (no unit tests)"
mkdir -p "$work/pc"
printf 'systemdsystemunitdir=/usr/lib/systemd/system\nName: systemd\nDescription: systemd\nVersion: 999\n' >"$work/pc/systemd.pc"
printf 'udevdir=/usr/lib/udev\nName: udev\nDescription: udev\nVersion: 999\n' >"$work/pc/udev.pc"
if debian_build "$work/usr-lib" PKG_CONFIG_PATH="$work/pc" DEB_BUILD_OPTIONS=nocheck; then
  held=$(dpkg-deb -c "$work/usr-lib/tesmaron-tools_${version}-1_"*.deb | grep -oE '\./usr/lib/(systemd/system|udev)/[^ ]*' | sort | xargs)
  for want in tesmaron-ports-textfile.timer rules.d/77-tesmaron.rules rules.d/78-tesmaron-textfile.rules tesmaron_port_id; do
    [[ $held == *"$want"* ]] || fail "/usr/lib: tesmaron-tools lacks $want (holds $held)"
  done
  echo "tesmaron-tools: $(wc -w <<<"$held") files in /usr/lib/systemd and /usr/lib/udev"
else
  fail "the Debian packages did not build where the .pc files say /usr/lib"
fi

echo "# autopkgtest"
mkdir -p "$work/chroot/upper" "$work/chroot/work" "$work/chroot/root" "$work/source"
tar -xzf "$tarball" -C "$work/source"
unshare -m --propagation private "$BASH" -c '
  root=$1/chroot/root
  mount -t overlay overlay -o "lowerdir=/,upperdir=$1/chroot/upper,workdir=$1/chroot/work" "$root" || exit 1
  for d in proc sys dev run; do mount --rbind "/$d" "$root/$d"; done
  mount -t tmpfs none "$root/tmp"
  autopkgtest --output-dir "$1/autopkgtest" "$1/source/tesmaron-$2/" "$3"/libtesmaron1_$2-1_*.deb \
    "$3"/libtesmaron-dev_$2-1_*.deb "$3"/tesmaron-tools_$2-1_*.deb -- chroot "$root"' \
  autopkgtest "$work" "$version" "$dist" >"$work/autopkgtest.log" 2>&1
status=$?
summary=$(sed -n '/^[a-z-]* *\(PASS\|FAIL\|SKIP\)/p' "$work/autopkgtest.log" | sort -u)
echo "$summary"
[[ $status -eq 0 && $(grep -c PASS <<<"$summary") -eq 3 ]] || { tail -n 30 "$work/autopkgtest.log"; fail "autopkgtest"; }

echo "release checks: $failed failed"
[[ $failed -eq 0 ]]
