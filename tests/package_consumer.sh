#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The release packages of one kind, checked as their users meet them: the
# Windows zips unpacked, with exactly the files they should hold; the Linux
# packages through their distribution's own checks (lintian on the whole
# upload, rpmlint), through an administrator's install, enable, remove,
# install again and purge in a scratch root, maintainer scripts and all; and
# for every kind the example built against the package as a user would
# (find_package(tesmaron CONFIG), and on Linux also pkg-config).
#   package_consumer.sh SOURCE_DIR DIST_DIR OUT_DIR PACKAGE...
# PACKAGE is one Windows zip, or the Debian packages (the .changes first), or
# the RPMs, the debug ones included. The win64 example is left in OUT_DIR,
# for its run under Wine.
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
cmake_files="cmake/tesmaron/tesmaronConfig.cmake cmake/tesmaron/tesmaronConfigVersion.cmake
  cmake/tesmaron/tesmaronTargets-release.cmake cmake/tesmaron/tesmaronTargets.cmake"
# What a zip holds (in its one top folder, named as the zip) and an MSI
# installs, every file, paths from the top: nothing else checks it.
expected_files() {
  echo "LICENSE README.md bin/tesmaron-ports.exe bin/tesmaron.dll include/tesmaron.h
    $(sed 's|cmake/|lib/cmake/|g' <<<"$cmake_files") lib/libtesmaron.dll.a lib/tesmaron.def lib/tesmaron.lib
    share/tesmaron-ports-textfile.xml share/tesmaron-ports.rules.yml"
}

# What find_package gives a Visual Studio user (clang-cl stands in for cl)
# and a MinGW one, from the tree at $1: tesmaron.lib, libtesmaron.dll.a.
import_libraries() {
  local tree=$1 target got
  [[ $kind == x86 ]] && target=i686 || target=x86_64
  got=$(cmake -S "$source_dir/tests/msvc/read_back" -B "$work/clang-cl" -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER=clang-cl-14 -DCMAKE_C_COMPILER_TARGET=$target-pc-windows-msvc -DCMAKE_C_COMPILER_WORKS=ON \
    -DCMAKE_PREFIX_PATH="$tree" | sed -n 's/^-- import library: //p')
  [[ $got == "$tree/lib/tesmaron.lib" ]] || fail "find_package gives clang-cl $got"
  got=$(cmake -S "$source_dir/tests/msvc/read_back" -B "$work/mingw" \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/$toolchain.cmake" -DCMAKE_PREFIX_PATH="$tree" |
    sed -n 's/^-- import library: //p')
  [[ $got == "$tree/lib/libtesmaron.dll.a" ]] || fail "find_package gives MinGW $got"
}

words() { tr -s ' \n' '\n' | sed '/^$/d' | sort | tr '\n' ' '; }

