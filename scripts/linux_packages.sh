#!/usr/bin/env bash
# The Linux packages as distributions build them, from the source tarball:
#   scripts/linux_packages.sh deb TARBALL DIST   dpkg-buildpackage -us -uc in the
#                                                unpacked tarball: the source package
#                                                (.dsc), the .deb and -dbgsym packages
#   scripts/linux_packages.sh rpm TARBALL DIST   rpmbuild -ta: the source RPM and the
#                                                binary and -debuginfo RPMs
# Each builds in build/ and copies what it made into DIST; on failure the
# tail of the build's log.
set -euo pipefail
kind=$1 tarball=$(realpath "$2") dist=$(realpath "$3")
cd "$(dirname "$0")/.."
top=$PWD/build/$kind-packages
rm -rf "$top" && mkdir -p "$top"
log=$top/build.log
failed() {
  tail -n 40 "$log" >&2
  echo "linux_packages: $kind packages failed (whole log: $log)" >&2
  exit 1
}
name=$(basename "$tarball" .tar.gz)  # tesmaron-1.2.0
case $kind in
deb)
  rm -f "$dist"/*.deb "$dist"/*.dsc "$dist"/*.debian.tar.* "$dist"/*.orig.tar.* "$dist"/*.changes "$dist"/*.buildinfo
  tar -xzf "$tarball" -C "$top"
  cp "$tarball" "$top/${name/-/_}.orig.tar.gz"
  (cd "$top/$name" && DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" dpkg-buildpackage -us -uc) \
    >"$log" 2>&1 || failed
  cp "$top"/*.deb "$top"/*.dsc "$top"/*.debian.tar.* "$top"/*.orig.tar.* "$top"/*.changes "$top"/*.buildinfo "$dist/"
  ;;
rpm)
  rm -f "$dist"/*.rpm
  rpmbuild -ta --nodeps --define "_topdir $top" "$tarball" >"$log" 2>&1 || failed
  cp "$top"/RPMS/*/*.rpm "$top"/SRPMS/*.rpm "$dist/"
  ;;
*) echo "linux_packages: deb or rpm, not $kind" >&2; exit 2 ;;
esac
echo "$kind packages: $(cd "$top" && ls -1 *.deb *.dsc RPMS/*/*.rpm SRPMS/*.rpm 2>/dev/null | xargs -n1 basename | tr '\n' ' ')"
