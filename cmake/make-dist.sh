#!/bin/sh
# make dist: build/TAVRO.zip, the package for Windows users: both OCX files
# and both tavrorun.exe (x86/, x64/), the examples, README.md, LICENSE,
# docs/reference.md, and install.cmd / uninstall.cmd (with CRLF line ends).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/dist"
stage="$out/TAVRO"
rm -rf "$out" "$root/build/TAVRO.zip"
mkdir -p "$stage/x86" "$stage/x64" "$stage/examples" "$stage/docs"
for arch in x86 x64; do
  cp "$root/build/$arch/TAVRO.OCX" "$root/build/$arch/tavrorun.exe" "$stage/$arch/"
done
cp "$root"/examples/*.vbs "$root"/examples/*.js "$stage/examples/"
cp "$root/README.md" "$root/LICENSE" "$stage/"
cp "$root/docs/reference.md" "$stage/docs/"
for f in install.cmd uninstall.cmd; do
  sed 's/\r*$/\r/' "$root/dist/$f" >"$stage/$f"
done
(cd "$out" && zip -q -r -X "$root/build/TAVRO.zip" TAVRO)
ls -l "$root/build/TAVRO.zip"
