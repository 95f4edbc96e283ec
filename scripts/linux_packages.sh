#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
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
  # The same bytes from every build of a release, as far as rpm 4.18 gives
  # them: times from the changelog, a fixed build host, and a fixed umask
  # (rpm keeps the recipe's mode in the source package, whose digest every
  # binary package carries). The build folder must be the same too: its
  # path reaches the binaries' build IDs through their debug information.
  rm -f "$dist"/*.rpm
  (umask 022 && SOURCE_DATE_EPOCH=$(date -d "$(dpkg-parsechangelog -l debian/changelog -S Date)" +%s) \
    rpmbuild -ta --nodeps --define "_topdir $top" --define "_buildhost reproducible" \
    --define "use_source_date_epoch_as_buildtime 1" --define "clamp_mtime_to_source_date_epoch 1" "$tarball") \
    >"$log" 2>&1 || failed
  cp "$top"/RPMS/*/*.rpm "$top"/SRPMS/*.rpm "$dist/"
  ;;
*) echo "linux_packages: deb or rpm, not $kind" >&2; exit 2 ;;
esac
echo "$kind packages: $(cd "$top" && ls -1 *.deb *.dsc RPMS/*/*.rpm SRPMS/*.rpm 2>/dev/null | xargs -n1 basename | tr '\n' ' ')"
