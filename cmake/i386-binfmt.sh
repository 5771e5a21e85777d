#!/bin/sh
# Lets this kernel run i386 programs: natively when it can, otherwise through
# qemu-i386 user emulation registered with binfmt_misc (flags F: the
# interpreter is opened now, so a chroot needs no copy of it; P: argv[0] is
# kept). Idempotent, needs root; the registration does not survive a reboot.
# usage: i386-binfmt.sh QEMU_I386_BINARY
set -eu
qemu=$1
arch-test -n i386 >/dev/null 2>&1 && exit 0
reg=/proc/sys/fs/binfmt_misc
mountpoint -q $reg || mount -t binfmt_misc binfmt_misc $reg
if [ -e $reg/qemu-i386 ]; then
  grep -qx "interpreter $qemu" $reg/qemu-i386 && exit 0
  echo -1 > $reg/qemu-i386
fi
# i386 ELF executables and shared objects (e_type 2 or 3, e_machine 3).
printf '%s' ":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:FP" \
  > $reg/register
arch-test i386 >/dev/null
