#!/usr/bin/env bash
# Unpacks a release package into a temporary folder, checks what it holds,
# and builds the example against the unpacked tree as a user would: with
# find_package(tesmaron CONFIG), and on Linux also through pkg-config.
#   package_consumer.sh SOURCE_DIR PACKAGE DIST_DIR OUT_DIR
# The win64 example is left in OUT_DIR, for its run under Wine.
set -euo pipefail
source_dir=$1 package=$2 dist=$3 out=$4
work=$(mktemp -d /tmp/tesmaron-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "$(basename "$package"): $*" >&2; exit 1; }
[[ -f $package ]] || fail "missing (run 'make package')"

windows_files="LICENSE README.md bin/tesmaron-ports.exe bin/tesmaron.dll include/tesmaron.h
  lib/cmake/tesmaron/tesmaronConfig.cmake lib/cmake/tesmaron/tesmaronConfigVersion.cmake
  lib/cmake/tesmaron/tesmaronTargets-release.cmake lib/cmake/tesmaron/tesmaronTargets.cmake
  lib/libtesmaron.dll.a lib/tesmaron.def lib/tesmaron.lib"
linux_files="bin/tesmaron-ports include/tesmaron.h
  lib/cmake/tesmaron/tesmaronConfig.cmake lib/cmake/tesmaron/tesmaronConfigVersion.cmake
  lib/cmake/tesmaron/tesmaronTargets-release.cmake lib/cmake/tesmaron/tesmaronTargets.cmake
  lib/libtesmaron.so lib/pkgconfig/tesmaron.pc
  share/doc/tesmaron/README.md share/doc/tesmaron/changelog.gz share/doc/tesmaron/copyright"

root=$work/root
case $(basename "$package") in
*-win32.zip) arch=x86 toolchain=mingw-x86 expected=$windows_files ;;
*-win64.zip) arch=x64 toolchain=mingw-x64 expected=$windows_files ;;
*.deb) arch=linux toolchain= expected=$linux_files ;;
*) fail "not a package this script knows" ;;
esac
mkdir -p "$root"
if [[ $arch == linux ]]; then
  dpkg-deb -x "$package" "$root"
  root=$root/usr
else
  (cd "$root" && cmake -E tar xf "$package")
fi

files=$(cd "$root" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')
want=$(tr -s ' \n' '\n' <<<"$expected" | sed '/^$/d' | sort | tr '\n' ' ')
[[ $files == "$want" ]] || fail "holds: $files
expected: $want"
if [[ $arch == linux ]]; then
  cmp "$root/lib/libtesmaron.so" "$dist/linux/libtesmaron.so" || fail "its libtesmaron.so is not dist's"
  # Real metadata: dependencies computed from the objects, and no lintian error.
  [[ $(dpkg-deb -f "$package" Depends) == libc6* ]] || fail "Depends is '$(dpkg-deb -f "$package" Depends)'"
  errors=$(lintian "$package" 2>&1 | grep '^E:' || true)
  [[ -z $errors ]] || fail "lintian errors:
$errors"
else
  cmp "$root/bin/tesmaron.dll" "$dist/$arch/tesmaron.dll" || fail "its tesmaron.dll is not dist's"
fi

cmake -S "$source_dir/examples" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  ${toolchain:+-DCMAKE_TOOLCHAIN_FILE=$source_dir/cmake/$toolchain.cmake} -DCMAKE_PREFIX_PATH="$root" >/dev/null
cmake --build "$work/build" >/dev/null

if [[ $arch == linux ]]; then
  # Run from the unpacked tree: the loader finds the library, the attach runs.
  export LD_LIBRARY_PATH=$root/lib
  "$work/build/list-ports" >/dev/null || fail "the example did not run"
  [[ $("$root/bin/tesmaron-ports" --version) == "tesmaron 1.0.0.0" ]] || fail "tesmaron-ports --version"
  export PKG_CONFIG_PATH=$root/lib/pkgconfig
  [[ $(pkg-config --modversion tesmaron) == 1.0.0.0 ]] || fail "pkg-config: wrong version"
  # shellcheck disable=SC2046
  cc -std=c99 -Wall -Wextra -Werror -o "$work/list-ports-pc" "$source_dir/examples/list_ports.c" \
    $(pkg-config --cflags --libs tesmaron)
  "$work/list-ports-pc" >/dev/null || fail "the example built through pkg-config did not run"
elif [[ $arch == x64 ]]; then
  mkdir -p "$out"
  cp "$work/build/list-ports.exe" "$out/"
fi
echo "$(basename "$package"): holds the expected $(wc -w <<<"$files") files; the example builds against it"
