#!/bin/busybox sh
# The guest's first process: loads the modules, enters the host's root
# (read-only, with the build folder writable and fresh /tmp, /run and
# /root), runs the job's command there and powers the guest off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for m in $(cat /modules); do
  insmod /lib/modules/*/"$m".ko || echo "init: cannot load $m" >/dev/console
done
# The host root does not change while the guest runs: caching its pages
# in the guest spares a round trip to the host for every read.
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=loose,ro host /host
mkdir -p /lower && mount --bind /host /lower
mount --rbind /proc /host/proc
mount --rbind /sys /host/sys
mount --rbind /dev /host/dev
for d in tmp run root; do mount -t tmpfs -o mode=1777 tmpfs "/host/$d"; done
# A checkout in one of those (a clone in /tmp) is hidden by now: it is bound
# back from the host's root as it was, and the build folder goes on top.
checkout=${vandrel_build%/build}
if [ ! -d "/host$checkout" ]; then
  mkdir -p "/host$checkout" && mount --bind "/lower$checkout" "/host$checkout"
fi
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=mmap build "/host$vandrel_build"
mkdir -p /host/dev/shm && mount -t tmpfs tmpfs /host/dev/shm
ip link set lo up
# The guest's own programs: the host's root but with this guest's kernel.
chroot /host /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 TERM=dumb /bin/sh "$vandrel_job/command.sh" >"/host$vandrel_job/stdout" 2>"/host$vandrel_job/stderr"
echo $? >"/host$vandrel_job/status"
sync
umount "/host$vandrel_build"
reboot -f