# An administrator's life with the tools, maintainer scripts and all, in the
# scratch root ROOT whose node exporter reads TEXTFILE: installed, the timer
# is not enabled, and the admin can enable it; removed, its metrics go;
# installed again, the admin can enable it again; with metrics written in
# the folders the admin's drop-ins name, purged (erased, for RPM), nothing
# of the tools is left: no unit, no link of the timer, no memory of it, no
# metrics file, and nothing else removed. install_tools, remove_tools and
# purge_tools say how, for the kind.
timer=tesmaron-ports-textfile.timer
admin_cycle() {
  local root=$1 prom=$1$2/tesmaron.prom left
  enable_timer() {
    systemctl --root="$root" enable $timer >/dev/null 2>&1 ||
      fail "the timer cannot be enabled $1: $(systemctl --root="$root" enable $timer 2>&1)"
  }
  install_tools
  [[ ! -e $root/etc/systemd/system/timers.target.wants/$timer ]] || fail "installing enabled the timer"
  enable_timer "once installed"
  mkdir -p "${prom%/*}" && echo "tesmaron_ports 4" >"$prom"
  remove_tools
  [[ ! -e $prom ]] || fail "removed, it left $prom"
  install_tools
  enable_timer "after remove and install"
  # The admin moved the textfile folder with a drop-in, as the README shows,
  # the folder quoted; what only looks like it names no folder: another
  # variable, a glob, a path out of the root.
  local drop_in=$root/etc/systemd/system/tesmaron-ports-textfile.service.d folder
  mkdir -p "$drop_in" "$outside" && echo "tesmaron_ports 4" >"$outside/tesmaron.prom"
  for folder in "my metrics" my a other; do
    mkdir -p "$root/srv/$folder" && echo "tesmaron_ports 4" >"$root/srv/$folder/tesmaron.prom"
  done
  echo "the admin's" >"$root/srv/my metrics/other.prom"
  printf '[Service]\nEnvironment="TESMARON_TEXTFILE_DIR=/srv/my metrics" OLD_TESMARON_TEXTFILE_DIR=/srv/other\n' \
    >"$drop_in/textfile-folder.conf"
  printf '[Service]\nEnvironment=TESMARON_TEXTFILE_DIR=/srv/[a] TESMARON_TEXTFILE_DIR=/../../..%s\n' "$outside" \
    >"$drop_in/more.conf"
  purge_tools
  local left_there LC_ALL=C
  left_there=$(cd "$root/srv" && printf '%s,' */* && cd "$outside" && printf '%s' *)
  [[ $left_there == "a/tesmaron.prom,my metrics/other.prom,my/tesmaron.prom,other/tesmaron.prom,tesmaron.prom" &&
    -f $drop_in/textfile-folder.conf ]] || fail "purged, the drop-ins' folders hold $left_there, the drop-ins: $(ls "$drop_in")"
  rm -r "$drop_in" "$root/srv"
  left=$(find "$root"/{etc,var/lib,lib,usr/lib}/systemd "$prom" -name '*tesmaron*' 2>/dev/null || true)
  [[ -z $left ]] || fail "purged, it left: $left"
}

# What an MSI says that Wine's msiexec does not show (tests/wine/msi_test.sh
# installs, upgrades and removes them): the four features, the runtime not
# to be left out, the scheduled task only when asked for; the reason a lower version is refused; the tool's version
# resource; the scheduled task's definition.
table_of() { msiinfo export "$1" "$2" | tr -d '\r'; }  # its lines end in CR LF
msi_tables() {
  local table
  table=$(table_of "$1" Feature | tail -n +4 | cut -f1,6,8 | sort | xargs)
  [[ $table == "Development 1 0 Path 1 0 Runtime 1 16 ScheduledTask 1000 0" ]] ||
    fail "features (name, level, attributes): $table"
  # The tool's version resource, read by inventory tools and by Windows
  # Installer's file versioning.
  local windres=x86_64-w64-mingw32-windres
  [[ $kind == x86 ]] && windres=i686-w64-mingw32-windres
  table=$($windres -i "$root/bin/tesmaron-ports.exe" -O rc | grep -E 'VERSION|"File')
  grep -q "FILEVERSION $(sed 's/\./, /g' <<<"$version"), 0" <<<"$table" &&
    grep -q "VALUE \"FileVersion\", \"$version.0\"" <<<"$table" || fail "the tool's version resource: $table"
  # The scheduled task's definition, as schtasks would register it: SYSTEM,
  # at start-up and hourly, the installed tool writing windows_exporter's
  # folder. (Wine's schtasks stores no task's contents, so it is read here.)
  local task=$root/share/tesmaron-ports-textfile.xml field
  for field in "UserId=S-1-5-18" "count(BootTrigger)=1" "Interval=PT1H" \
    "Command=\"%ProgramFiles%\\tesmaron\\bin\\tesmaron-ports.exe\"" \
    "Arguments=--prometheus --output \"%ProgramFiles%\\windows_exporter\\textfile_inputs\\tesmaron.prom\""; do
    [[ ${field%%=*} == count* ]] && table="count(//*[local-name()='BootTrigger'])" ||
      table="string(//*[local-name()='${field%%=*}'])"
    [[ $(xmllint --xpath "$table" "$task") == "${field#*=}" ]] || fail "the task's ${field%%=*}: $(xmllint --xpath "$table" "$task")"
  done
  table_of "$1" LaunchCondition | grep -q $'^NOT WIX_DOWNGRADE_DETECTED\tA later version of tesmaron' ||
    fail "a lower version is not refused with a reason"
  # What Wine does not enforce: the install folder kept as Program Files is,
  # only administrators and SYSTEM may change it, wherever INSTALLDIR puts
  # it (the task runs its tool as SYSTEM).
  table_of "$1" MsiLockPermissionsEx | grep -q $'^InstallDirPermissions\tINSTALLDIR\tCreateFolder\tO:BAG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)' ||
    fail "the install folder's permissions: $(table_of "$1" MsiLockPermissionsEx | tail -n 1)"
}

root=$work/root outside=$work/outside
mkdir -p "$root"
case ${packages[0]} in
*-win32.zip | *-x86.msi) kind=x86 toolchain=mingw-x86 ;;
*-win64.zip | *-x64.msi) kind=x64 toolchain=mingw-x64 ;;
*.changes) kind=deb toolchain= lib=lib/x86_64-linux-gnu ;;
*.rpm) kind=rpm toolchain= lib=lib64 ;;
esac

case $kind in
x86 | x64)
  what=${packages[0]##*/}
  if [[ ${packages[0]} == *.msi ]]; then
    # msiextract names ProgramFilesFolder, not ProgramFiles64Folder.
    got=$(msiextract -C "$root" "${packages[0]}" | sed 's|^\(Program Files/\)\{0,1\}tesmaron/||' | words)
    root=$(dirname "$(find "$root" -path '*/tesmaron/bin' -type d)")
    msi_tables "${packages[0]}"
    # One release, one package: built again, the same bytes.
    "$source_dir/scripts/windows_packages.sh" "$kind" "$source_dir/build/$kind" "$work/again.msi" >/dev/null &&
      cmp -s "${packages[0]}" "$work/again.msi" || fail "built again, it is another package"
  else
    top=$(basename "${packages[0]}" .zip)
    got=$(cmake -E tar tf "${packages[0]}" | grep -v '/$' | sed "s|^$top/||" | words)
    (cd "$root" && cmake -E tar xf "${packages[0]}")
    root=$root/$top
  fi
  [[ $got == "$(expected_files | words)" ]] || fail "holds: $got
expected: $(expected_files | words)"
  cmp "$root/bin/tesmaron.dll" "$dist/$kind/tesmaron.dll" || fail "its tesmaron.dll is not dist's"
  import_libraries "$root"
  what=
  ;;
deb)
  # The upload as a sponsor checks it: no lintian error or warning on the
  # source and the binaries, not even a pedantic one.
  findings=$(lintian --pedantic "${packages[0]}" 2>&1 | grep -E '^[EW]:' || true)
  [[ -z $findings ]] || fail "lintian:
