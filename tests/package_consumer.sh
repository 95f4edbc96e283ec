#!/usr/bin/env bash
# Unpacks the release packages of one kind into a temporary tree as a user's
# system would hold them, checks what each holds and says of itself, and
# builds the example against the tree as a user would: with
# find_package(tesmaron CONFIG), and on Linux also through pkg-config.
#   package_consumer.sh SOURCE_DIR DIST_DIR OUT_DIR PACKAGE...
# PACKAGE is one Windows zip, or the Debian or the RPM packages, the debug
# ones included.
# The win64 example is left in OUT_DIR, for its run under Wine.
set -euo pipefail
source_dir=$1 dist=$2 out=$3
shift 3
packages=("$@")
work=$(mktemp -d /tmp/tesmaron-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
what=
fail() { echo "${what:-$(printf '%s ' "${packages[@]##*/}")}: $*" >&2; exit 1; }
for package in "${packages[@]}"; do what=${package##*/} && [[ -f $package ]] || fail "missing (run 'make package')"; done
what=

# The release the packages must carry, from the one place it is kept.
version=$(sed -n '1s/^tesmaron (\([0-9.]*\)).*/\1/p' "$source_dir/CHANGELOG")
deb_lib=usr/lib/x86_64-linux-gnu
cmake_files="cmake/tesmaron/tesmaronConfig.cmake cmake/tesmaron/tesmaronConfigVersion.cmake
  cmake/tesmaron/tesmaronTargets-release.cmake cmake/tesmaron/tesmaronTargets.cmake"
tools_files="bin/tesmaron-ports lib/systemd/system/tesmaron-ports-textfile.service
  lib/systemd/system/tesmaron-ports-textfile.timer share/man/man1/tesmaron-ports.1.gz
  lib/systemd/system/tesmaron-ports-textfile.service.d/textfile-folder.conf
  lib/dracut/modules.d/90tesmaron/module-setup.sh"
# Debug symbols by build ID (ID here; the IDs themselves are checked against
# the binaries below): one file for the library, two for the tools.
debug_file=usr/lib/debug/.build-id/ID.debug
# udev's folder is /lib/udev on Debian, /usr/lib/udev in the RPMs.
udev_files="lib/udev/tesmaron_port_id lib/udev/rules.d/77-tesmaron.rules"
# What each package holds, every file and link, paths from its root.
expected_files() {
  case $(basename "$1") in
  *-win32.zip | *-win64.zip)
    echo "LICENSE README.md bin/tesmaron-ports.exe bin/tesmaron.dll include/tesmaron.h
      $(sed 's|cmake/|lib/cmake/|g' <<<"$cmake_files") lib/libtesmaron.dll.a lib/tesmaron.def lib/tesmaron.lib" ;;
  libtesmaron1_*.deb)
    echo "$deb_lib/libtesmaron.so.1 $deb_lib/libtesmaron.so.$version
      usr/share/doc/libtesmaron1/changelog.gz usr/share/doc/libtesmaron1/copyright" ;;
  libtesmaron-dev_*.deb)
    echo "usr/include/tesmaron.h $(sed "s|cmake/|$deb_lib/cmake/|g" <<<"$cmake_files") $deb_lib/libtesmaron.so
      $deb_lib/pkgconfig/tesmaron.pc usr/share/doc/libtesmaron-dev/README.md
      usr/share/doc/libtesmaron-dev/changelog.gz usr/share/doc/libtesmaron-dev/copyright" ;;
  tesmaron-tools_*.deb)
    echo "$(sed 's|\([a-z][^ ]*\)|usr/\1|g' <<<"$tools_files") $udev_files
      usr/share/initramfs-tools/hooks/tesmaron usr/share/doc/tesmaron-tools/README.md
      usr/share/doc/tesmaron-tools/changelog.gz usr/share/doc/tesmaron-tools/copyright
      usr/share/doc/tesmaron-tools/examples/tesmaron-ports.rules.yml" ;;
  libtesmaron1-dbgsym_*.deb) echo "$debug_file usr/share/doc/libtesmaron1-dbgsym" ;;
  tesmaron-tools-dbgsym_*.deb) echo "$debug_file $debug_file usr/share/doc/tesmaron-tools-dbgsym" ;;
  tesmaron-libs-debuginfo-*.rpm) echo "$debug_file" ;;
  tesmaron-debuginfo-*.rpm) echo "$debug_file $debug_file" ;;
  tesmaron-libs-*.rpm)
    echo "usr/lib64/libtesmaron.so.1 usr/lib64/libtesmaron.so.$version usr/share/licenses/tesmaron-libs/LICENSE" ;;
  tesmaron-devel-*.rpm)
    echo "usr/include/tesmaron.h $(sed 's|cmake/|usr/lib64/cmake/|g' <<<"$cmake_files") usr/lib64/libtesmaron.so
      usr/lib64/pkgconfig/tesmaron.pc usr/share/doc/tesmaron-devel/README.md
      usr/share/licenses/tesmaron-devel/LICENSE" ;;
  tesmaron-*.rpm)
    echo "$(sed 's|\([a-z][^ ]*\)|usr/\1|g' <<<"$tools_files") $(sed 's|lib/udev|usr/lib/udev|g' <<<"$udev_files")
      usr/share/doc/tesmaron/README.md
      usr/share/doc/tesmaron/examples/tesmaron-ports.rules.yml usr/share/licenses/tesmaron/LICENSE" ;;
  *) fail "not a package this script knows" ;;
  esac
}

