#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds consumer.c as a Visual Studio user would, for the MSVC ABI with
# clang and lld-link, against the shipped header and tesmaron.lib, and reads
# the program's import table back.
#   msvc_consumer.sh SOURCE_DIR DIST_DIR x86|x64 OUT_DIR
set -euo pipefail
source_dir=$1 dist=$2 arch=$3 out=$4
here=$source_dir/tests/msvc
mkdir -p "$out"
cd "$out"

case $arch in
# Win32 as Visual Studio links it: /SAFESEH. /Gz makes __stdcall the default,
# so only the header's own __cdecl gets the calls to the DLL right.
x86) target=i686-pc-windows-msvc machine=i386 compile=(/Gz) link=(/safeseh) def_filter=(cat) ;;
x64) target=x86_64-pc-windows-msvc machine=i386:x86-64 compile=() link=() def_filter=(sed 's/@[0-9]*$//') ;;
*) echo "unknown architecture $arch" >&2; exit 2 ;;
esac

"${def_filter[@]}" "$here/kernel32.def" >kernel32.def
llvm-dlltool -m $machine -k -d kernel32.def -l kernel32.lib

# The header in the MSVC dialect, as C and as C++, warnings as errors.
for lang in c cpp; do
  flag=/TC; [[ $lang == cpp ]] && flag=/TP
  clang --driver-mode=cl --target=$target $flag /W4 /WX /GS- "${compile[@]}" /c \
    "/I$dist/include" "/Foconsumer-$lang.obj" -- "$here/consumer.c"
  lld-link "${link[@]}" /nologo /nodefaultlib /entry:consumer_main /subsystem:console \
    "consumer-$lang.obj" kernel32.lib "$dist/$arch/tesmaron.lib" "/out:consumer-$lang.exe"
done

# tesmaron.dll, both lookups by name, nothing else from it.
imports=$(llvm-readobj --coff-imports consumer-c.exe |
  awk '/Name: /{dll=$2} /Symbol: /{print dll, $2}' | grep '^tesmaron.dll ' | sort | tr '\n' ';')
expected="tesmaron.dll LookupByPCIAddress;tesmaron.dll LookupByPortNumber;"
if [[ $imports != "$expected" ]]; then
  echo "$arch: imports from tesmaron.dll are '$imports', expected '$expected'" >&2
  exit 1
fi
echo "$arch: linked with lld-link ${link[*]} against $dist/$arch/tesmaron.lib; imports $imports"
