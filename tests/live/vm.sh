#!/usr/bin/env bash
# Runs one command inside a small QEMU guest that boots Debian's own kernel,
# so the command meets the real USB core, usbhid, hidraw and sysfs:
#
#   scripts/vm.sh [--timeout SECONDS] COMMAND [ARG...]    (this file's entry point)
#
# The guest sees this machine's root read-only (9p) and the build folder
# read-write at the same path, and starts in the current folder. The
# command's standard output and error are printed when the guest has
# powered off, and its exit status is this script's. The kernel and the
# initramfs are prepared once and kept in build/vm/; nothing keeps running
# afterwards.
source "$(dirname "$0")/../../scripts/lib.sh"
need_packages qemu-system-x86 busybox-static cpio kmod
VM="$ROOT/build/vm"
BUILD="$ROOT/build"
timeout_s=900
if [ "${1:-}" = "--timeout" ]; then timeout_s=$2; shift 2; fi
[ $# -gt 0 ] || { echo "usage: vm.sh [--timeout SECONDS] COMMAND [ARG...]" >&2; exit 2; }

# Modules the guest loads, in an order that satisfies their dependencies
# even without modprobe's help: 9p to reach the host's files, the USB core
# and the USB/IP host controller that the virtual units attach to, and the
# HID drivers that give them hidraw nodes. The generic HID driver leaves a
# vendor with a driver of its own to that driver, which udev would load on
# a desktop; the other HID device of the scenarios has such a vendor ID.
MODULES="virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci netfs fscache 9pnet
9pnet_virtio 9p usb-common usbcore usbip-core vhci-hcd hid hid-generic hid-jabra usbhid"

# The init script and the module list are baked into the initramfs:
# rebuild it when either changes, and for a new kernel.
if ! cmp -s "$ROOT/tests/live/vm_init.sh" "$VM/initramfs/init" ||
  ! echo "$MODULES" | tr ' ' '\n' | cmp -s - "$VM/initramfs/modules"; then
  rm -f "$VM/initramfs.cpio.gz"
fi
mkdir -p "$VM"
if [ ! -f "$VM/vmlinuz" ]; then
  # The kernel package that Debian's metapackage points at today; only
  # unpacked here, never installed on this machine.
  # Without package lists apt-cache fails, which must not end the script.
  pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/{print $2; exit}') || true
  if [ -z "$pkg" ]; then
    [ -n "${VANDREL_APT_UPDATED:-}" ] || as_root apt-get update -qq
    pkg=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/{print $2; exit}')
  fi
  echo "vm: preparing kernel $pkg" >&2
  rm -rf "$VM/kernel" && mkdir -p "$VM/kernel"
  (cd "$VM/kernel" && apt-get download -q "$pkg" >/dev/null 2>&1 && dpkg-deb -x ./*.deb root && rm -f ./*.deb)
  cp "$VM"/kernel/root/boot/vmlinuz-* "$VM/vmlinuz.new"
  rm -rf "$VM/initramfs" "$VM/initramfs.cpio.gz"
fi
if [ ! -f "$VM/initramfs.cpio.gz" ]; then
  ir="$VM/initramfs"
  kver=$(ls "$VM/kernel/root/lib/modules")
  rm -rf "$ir" && mkdir -p "$ir"/{bin,dev,proc,sys,host,lib/modules/"$kver"}
  cp /bin/busybox "$ir/bin/busybox"
  for m in $MODULES; do
    f=$(find "$VM/kernel/root/lib/modules/$kver" -name "$m.ko*" | head -n 1)
    [ -n "$f" ] || { echo "vm: module $m not found in the kernel package" >&2; exit 1; }
    cp "$f" "$ir/lib/modules/$kver/"
  done
  echo "$MODULES" | tr ' ' '\n' >"$ir/modules"
  cp "$ROOT/tests/live/vm_init.sh" "$ir/init"
  chmod +x "$ir/init"
  (cd "$ir" && find . | cpio -o -H newc 2>/dev/null | gzip -1) >"$VM/initramfs.cpio.gz"
  if [ -f "$VM/vmlinuz.new" ]; then mv "$VM/vmlinuz.new" "$VM/vmlinuz"; fi
fi

# Boots the guest on the job folder $1 with accelerator $2, for at most
# $3 seconds; sets status to qemu's exit status.
boot() {
  status=0
  # The kernel hands unknown name=value words of its command line to init
  # as environment variables: that is how the guest learns where its job is.
  timeout --kill-after=10 "$3" qemu-system-x86_64 \
    -accel "$2" -m 2048 -smp 2 -nodefaults -no-user-config -display none -no-reboot \
    -kernel "$VM/vmlinuz" -initrd "$VM/initramfs.cpio.gz" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 vandrel_build=$BUILD vandrel_job=$1" \
    -serial "file:$1/console.log" \
    -virtfs local,path=/,mount_tag=host,readonly=on,multidevs=remap,security_model=none \
    -virtfs "local,path=$BUILD,mount_tag=build,multidevs=remap,security_model=none" \
    </dev/null || status=$?
}

new_job() {
  local job
  job=$(mktemp -d "$BUILD/vm/job.XXXXXX")
  printf 'cd %q || exit 125\nexec%s\n' "$PWD" "$(printf ' %q' "$@")" >"$job/command.sh"
  echo "$job"
}

# A /dev/kvm is not always a KVM that can run this guest: under some
# nested hypervisors the guest spins at boot and never reaches init. KVM is
# used only once a guest has run a command on it, a check made once per
# build folder; otherwise QEMU emulates the CPU.
if [ ! -f "$VM/accel" ]; then
  accel=tcg,thread=multi
  if [ -w /dev/kvm ]; then
    probe=$(new_job true)
    boot "$probe" kvm 30 2>/dev/null
    [ -f "$probe/status" ] && accel=kvm
    rm -rf "$probe"
  fi
  echo "$accel" >"$VM/accel"
fi
accel=$(cat "$VM/accel")

job=$(new_job "$@")
trap 'rm -rf "$job"' EXIT
boot "$job" "$accel" "$timeout_s"
[ -f "$job/stdout" ] && cat "$job/stdout"
[ -f "$job/stderr" ] && cat "$job/stderr" >&2
if [ ! -f "$job/status" ]; then
  # timeout(1) exits 124 when the limit is reached, 137 when it had to kill.
  if [ "$status" = 124 ] || [ "$status" = 137 ]; then
    echo "vm: the guest did not finish within $timeout_s s and was stopped (accelerator $accel); its console:" >&2
  else
    echo "vm: the guest ended without running the command (qemu exit $status, accelerator $accel); its console:" >&2
  fi
  tail -n 40 "$job/console.log" >&2
  exit 124
fi
exit "$(cat "$job/status")"
