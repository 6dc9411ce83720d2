#!/usr/bin/env bash
# Boots Debian's kernel under qemu (software emulation: no KVM needed) with a tiny busybox
# initramfs that loads evdev and uinput and runs one static test program; passes when the
# program prints "VM-RESULT: PASS". PLAN, when given, is put at /plan in the guest.
#   tests/vm/run_vm.sh PROGRAM WORKDIR [PLAN]
# Needs qemu-system-x86, busybox-static and linux-image-amd64 (tools/bootstrap.sh vm); exits 77
# (skipped) when one is missing.
set -euo pipefail
program=$1 work=$2 plan=${3:-}
skip() { echo "vm test skipped: $*"; exit 77; }

qemu=$(command -v qemu-system-x86_64 || true)
[ -n "$qemu" ] || skip "qemu-system-x86_64 not installed"
busybox=""
for b in /bin/busybox /usr/bin/busybox; do
  if [ -x "$b" ] && ! ldd "$b" >/dev/null 2>&1; then busybox=$b; break; fi
done
[ -n "$busybox" ] || skip "no static busybox (busybox-static)"
kernel="" version=""
for k in $(ls -1 /boot/vmlinuz-* 2>/dev/null | sort -V -r); do
  v=${k#/boot/vmlinuz-}
  if [ -r "$k" ] && [ -d "/lib/modules/$v" ]; then kernel=$k version=$v; break; fi
done
[ -n "$kernel" ] || skip "no readable /boot/vmlinuz-* with its modules (linux-image-amd64)"

rm -rf "$work/root"
mkdir -p "$work/root"/{bin,dev,proc,sys,lib/modules}
root=$work/root
cp "$busybox" "$root/bin/busybox"
cp "$program" "$root/check"
[ -z "$plan" ] || cp "$plan" "$root/plan"
# The modules as plain .ko files, whatever compression the package uses.
for m in drivers/input/evdev drivers/input/misc/uinput; do
  src=$(ls "/lib/modules/$version/kernel/$m".ko* 2>/dev/null | head -1)
  [ -n "$src" ] || skip "$m not among the modules of $version"
  case $src in
    *.xz) xz -dc "$src" >"$root/lib/modules/$(basename "$m").ko" ;;
    *.zst) zstd -dcq "$src" >"$root/lib/modules/$(basename "$m").ko" ;;
    *.gz) gzip -dc "$src" >"$root/lib/modules/$(basename "$m").ko" ;;
    *) cp "$src" "$root/lib/modules/$(basename "$m").ko" ;;
  esac
done
cat >"$root/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox mount -t devtmpfs dev /dev
/bin/busybox mount -t proc proc /proc
/bin/busybox mount -t sysfs sys /sys
/bin/busybox insmod /lib/modules/evdev.ko
/bin/busybox insmod /lib/modules/uinput.ko
/check
echo "VM-EXIT: $?"
/bin/busybox poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz"

bios=()
# qboot skips SeaBIOS's slow start when it is there.
[ -r /usr/share/qemu/qboot.rom ] && bios=(-bios /usr/share/qemu/qboot.rom)
echo "booting $kernel under $("$qemu" --version | head -1)"
start=$(date +%s)
status=0
timeout 900 "$qemu" -machine pc,accel=tcg "${bios[@]}" -m 256 -smp 1 -nic none -nographic \
  -no-reboot -kernel "$kernel" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1 rdinit=/init" </dev/null >"$work/console.log" 2>&1 ||
  status=$?
echo "qemu exited with $status after $(($(date +%s) - start)) s"
# The guest's console, without the terminal control sequences of the firmware.
sed -e 's/\x1b\[[0-9;?]*[a-zA-Z]//g' -e 's/\r$//' "$work/console.log" | grep -v '^\s*$' | tail -40
grep -q '^VM-RESULT: PASS' <(tr -d '\r' <"$work/console.log")
