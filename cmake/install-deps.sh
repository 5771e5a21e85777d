#!/bin/sh
# Installs the Debian packages the build and the tests need, when missing.
set -e
pkgs="cmake ninja-build make g++ clang libclang-rt-14-dev googletest libgtest-dev
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
      wine wine64 libwine-dev xvfb xauth zip"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
if [ "$(id -u)" != 0 ]; then
  echo "missing packages:$missing (run as root, or install them)" >&2
  exit 1
fi
apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
