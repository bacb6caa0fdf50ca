#!/usr/bin/env bash
# bench/host_upgrade.sh [RUNS]: orvane upgrade (4 MiB kernel, 32 MiB rootfs)
# on a host disk that is a loop device, behind a USB-shaped sysfs tree with a
# hub answering the restart, against the standard tools on the same loop
# device: cksum of the image, dd oflag=dsync from the image straight to
# 0x24400 and 0x824400, cmp of both regions, a 512-byte dsync write of the
# flag sector. Runs alternate (A B A B ...) after one warm-up pair; prints
# the median times and their ratio. Root (losetup, mknod); after ./dev build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
runs="${1:-5}"
[ "$(id -u)" -eq 0 ] || { echo "host_upgrade: needs root for the loop device" >&2; exit 2; }
work="$(mktemp -d /tmp/orvane-hostbench-XXXXXX)"
. "$root/tools/usb-loop-tree.sh"
cleanup() {
  usb_loop_tree_remove
  rm -rf "$work"
}
trap cleanup EXIT

usb_loop_tree "$work"

m="$work/machine"
"$build/orvane-machine" create "$m" --host-disks >/dev/null
"$build/orvane-machine" --machine "$m" set time_scale=0 >/dev/null  # no Windows waits: the disk's speed only
head -c 4194304 /dev/urandom >"$work/kernel"
head -c 33554432 /dev/urandom >"$work/rootfs"
"$build/orvane" image create --kernel "$work/kernel" --rootfs "$work/rootfs" -o "$work/windows.bin" >/dev/null
image="$work/windows.bin"
size=$(stat -c %s "$image")
k=4194304 r=33554432
koff=$((size - k - r)) roff=$((size - r))
ours() { "$build/orvane" --machine "$m" upgrade "$image" --yes >"$work/ours.log" 2>&1; }
tools() {
  cksum "$image" >/dev/null
  dd if="$image" of="$loop" iflag=skip_bytes,count_bytes skip=$koff count=$k oflag=dsync,seek_bytes seek=$((0x24400)) bs=8M conv=notrunc status=none
  dd if="$image" of="$loop" iflag=skip_bytes,count_bytes skip=$roff count=$r oflag=dsync,seek_bytes seek=$((0x824400)) bs=8M conv=notrunc status=none
  cmp -n $k -i $koff:$((0x24400)) "$image" "$loop"
  cmp -n $r -i $roff:$((0x824400)) "$image" "$loop"
  dd if="$loop" of="$work/flag" bs=512 skip=$((0x424400 / 512)) count=1 status=none
  dd if="$work/flag" of="$loop" bs=512 seek=$((0x424400 / 512)) count=1 oflag=dsync conv=notrunc status=none
}
ms() { local t0 t1; t0=$(date +%s%N); "$@"; t1=$(date +%s%N); echo $(((t1 - t0) / 1000000)); }
ours || { cat "$work/ours.log" >&2; exit 1; }  # warm-up; gives the blank disk its system partition
tools
a=() b=()
for _ in $(seq "$runs"); do
  t=$(ms ours) || { cat "$work/ours.log" >&2; exit 1; }
  a+=("$t")
  b+=("$(ms tools)")
done
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
ma=$(median "${a[@]}") mb=$(median "${b[@]}")
cmp -n $k -i $koff:$((0x24400)) "$image" "$loop"
echo "orvane upgrade on a loop-backed host disk: ${ma} ms (runs: ${a[*]})"
echo "standard tools on the same loop device:    ${mb} ms (runs: ${b[*]})"
awk -v a="$ma" -v b="$mb" 'BEGIN {printf "time / standard tools'"'"': %.2f\n", a / b}'
