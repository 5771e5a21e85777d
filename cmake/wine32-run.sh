#!/bin/sh
# Runs a Windows program under 32-bit Wine in the i386 chroot made by
# wine32-setup.sh, in the project's private 32-bit prefix: the x86
# counterpart of wine-run.sh (CTest's emulator for the x86 build).
#   wine32-run.sh PROGRAM [ARGS...]    wine PROGRAM ARGS
#   wine32-run.sh wineserver [ARGS...] the chroot's wineserver
#   wine32-run.sh --host CMD [ARGS...]  CMD on the host, with the mounts in place
# The clone is bind-mounted at its own path inside the chroot, so paths
# (Z:\... too) are the same inside and out, and so is the working folder;
# so is the host's /tmp, for the X display of xvfb-run and Wine's server
# sockets (a host `wineserver -k` then also stops a 32-bit prefix's server).
# Mounts live in a private mount namespace: made once by run-tests32.sh
# for a whole test run, or here for a single call; they vanish with it.
# Needs root. Exit code: the program's.
here=$(cd "$(dirname "$0")" && pwd -P)
clone=$(cd "$here/.." && pwd -P)
dir=${TAVRO_I386_DIR:-/var/cache/tavro/i386}
root=$dir/root
export WINEPREFIX="${TAVRO_WINEPREFIX:-$clone/build/wineprefix32}"
if [ "${TAVRO_I386_NS:-}" != "$root:$clone" ]; then
  [ -f "$root/.tavro-ready" ] || { echo "no i386 chroot in $root: run cmake/wine32-setup.sh" >&2; exit 125; }
  [ ! -x "$dir/qemu-i386" ] || sh "$here/i386-binfmt.sh" "$dir/qemu-i386" || exit 125
  exec unshare -m --propagation private sh -c '
    root=$1 clone=$2; shift 2
    mount -t proc proc "$root/proc" && mount -t sysfs sysfs "$root/sys" &&
      mount --rbind /dev "$root/dev" && mkdir -p "$root$clone" && mount --bind "$clone" "$root$clone" &&
      mount --bind /tmp "$root/tmp" || exit 125
    TAVRO_I386_NS=$root:$clone exec "$@"' sh "$root" "$clone" "$0" "$@"
fi
case "$1" in
  --host) shift; exec "$@" ;;
  wineserver) shift; set -- /usr/lib/wine/wineserver "$@" ;;
  *) set -- /usr/bin/wine "$@" ;;
esac
exec chroot "$root" /usr/bin/env -C "$(pwd -P)" HOME=/root USER=root \
  WINEPREFIX="$WINEPREFIX" WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-}" \
  ${DISPLAY:+DISPLAY=$DISPLAY} ${XAUTHORITY:+XAUTHORITY=$XAUTHORITY} "$@"
