#!/usr/bin/env bash
# Boots the guest (tests/vm/mkinitramfs.sh) under QEMU with emulation only,
# one CPU, and runs the named guest scenarios in that one boot, streaming
# the guest's console. Disks, all sparse files in a temporary folder removed
# at the end: the appliance, a USB disk on the xHCI controller whose SCSI
# strings, USB serial and removable bit are set here; a virtio disk that is
# not on USB; and the disks the guest asks for with "VM-HOTPLUG add NAME" /
# "VM-HOTPLUG del NAME", plugged in and out through QEMU's monitor. A guest
# line "VM-HASH NAME" is answered on the guest's second serial port with the
# BLAKE2b-256 of disk NAME's backing file (appliance, system or a plugged disk),
# read here, outside the guest.
#   tests/vm/run.sh [--timeout SECONDS] [--log FILE] [--appliance-size SIZE] [--set KEY=VALUE]... SCENARIO[,SCENARIO...]
# --set passes orvane.KEY=VALUE to the guest (VM_KEY there). Exit 0 only
# when the guest's last marker line is "VM-RESULT: pass".
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
vm="${ORVANE_VM_DIR:-$here/../../build/vm}"
limit=300
log=""
size=4G
extra=()
while [ $# -gt 1 ]; do
  case "$1" in
    --timeout) limit="$2"; shift 2 ;;
    --log) log="$2"; shift 2 ;;
    --appliance-size) size="$2"; shift 2 ;;
    --set) extra+=("orvane.$2"); shift 2 ;;
    *) break ;;
  esac
done
[ $# -eq 1 ] || { echo "usage: tests/vm/run.sh [--timeout S] [--log FILE] [--appliance-size SIZE] [--set KEY=VALUE]... SCENARIO[,SCENARIO...]" >&2; exit 2; }
scenarios="$1"
for f in "$vm/vmlinuz" "$vm/initramfs.cpio"; do
  [ -f "$f" ] || { echo "run: $f is missing (tests/vm/fetch.sh and tests/vm/mkinitramfs.sh make it)" >&2; exit 1; }
done
command -v qemu-system-x86_64 >/dev/null || { echo "run: qemu-system-x86_64 is not installed" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/orvane-vm-XXXXXX")"
drain=""
cleanup() {
  [ -z "$drain" ] || kill $drain 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
truncate -s "$size" "$work/appliance.img"
truncate -s 1G "$work/system.img"
mkfifo "$work/mon.in" "$work/mon.out" "$work/reply.in" "$work/reply.out"
[ -z "$log" ] || : >"$log"

monitor() {
  printf '%s\n' "$1" >"$work/mon.in"
}

# A plugged disk's USB serial is its name.
hotplug() {
  local what="$1" name="$2"
  case "$name" in *[!A-Za-z0-9]* | "") echo "run: bad hot-plug name '$name'" >&2; return ;; esac
  case "$what" in
    add)
      [ -f "$work/$name.img" ] || truncate -s 1G "$work/$name.img"
      monitor "drive_add 0 if=none,id=drive$name,file=$work/$name.img,format=raw,cache=unsafe"
      monitor "device_add usb-storage,bus=xhci.0,drive=drive$name,id=$name,serial=$name,removable=on"
      ;;
    del) monitor "device_del $name" ;;
    *) echo "run: unknown hot-plug request '$what'" >&2 ;;
  esac
}

# The guest flushes its writes before it asks.
hash_disk() {
  local name="$1" sum="missing"
  case "$name" in *[!A-Za-z0-9]* | "") ;; *) [ -f "$work/$name.img" ] && sum="$(b2sum -l 256 "$work/$name.img" | cut -d' ' -f1)" ;; esac
  printf '%s\n' "$sum" >"$work/reply.in"
}

append="console=ttyS0 quiet loglevel=3 panic=-1 rdinit=/init orvane.scenarios=$scenarios ${extra[*]:-}"
qemu=(qemu-system-x86_64 -machine pc,accel=tcg -cpu max -smp 1 -m 2048
  -nographic -no-reboot -serial stdio -serial "pipe:$work/reply" -monitor none -nic none
  -chardev "pipe,id=mon,path=$work/mon" -mon chardev=mon,mode=readline
  -kernel "$vm/vmlinuz" -initrd "$vm/initramfs.cpio" -append "$append"
  -device qemu-xhci,id=xhci
  -drive "if=none,id=appliance,file=$work/appliance.img,format=raw,cache=unsafe"
  -device usb-bot,bus=xhci.0,port=1,id=appbot,serial=APPL0001
  -device "scsi-hd,bus=appbot.0,drive=appliance,vendor=ORVTEST,product=Appliance Disk,serial=APPL0001,removable=on"
  -drive "if=none,id=system,file=$work/system.img,format=raw,cache=unsafe"
  -device virtio-blk-pci,drive=system,serial=SYSTEM01)

cat "$work/mon.out" >"$work/monitor.log" &
drain=$!
cat "$work/reply.out" >/dev/null &
drain="$drain $!"
start=$(date +%s%3N)
result=""
while IFS= read -r line; do
  line="${line%$'\r'}"
  printf '%s\n' "$line"
  [ -z "$log" ] || printf '%s\n' "$line" >>"$log"
  case "$line" in
    "VM-HOTPLUG "*)
      read -r what name <<<"${line#VM-HOTPLUG }"
      hotplug "$what" "$name"
      ;;
    "VM-HASH "*) hash_disk "${line#VM-HASH }" ;;
    "VM-RESULT: "*) result="${line#VM-RESULT: }" ;;
  esac
done < <(timeout -k 5 "$limit" "${qemu[@]}" </dev/null 2>&1; echo "VM-QEMU-EXIT $?")
# Nothing may write the disk that is not on USB: its file has no blocks.
if [ "$(stat -c %b "$work/system.img")" != 0 ]; then
  echo "run: the disk that is not on USB was written"
  exit 1
fi
seconds="$(awk -v ms=$(($(date +%s%3N) - start)) 'BEGIN { printf "%.1f", ms / 1000 }')"
case "$result" in
  pass) echo "run: $scenarios passed in a boot of $seconds s"; exit 0 ;;
  "") echo "run: the guest gave no result within ${limit} s (boot of $seconds s)"; exit 1 ;;
  *) echo "run: $scenarios: $result (boot of $seconds s)"; exit 1 ;;
esac
