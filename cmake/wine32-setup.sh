#!/bin/sh
# Builds, on first use, the i386 Debian 12 chroot in which the 32-bit tests
# run 32-bit Wine: TAVRO_I386_DIR (default /var/cache/tavro/i386) holds the
# chroot (root/) and, where the kernel runs no i386 code, a qemu-i386 10
# binary. Shared by every clone on the machine; takes 6-7 minutes and 1.5 GB
# once. Needs root and the Debian mirror. Later calls only re-register
# qemu with binfmt_misc (lost at reboot) and return at once.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
dir=${TAVRO_I386_DIR:-/var/cache/tavro/i386}
root=$dir/root
qemu=$dir/qemu-i386
if [ "$(id -u)" != 0 ]; then
  echo "the 32-bit tests need root (binfmt_misc, mounts, chroot)" >&2
  exit 1
fi
mkdir -p "$dir"
# One builder at a time; other clones wait here and then find it ready.
exec 9>"$dir/.lock"
flock 9

mirror=${TAVRO_DEBIAN_MIRROR:-$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)}
[ -n "$mirror" ] || mirror=$(awk '/^deb / {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian
export DEBIAN_FRONTEND=noninteractive

need=""
command -v debootstrap >/dev/null || need="$need debootstrap"
command -v arch-test >/dev/null || need="$need arch-test"
[ -z "$need" ] || apt-get install -y --no-install-recommends $need

# This kernel may have 32-bit emulation switched off. Debian 12's qemu 7.2
# takes ~50 s per Wine process start and crashes in wineboot, so qemu-user
# from bookworm-backports is fetched with a private apt state and only
# unpacked: the host's apt configuration stays as it is.
if ! arch-test -n i386 >/dev/null 2>&1 && [ ! -x "$qemu" ]; then
  echo "fetching qemu-i386 from bookworm-backports"
  a=$(mktemp -d "$dir/apt.XXXXXX")
  mkdir -p "$a/lists/partial" "$a/cache/archives/partial" "$a/x"
  echo "deb $mirror bookworm-backports main" > "$a/sources.list"
  o="-o Dir::Etc::sourcelist=$a/sources.list -o Dir::Etc::sourceparts=- -o Dir::State::Lists=$a/lists
     -o Dir::Cache=$a/cache -o APT::Architectures=amd64 -o APT::Sandbox::User=root"
  apt-get $o update >/dev/null
  (cd "$a" && apt-get $o download qemu-user >/dev/null)
  dpkg-deb -x "$a"/qemu-user_*_amd64.deb "$a/x"
  cp "$a/x/usr/bin/qemu-i386" "$qemu.new" && mv "$qemu.new" "$qemu"
  rm -rf "$a"
  "$qemu" --version | head -n 1
fi
[ -x "$qemu" ] && sh "$here/i386-binfmt.sh" "$qemu"

[ -f "$root/.tavro-ready" ] && exit 0

t0=$(date +%s)
echo "building the i386 chroot with 32-bit Wine in $root (once per machine: 6-7 minutes, 1.5 GB)"
rm -rf "$root"
debootstrap --arch=i386 --variant=minbase bookworm "$root" "$mirror" >"$dir/debootstrap.log" 2>&1 \
  || { tail -n 20 "$dir/debootstrap.log"; exit 1; }
# Only bookworm and bookworm-updates: one consistent i386 index (the
# security index for i386 was seen out of sync with its packages).
printf 'deb %s bookworm main\ndeb %s bookworm-updates main\n' "$mirror" "$mirror" > "$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# The mounts live in a private mount namespace and vanish with it.
unshare -m --propagation private sh -eu -c '
  root=$1
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount --rbind /dev "$root/dev"
  chroot "$root" apt-get update
  # Wine 8.0 from bookworm: the same version as the host Wine.
  chroot "$root" apt-get install -y --no-install-recommends wine wine32
  chroot "$root" apt-get clean
' sh "$root" >"$dir/install.log" 2>&1 || { tail -n 20 "$dir/install.log"; exit 1; }
touch "$root/.tavro-ready"
echo "i386 chroot ready in $(( $(date +%s) - t0 )) s: $(du -shx "$dir" | cut -f1)"