# Every file and link a package holds, without folders.
held_files() {
  case $1 in
  *.zip) cmake -E tar tf "$1" | grep -v '/$' ;;
  *.deb) dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' ;;
  *.rpm) rpm -qp --qf '[%{FILEMODES:perms} %{FILENAMES}\n]' "$1" | awk '$1 !~ /^d/ {print substr($2, 2)}' ;;
  esac
}

words() { tr -s ' \n' '\n' | sed '/^$/d' | sort | tr '\n' ' '; }

for package in "${packages[@]}"; do
  what=${package##*/}
  got=$(held_files "$package" | sed -E 's|\.build-id/[0-9a-f]{2}/[0-9a-f]{38}\.debug$|.build-id/ID.debug|' | words)
  want=$(expected_files "$package" | words)
  [[ $got == "$want" ]] || fail "holds: $got
expected: $want"
done
what=

root=$work/root
mkdir -p "$root"
case ${packages[0]} in
*-win32.zip) kind=x86 toolchain=mingw-x86 ;;
*-win64.zip) kind=x64 toolchain=mingw-x64 ;;
*.deb) kind=deb toolchain= lib=lib/x86_64-linux-gnu ;;
*.rpm) kind=rpm toolchain= lib=lib64 ;;
esac

case $kind in
x86 | x64)
  (cd "$root" && cmake -E tar xf "${packages[0]}")
  cmp "$root/bin/tesmaron.dll" "$dist/$kind/tesmaron.dll" || fail "its tesmaron.dll is not dist's"
  ;;
deb)
  for package in "${packages[@]}"; do dpkg-deb -x "$package" "$root"; done
  root=$root/usr
  cmp "$root/$lib/libtesmaron.so.$version" "$dist/linux/libtesmaron.so.$version" || fail "its library is not dist's"
  # Real metadata: dependencies computed from the objects; the library's
  # shlibs and symbols agreeing on the first version with today's
  # functions; the loader's cache and the initramfs following by trigger;
  # the units as dh_installsystemd --no-enable leaves them (never started);
  # the debug packages' fields. No lintian error or warning, not even a
  # pedantic one.
  # PACKAGE CONTROL-MEMBER TEXT-IT-HOLDS ("!TEXT": does not hold, "!": no such member)
  while read -r name member text; do
    held=$(dpkg-deb --info "$(printf '%s\n' "${packages[@]}" | grep "/${name}_")" "$member" 2>/dev/null) || held=!
    if [[ $text == ! ]]; then [[ $held == ! ]] || fail "$name has a $member"
    elif [[ $text == !* ]]; then ! grep -qF -- "${text#!}" <<<"$held" || fail "$name $member holds ${text#!}"
    else grep -qF -- "$text" <<<"$held" || fail "$name $member: $held
does not hold: $text"; fi
  done <<MEMBERS