$findings"
  debs=("${packages[@]:1}")
  deb() { printf '%s\n' "${debs[@]}" | grep "/$1_"; }
  # What no other check would see: the library and its development files
  # install for several architectures side by side; the tools' dependency
  # on the library is computed, from the first version with its functions.
  for name in libtesmaron1 libtesmaron-dev; do
    [[ $(dpkg-deb -f "$(deb $name)" Multi-Arch) == same ]] || fail "$name is not Multi-Arch: same"
  done
  [[ $(dpkg-deb -f "$(deb tesmaron-tools)" Depends) == *"libtesmaron1 (>= 1.0.0)"* ]] ||
    fail "tesmaron-tools depends: $(dpkg-deb -f "$(deb tesmaron-tools)" Depends)"
  [[ $(dpkg-deb -f "$(deb tesmaron-tools)" Suggests) == *prometheus-node-exporter* ]] ||
    fail "tesmaron-tools does not suggest the node exporter"
  scratch=$work/scratch
  mkdir -p "$scratch/var/lib/dpkg/info" "$scratch/var/lib/dpkg/updates" && touch "$scratch/var/lib/dpkg/status"
  in_scratch() {
    dpkg --root="$scratch" --force-script-chrootless --force-depends --log=/dev/null "$@" >"$work/dpkg.log" 2>&1 ||
      fail "dpkg $*: $(cat "$work/dpkg.log")"
  }
  install_tools() { in_scratch -i "$(deb libtesmaron1)" "$(deb tesmaron-tools)"; }
  remove_tools() { in_scratch -r tesmaron-tools; }
  purge_tools() { in_scratch -P tesmaron-tools; }
  admin_cycle "$scratch" /var/lib/prometheus/node-exporter
  for package in "${debs[@]}"; do dpkg-deb -x "$package" "$root"; done
  root=$root/usr
  ;;
rpm)
  findings=$(rpmlint -r "$source_dir/cmake/rpmlintrc" "${packages[@]}" 2>&1 | grep -E ': E: ' || true)
  [[ -z $findings ]] || fail "rpmlint:
