#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows Installer packages as an administrator deploys them, under
# Wine 64 in a fresh prefix: silent install, the files, a new cmd finding
# tesmaron-ports on PATH, Add/Remove Programs; an upgrade to a higher
# version, a lower one refused, the same one again a repair; INSTALLDIR and
# ADDLOCAL; the x86 package beside the x64 one; uninstall leaving nothing.
#   msi_test.sh SOURCE_DIR X64.msi X86.msi WORK
# The higher version is built here from the x64 build tree. With the
# ScheduledTask feature, the task's definition for where it was installed.
set -uo pipefail
source_dir=$1 x64_msi=$(realpath "$2") x86_msi=$(realpath "$3") work=$4
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
version=$(sed -n '1s/^tesmaron (\([0-9.]*\)).*/\1/p' "$source_dir/CHANGELOG")
failed=0 count=0
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
check() { count=$((count + 1)); "${@:2}" || fail "$1"; }
until_true() { for _ in 1 2 3 4 5; do "$@" && return; sleep 1; done; return 1; }
trap 'wineserver -k 2>/dev/null' EXIT

rm -rf "$work" && mkdir -p "$work/c"
wine wineboot -i >/dev/null 2>&1 && wineserver -w || { echo "no Wine prefix could be made"; exit 1; }
drive=$WINEPREFIX/drive_c
# msiexec's own exit code: wine's is cut to 8 bits (1603 would read 67).
printf '@echo off\r\nmsiexec %%*\r\necho RC=%%ERRORLEVEL%%\r\n' >"$drive/msi.cmd"
msiexec() { wine cmd /c 'C:\msi.cmd' "$@" 2>/dev/null | tr -d '\r' | sed -n 's/^RC=//p'; }
higher=$(echo "$version" | awk -F. '{print $1 "." $2 "." $3 + 1}')
"$source_dir/scripts/windows_packages.sh" x64 "$source_dir/build/x64" "$drive/tesmaron-$higher-x64.msi" "$higher" \
  >/dev/null || { echo "could not build version $higher"; exit 1; }