libtesmaron1 control Depends: libc6 (>=
libtesmaron-dev control Depends: libtesmaron1 (= $version)
tesmaron-tools control Depends: libtesmaron1 (= $version), libc6
libtesmaron1-dbgsym control Depends: libtesmaron1 (= $version)
tesmaron-tools-dbgsym control Depends: tesmaron-tools (= $version)
libtesmaron1 control Multi-Arch: same
libtesmaron-dev control Multi-Arch: same
libtesmaron1-dbgsym control Multi-Arch: same
tesmaron-tools-dbgsym control Auto-Built-Package: debug-symbols
libtesmaron1 shlibs libtesmaron 1 libtesmaron1 (>= 1.0.0)
libtesmaron1 triggers activate-noawait ldconfig
libtesmaron1 postinst !
tesmaron-tools triggers activate-noawait update-initramfs
tesmaron-tools postinst deb-systemd-helper update-state 'tesmaron-ports-textfile.timer'
tesmaron-tools prerm deb-systemd-invoke stop 'tesmaron-ports-textfile.timer'
tesmaron-tools postrm deb-systemd-helper purge 'tesmaron-ports-textfile.timer'
MEMBERS
  for package in "${packages[@]}"; do
    [[ $(ar t "$package" | grep '^data') == data.tar.xz ]] || fail "${package##*/} is not compressed with xz"
  done
  # As an admin's dpkg installs them, maintainer scripts and all, in a
  # scratch root: install, enable the timer, remove, install again; the
  # timer can still be enabled.
  scratch=$work/scratch timer=tesmaron-ports-textfile.timer
  mkdir -p "$scratch/var/lib/dpkg/info" "$scratch/var/lib/dpkg/updates" && touch "$scratch/var/lib/dpkg/status"
  in_scratch() {
    dpkg --root="$scratch" --force-script-chrootless --force-depends --log=/dev/null "$@" >"$work/dpkg.log" 2>&1 ||
      fail "dpkg $*: $(cat "$work/dpkg.log")"
  }
  enable_timer() {
    systemctl --root="$scratch" enable $timer >/dev/null 2>&1 ||
      fail "the timer cannot be enabled $1: $(systemctl --root="$scratch" enable $timer 2>&1)"
  }
  debs=("$(printf '%s\n' "${packages[@]}" | grep /libtesmaron1_)" "$(printf '%s\n' "${packages[@]}" | grep /tesmaron-tools_)")
  in_scratch -i "${debs[@]}"
  enable_timer "once installed"
  in_scratch -r tesmaron-tools
  in_scratch -i "${debs[1]}"
  enable_timer "after remove and install"
  findings=$(lintian --pedantic "${packages[@]}" 2>&1 | grep -E '^[EW]:' || true)
  [[ -z $findings ]] || fail "lintian:
$findings"
  ;;
rpm)
  # Installed as rpm installs them, into a scratch root of its own.
  rpm --root "$root" --initdb
  rpm -i --root "$root" --nodeps --noscripts "${packages[@]}" || fail "rpm could not install them"
  root=$root/usr
  requires=$(rpm -qp --requires "${packages[@]}") provides=$(rpm -qp --provides "${packages[@]}")
  grep -qx 'libtesmaron.so.1()(64bit)' <<<"$provides" || fail "nothing provides libtesmaron.so.1()(64bit)"
  grep -qx 'libtesmaron.so.1()(64bit)' <<<"$requires" || fail "the tool does not require libtesmaron.so.1()(64bit)"
  [[ $(grep -c "^tesmaron-libs(x86-64) = $version-1\$" <<<"$requires") -eq 2 ]] ||
    fail "tool and devel do not require tesmaron-libs"
  grep -qx "pkgconfig(tesmaron) = $version" <<<"$provides" || fail "nothing provides pkgconfig(tesmaron) = $version"
  # One source package, nothing relocatable, the licence marked as such in
  # every package but the debug ones.
  for package in "${packages[@]}"; do
    what=${package##*/}
    [[ $(rpm -qp --qf '%{SOURCERPM} %{PREFIXES}' "$package") == "tesmaron-$version-1.src.rpm (none)" ]] ||
      fail "source package and prefixes: $(rpm -qp --qf '%{SOURCERPM} %{PREFIXES}' "$package")"
    licences=$(rpm -qp --qf '[%{FILEFLAGS:fflags} %{FILENAMES}\n]' "$package" | grep -c '^l.* /usr/share/licenses/.*/LICENSE$' || true)
    [[ $licences -eq $([[ $package == *-debuginfo-* ]] && echo 0 || echo 1) ]] || fail "$licences files tagged %license"
  done
  what=
  # Scriptlets for the units (%systemd_post, _preun, _postun) and ldconfig.
  [[ $(rpm -qp --scripts "${packages[@]}" | grep -cE '^(postinstall|preuninstall|postuninstall) ') -eq 5 ]] ||
    fail "scriptlets: $(rpm -qp --scripts "${packages[@]}")"
  findings=$(rpmlint -r "$source_dir/cmake/rpmlintrc" "${packages[@]}" 2>&1 | grep -E ': E: ' || true)
  [[ -z $findings ]] || fail "rpmlint:
$findings"
  ;;
esac

# On an RPM system CMake looks in lib64 by itself; CMake on Debian does not.
cmake -S "$source_dir/examples" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  ${toolchain:+-DCMAKE_TOOLCHAIN_FILE=$source_dir/cmake/$toolchain.cmake} -DCMAKE_PREFIX_PATH="$root" \
  $([[ $kind == rpm ]] && echo "-Dtesmaron_DIR=$root/lib64/cmake/tesmaron") >/dev/null
cmake --build "$work/build" >/dev/null

if [[ $kind == deb || $kind == rpm ]]; then
  # Run from the unpacked tree: the loader finds the library, the attach runs.
  export LD_LIBRARY_PATH=$root/$lib
  "$work/build/list-ports" >/dev/null || fail "the example did not run"
  [[ $("$root/bin/tesmaron-ports" --version) == "tesmaron-ports $version" ]] || fail "tesmaron-ports --version"
  for program in "$root/bin/tesmaron-ports" "$root"/{../,}lib/udev/tesmaron_port_id; do
    [[ ! -e $program ]] || ! readelf -d "$program" | grep -qE 'RPATH|RUNPATH' || fail "$program has a RUNPATH"
  done
  # udev's program, loaded once per interface at boot, loads the library
  # and the C library only: no C++ runtime.
  needed=$(readelf -d "$root"/{../,}lib/udev/tesmaron_port_id 2>/dev/null | grep -o 'NEEDED.*' | xargs || true)
  [[ $needed == "NEEDED) Shared library: [libtesmaron.so.1] NEEDED) Shared library: [libc.so.6]" ]] ||
    fail "udev's program loads more: $needed"
  # The debug symbols of each binary, where a debugger looks for them by
  # the binary's build ID.
  for binary in "$root/$lib/libtesmaron.so.$version" "$root/bin/tesmaron-ports" "$root"/../lib/udev/tesmaron_port_id \
    "$root"/lib/udev/tesmaron_port_id; do
    [[ -e $binary ]] || continue
    id=$(readelf --notes "$binary" | sed -n 's/.*Build ID: \([0-9a-f]*\)/\1/p')
    [[ -n $id && -f $root/lib/debug/.build-id/${id:0:2}/${id:2}.debug ]] || fail "no debug symbols for $binary (ID $id)"
  done
  # The textfile folder the distribution's node exporter reads, in the one
  # drop-in that names it.
  [[ $kind == rpm ]] && textfile=/var/lib/node_exporter/textfile_collector || textfile=/var/lib/prometheus/node-exporter
  grep -qx "Environment=TESMARON_TEXTFILE_DIR=$textfile" \
    "$root/lib/systemd/system/tesmaron-ports-textfile.service.d/textfile-folder.conf" || fail "the textfile folder is not $textfile"
  export PKG_CONFIG_PATH=$root/$lib/pkgconfig
  [[ $(pkg-config --modversion tesmaron) == "$version" ]] || fail "pkg-config: wrong version"
  # Installed, it names no system folder; on an RPM system /usr/lib64 is one.
  [[ $kind == rpm ]] && export PKG_CONFIG_SYSTEM_LIBRARY_PATH=/usr/lib64
  [[ -z $(pkg-config --cflags tesmaron | tr -d ' ') && $(pkg-config --libs tesmaron | tr -d ' ') == -ltesmaron ]] ||
    fail "pkg-config --cflags --libs: $(pkg-config --cflags --libs tesmaron)"
  # shellcheck disable=SC2046
  cc -std=c99 -Wall -Wextra -Werror -o "$work/list-ports-pc" "$source_dir/examples/list_ports.c" \
    $(PKG_CONFIG_SYSROOT_DIR=$work/root PKG_CONFIG_ALLOW_SYSTEM_CFLAGS=1 PKG_CONFIG_ALLOW_SYSTEM_LIBS=1 \
      pkg-config --cflags --libs tesmaron)
  "$work/list-ports-pc" >/dev/null || fail "the example built through pkg-config did not run"

  # The manual: groff has nothing to say of it, and it names exactly the
  # options --help names.
  manual=$root/share/man/man1/tesmaron-ports.1.gz
  warnings=$(man --warnings -l "$manual" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "man --warnings: $warnings"
  in_help=$("$root/bin/tesmaron-ports" --help | grep -oE '^  -[^ ]+(, --[^ ]+)?' | tr -d ',' | words)
  in_manual=$(MANWIDTH=120 man -l "$manual" 2>/dev/null | col -b | sed -n '/^OPTIONS/,/^EXIT STATUS/p' |
    grep -oE '^       -[^ ]+(, --[^ ]+)?' | tr -d ',' | words)
  [[ -n $in_help && $in_help == "$in_manual" ]] || fail "--help names: $in_help
the manual names: $in_manual"

  # The units as systemd reads them, with the tool and its manual where they
  # point: systemd-analyze verify must have nothing to say.
  if unshare -m --propagation private true 2>/dev/null; then
    units=$root/lib/systemd/system
    verified=$(unshare -m --propagation private sh -c 'mount -t overlay overlay -o "lowerdir=$1:/usr/bin" /usr/bin &&
      MANPATH="$2:" systemd-analyze verify "$3/tesmaron-ports-textfile.service" "$3/tesmaron-ports-textfile.timer"' \
      verify "$root/bin" "$root/share/man" "$units" 2>&1)
    [[ -z $verified ]] || fail "systemd-analyze verify: $verified"
  fi
elif [[ $kind == x64 ]]; then
  mkdir -p "$out"
  cp "$work/build/list-ports.exe" "$out/"
fi
echo "$(printf '%s ' "${packages[@]##*/}"): hold the expected files; the example builds against them"
