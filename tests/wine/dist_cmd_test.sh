#!/bin/sh
# install.cmd and uninstall.cmd of the package under 64-bit Wine's cmd, in a
# prefix of their own, from a folder whose name the ANSI code page cannot
# write: per user (keys under HKCU only, naming the folder, all gone after
# uninstall), then with no option, which is machine-wide as Wine runs
# elevated; an example runs from the package in between; and as on ARM64.
# usage: dist_cmd_test.sh DIST_DIR X64_BUILD_DIR EXAMPLES_DIR   (TAVRO_WINEPREFIX set)
set -u
dist=$1 build=$2 examples=$3
here=$(cd "$(dirname "$0")" && pwd)
run="$here/../../cmake/wine-run.sh"
# Wine takes file names as UTF-8 only under a UTF-8 locale; its ANSI code
# page stays 1252 there.
export LC_ALL=C.UTF-8
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
pkg="$top/Тавро 楽器"
mkdir -p "$pkg/x64" "$pkg/examples"
cp "$dist/install.cmd" "$dist/uninstall.cmd" "$pkg/"
cp "$build/TAVRO.OCX" "$build/tavrorun.exe" "$pkg/x64/"
cp "$examples/ports_list.vbs" "$pkg/examples/"
win=$(printf 'Z:%s' "$pkg" | tr / '\\')
sh "$here/../../cmake/wine-prefix.sh"
failures=0
check() { # check WHAT COMMAND...: the command must succeed
  what=$1; shift
  "$@" </dev/null >/dev/null 2>&1 || { echo "FAIL: $what"; failures=$((failures + 1)); }
}
absent() { # absent WHAT KEY
  sh "$run" reg query "$2" </dev/null >/dev/null 2>&1 && { echo "FAIL: $1 ($2 exists)"; failures=$((failures + 1)); }
  return 0
}
user='HKCU\Software\Classes\TAVRO.MidiIOCtrl.1'
machine='HKLM\Software\Classes\TAVRO.MidiIOCtrl.1'

check "install.cmd /user" sh "$run" cmd /c "$win\\install.cmd" /user
check "per-user key written" sh "$run" reg query "$user"
absent "nothing machine-wide" "$machine"
# The server path as written (a .reg export is UTF-16).
sh "$run" reg export 'HKCU\Software\Classes\CLSID\{1829DCFA-252E-4CB0-A342-DC0F55EC296E}' "$(printf 'Z:%s' "$top/user.reg" | tr / '\\')" /y </dev/null >/dev/null 2>&1
iconv -f UTF-16 -t UTF-8 "$top/user.reg" 2>/dev/null | tr -d '\r' | grep -q 'Тавро 楽器\\\\x64\\\\TAVRO.OCX"$' \
  || { echo "FAIL: per-user InprocServer32 does not name the folder"; failures=$((failures + 1)); }
check "uninstall.cmd /user" sh "$run" cmd /c "$win\\uninstall.cmd" /user
absent "per-user keys removed" "$user"
absent "per-user CLSID removed" 'HKCU\Software\Classes\CLSID\{1829DCFA-252E-4CB0-A342-DC0F55EC296E}'

# As on ARM64 Windows: the x64 OCX is skipped with a word, the rest goes on.
out=$(sh "$run" cmd /c set 'PROCESSOR_ARCHITECTURE=ARM64&&' "$win\\install.cmd" /user </dev/null 2>&1)
printf '%s\n' "$out" | grep -q 'x64.TAVRO.OCX skipped' || { printf 'FAIL: ARM64 install: %s\n' "$out"; failures=$((failures + 1)); }
absent "ARM64: no x64 registration" "$user"

check "install.cmd" sh "$run" cmd /c "$win\\install.cmd"
check "machine-wide key written" sh "$run" reg query "$machine"
out=$(sh "$run" "$pkg/x64/tavrorun.exe" //nologo "$win\\examples\\ports_list.vbs" </dev/null 2>&1)
echo "$out" | grep -q "input ports" || { echo "FAIL: example from the package: $out"; failures=$((failures + 1)); }
check "uninstall.cmd" sh "$run" cmd /c "$win\\uninstall.cmd"
absent "machine-wide keys removed" "$machine"
check "bad option refused" sh -c "! sh '$run' cmd /c '$win\\install.cmd' /bogus"
echo "$failures failed"
exit $failures