$findings"
  binaries=()
  for package in "${packages[@]}"; do [[ $package == *.src.rpm ]] || binaries+=("$package"); done
  # Dependencies computed from the objects and the pkg-config file.
  requires=$(rpm -qp --requires "${binaries[@]}") provides=$(rpm -qp --provides "${binaries[@]}")
  grep -qx 'libtesmaron.so.1()(64bit)' <<<"$provides" || fail "nothing provides libtesmaron.so.1()(64bit)"
  grep -qx 'libtesmaron.so.1()(64bit)' <<<"$requires" || fail "the tool does not require libtesmaron.so.1()(64bit)"
  grep -qx "pkgconfig(tesmaron) = $version" <<<"$provides" || fail "nothing provides pkgconfig(tesmaron) = $version"
  rpm_of() { printf '%s\n' "${binaries[@]}" | grep "/$1-$version-"; }
  # The scriptlets run as rpm runs them, chrooted into the scratch root: an
  # overlay over this machine's own / in a private mount namespace, so that
  # they find a shell, systemctl and ldconfig; with Fedora's preset policy,
  # which enables nothing it does not name.
  cycle=$work/cycle
  mkdir -p "$cycle/upper/usr/lib/systemd/system-preset" "$cycle/work" "$cycle/root"
  echo "disable *" >"$cycle/upper/usr/lib/systemd/system-preset/99-default-disable.preset"
  install_tools() { rpm -i --root "$cycle/root" --nodeps "$(rpm_of tesmaron-libs)" "$(rpm_of tesmaron)" 2>/dev/null ||
    fail "rpm could not install them"; }
  remove_tools() { rpm -e --root "$cycle/root" --nodeps tesmaron tesmaron-libs 2>/dev/null || fail "rpm could not erase them"; }
  purge_tools() { remove_tools; }
  unshare -m --propagation private "$BASH" -c "set -euo pipefail
    $(declare -f fail admin_cycle install_tools remove_tools purge_tools rpm_of)
    $(declare -p timer packages binaries version cycle outside)
    mount -t overlay overlay -o lowerdir=/,upperdir=\$cycle/upper,workdir=\$cycle/work \$cycle/root
    mountpoint -q \$cycle/root
    rpm --root \$cycle/root --initdb
    admin_cycle \$cycle/root /var/lib/node_exporter/textfile_collector" || exit 1
  # Installed as rpm installs them, into a scratch root of its own, for the
  # checks below.
  rpm --root "$root" --initdb
  rpm -i --root "$root" --nodeps --noscripts "${binaries[@]}" 2>/dev/null || fail "rpm could not install them"
  root=$root/usr
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
  units=$root/lib/systemd/system
  [[ -d $units ]] || units=$root/../lib/systemd/system  # Debian 12's folder
  grep -qx "Environment=TESMARON_TEXTFILE_DIR=$textfile" \
    "$units/tesmaron-ports-textfile.service.d/textfile-folder.conf" || fail "the textfile folder is not $textfile"
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

  # The manuals: groff has nothing to say of them; the tool's names exactly
  # the options --help names, udev's program's gives the usage it gives.
  manual=$(ls "$root"/share/man/man1/tesmaron-ports.1*) port_id_manual=$(ls "$root"/share/man/man8/tesmaron_port_id.8*)
  warnings=$(man --warnings -l "$manual" "$port_id_manual" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "man --warnings: $warnings"
  in_help=$("$root/bin/tesmaron-ports" --help | grep -oE '^ {1,8}-[^ ]+(, --[^ ]+)?' | tr -d ',' | words)
  in_manual=$(MANWIDTH=120 man -l "$manual" 2>/dev/null | col -b | sed -n '/^OPTIONS/,/^EXIT STATUS/p' |
    grep -oE '^ {1,8}-[^ ]+(, --[^ ]+)?' | tr -d ',' | words)
  [[ -n $in_help && $in_help == "$in_manual" ]] || fail "--help names: $in_help
the manual names: $in_manual"
  for port_id in "$root"/{../,}lib/udev/tesmaron_port_id; do [[ -x $port_id ]] && break; done
  usage=$("$port_id" 2>&1 | sed -n 's/^usage: \(tesmaron_port_id [^(]*[^ (]\) *(.*/\1/p' || true)
  synopsis=$(man -l "$port_id_manual" 2>/dev/null | col -b | sed -n '/^SYNOPSIS/{n;p}' | xargs)
  [[ -n $usage && $usage == "$synopsis" ]] || fail "tesmaron_port_id's usage: '$usage'; its manual: '$synopsis'"

  # The units as systemd reads them, with the tool and its manual where they
  # point: systemd-analyze verify must have nothing to say.
  if unshare -m --propagation private true 2>/dev/null; then
    verified=$(unshare -m --propagation private sh -c 'mount -t overlay overlay -o "lowerdir=$1:/usr/bin" /usr/bin &&
      MANPATH="$2:" systemd-analyze verify "$3/tesmaron-ports-textfile.service" "$3/tesmaron-ports-textfile.timer"' \
      verify "$root/bin" "$root/share/man" "$units" 2>&1)
    [[ -z $verified ]] || fail "systemd-analyze verify: $verified"
  fi
elif [[ $kind == x64 ]]; then
  mkdir -p "$out"
  cp "$work/build/list-ports.exe" "$out/"
fi
echo "$(printf '%s ' "${packages[@]##*/}"): checked as their users meet them; the example builds against them"