cp "$x64_msi" "$drive/tesmaron-x64.msi" && cp "$x86_msi" "$drive/tesmaron-x86.msi" &&
  "$source_dir/build/linux/tests/firmware-fixture" "$source_dir/tests/real_boards/real-boards.txt" dump3 "$drive" board-084

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# NAME VALUE of the Add/Remove Programs entries of tesmaron (x64).
entries() { wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | awk '
  /^HKEY/ {key = $0} /DisplayName.*tesmaron \(x64\)/ {keys[key] = 1} {lines[key] = lines[key] "\n" $0}
  END {for (k in keys) print lines[k]}'; }
# A value of them, as they were when ARP was last read (arp=$(entries)).
value() { sed -n "s/^ *$1 *REG_[A-Z]* *//p" <<<"$arp"; }
program=$drive/'Program Files'/tesmaron

check "silent install" [ "$(msiexec /i 'C:\tesmaron-x64.msi' /qn /l*v 'C:\install.log')" == 0 ]
check "the files" [ -f "$program/bin/tesmaron.dll" -a -f "$program/bin/tesmaron-ports.exe" -a \
  -f "$program/include/tesmaron.h" -a -f "$program/lib/tesmaron.lib" -a -f "$program/LICENSE" ]
# A loaded machine's Wine may take a moment to hand a new process the PATH.
on_path() { [ "$(wine cmd /c tesmaron-ports --version 2>/dev/null | tr -d '\r')" == "tesmaron-ports $version" ]; }
check "a new cmd finds tesmaron-ports on PATH" until_true on_path
arp=$(entries)
check "Add/Remove Programs: $(xargs <<<"$arp")" [ "$(value DisplayVersion)|$(value Publisher)|$(value URLInfoAbout)|$(value InstallLocation)" == \
  "$version|tesmaron developers|https://tesmaron.org/|C:\\Program Files\\tesmaron\\" ]
check "the same version again is a repair" [ "$(msiexec /i 'C:\tesmaron-x64.msi' /qn)" == 0 ]
arp=$(entries)
check "one entry in Add/Remove Programs" [ "$(value DisplayVersion | wc -l)" == 1 ]
check "upgrade to $higher" [ "$(msiexec /i "C:\\tesmaron-$higher-x64.msi" /qn)" == 0 ]
arp=$(entries)
check "one entry, $higher: $(value DisplayVersion | xargs)" [ "$(value DisplayVersion | xargs)" == "$higher" ]
check "the lower $version refused" [ "$(msiexec /i 'C:\tesmaron-x64.msi' /qn)" == 1603 ]
check "uninstall" [ "$(msiexec /x "C:\\tesmaron-$higher-x64.msi" /qn)" == 0 ]

# Nothing left of it: files, folders, registry values, the PATH element.
nothing_left() {
  [[ ! -e $program && ! -e "$drive/Program Files (x86)/tesmaron" && ! -e $drive/tools/tesmaron ]] &&
    [[ -z $(entries) ]] && ! wine reg query 'HKLM\Software\tesmaron' >/dev/null 2>&1 &&
    ! wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v Path 2>/dev/null |
      grep -qi tesmaron
}
check "nothing left after uninstall" nothing_left

check "INSTALLDIR, ADDLOCAL=Runtime,ScheduledTask, TEXTFILE_DIR with a trailing backslash" [ "$(msiexec /i \
  'C:\tesmaron-x64.msi' /qn 'INSTALLDIR=C:\tools\tesmaron' ADDLOCAL=Runtime,ScheduledTask 'TEXTFILE_DIR=C:\metrics\')" == 0 ]
check "installed where asked, the runtime alone" [ -f "$drive/tools/tesmaron/bin/tesmaron.dll" -a \
  ! -e "$drive/tools/tesmaron/include" -a ! -e "$program" ]
# The task registered for the folder the tool is in: its definition, as the
# tool wrote it during the install (Wine's schtasks keeps no task's
# contents); its command run as the task runs it: with no port list here,
# the metrics written and the run a success.
task=$drive/tools/tesmaron/share/tesmaron-ports-textfile.task.xml
field() { xmllint --xpath "string(//*[local-name()='$1'])" "$task" 2>/dev/null; }
check "the task runs $(field Command) $(field Arguments)" [ "$(field Command)|$(field Arguments)" == \
  '"C:\tools\tesmaron\bin\tesmaron-ports.exe"|--prometheus --output "C:\metrics\tesmaron.prom"' ]
check "the folder made, the package's own" [ -f "$drive/metrics/.tesmaron-made" ]
printf '@echo off\r\n%s %s\r\necho RC=%%ERRORLEVEL%%\r\n' "$(field Command)" "$(field Arguments)" >"$drive/task.cmd"
check "the task's command: exit 0, the metrics written" [ "$(wine cmd /c 'C:\task.cmd' 2>/dev/null | tr -d '\r' |
  sed -n 's/^RC=//p')|$(grep -c '^tesmaron_ports 0' "$drive/metrics/tesmaron.prom")" == "0|1" ]
# The tool there, as an administrator runs it: a folder that would change
# the task's command line, or is relative, refused; one in any script
# written whole into the UTF-8 definition; an output folder in any script.
tool() { wine "$drive/tools/tesmaron/bin/tesmaron-ports.exe" "$@" 2>/dev/null; }
tool --scheduled-task 'C:\a" --from-dump "\\evil\share\x' >/dev/null
check "a folder with a quote refused: exit $?" [ $? -eq 2 ]
tool --scheduled-task metrics >/dev/null
check "a relative folder refused: exit $?" [ $? -eq 2 ]
check "a folder in another script: $(tool --scheduled-task 'C:\Données' | xmllint --xpath \
  "string(//*[local-name()='Arguments'])" - 2>&1)" [ "$(tool --scheduled-task 'C:\Données' |
  xmllint --xpath "string(//*[local-name()='Arguments'])" -)" == '--prometheus --output "C:\Données\tesmaron.prom"' ]
mkdir -p "$drive/Метрики"
tool --from-dump 'C:\board-084.dump3' -o 'C:\Метрики\ports.txt' 2>/dev/null
check "an output folder in another script" [ -s "$drive/Метрики/ports.txt" ]
check "no PATH element without its feature" [ -z "$(wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v Path 2>/dev/null | grep -i tesmaron)" ]
# An upgrade not told TEXTFILE_DIR keeps the folder (the features named:
# Wine's installer does not carry them over); removed, the package takes
# its metrics away, and nothing else of the folder.
check "upgrade to $higher, TEXTFILE_DIR not given" [ "$(msiexec /i "C:\\tesmaron-$higher-x64.msi" /qn \
  ADDLOCAL=Runtime,ScheduledTask)" == 0 ]
check "the task's folder remembered: $(field Arguments)" [ "$(field Arguments)" == \
  '--prometheus --output "C:\metrics\tesmaron.prom"' ]
echo "the admin's" >"$drive/metrics/other.prom"
check "uninstall from where it was installed" [ "$(msiexec /x "C:\\tesmaron-$higher-x64.msi" /qn)" == 0 ]
check "nothing left; its metrics gone, the admin's kept: $(ls -A "$drive/metrics" | xargs)" nothing_left
check "the metrics folder, not empty, kept with other.prom" [ "$(ls -A "$drive/metrics" | xargs)" == ".tesmaron-made other.prom" ]

# On 64-bit Windows the task is the x64 package's alone: the x86 one
# offers none.
check "the x86 package, asked for the task" [ "$(msiexec /i 'C:\tesmaron-x86.msi' /qn ADDLOCAL=Runtime,ScheduledTask)" == 0 ]
check "no task of the x86 package" [ ! -e "$drive/Program Files (x86)/tesmaron/share/tesmaron-ports-textfile.task.xml" ]
check "beside the x64 one" [ "$(msiexec /i 'C:\tesmaron-x64.msi' /qn)" == 0 ]
check "both installed" [ -f "$drive/Program Files (x86)/tesmaron/bin/tesmaron.dll" -a -f "$program/bin/tesmaron.dll" ]
check "uninstall both" [ "$(msiexec /x 'C:\tesmaron-x86.msi' /qn)$(msiexec /x 'C:\tesmaron-x64.msi' /qn)" == 00 ]
check "nothing left of either" nothing_left
echo "MSI packages under Wine: $count checks, $failed failed"
[[ $failed -eq 0 ]]
