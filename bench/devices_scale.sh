#!/usr/bin/env bash
# Device discovery as the number of USB disks grows: `orvane devices` on
# emulated machines with 1, 4, 8 and 15 USB disks (blank 8 GiB sparse
# images, time_scale=0), beside the host's `lsblk` as the yardstick of
# listing disks at all. Each figure is the median wall time of RUNS runs
# (21 by default), taken in turns with lsblk after one warm-up each. With
# strace on the PATH it also counts one listing's open() and flock() calls.
#   bench/devices_scale.sh [RUNS]     (after ./dev build, or cmake --build build --target orvane orvane-machine)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD:-$root/build}"
runs="${1:-21}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Each machine is given by --machine; an inherited one must not stand in.
unset KX_MACHINE

# Microseconds of one run of the command, its output dropped.
# (bash's own clock: a date process around each run would add its start to
# both sides of every ratio)
micros() {
  local start end
  start=${EPOCHREALTIME/[.,]/}
  "$@" >/dev/null 2>&1
  end=${EPOCHREALTIME/[.,]/}
  echo $((end - start))
}

median_ms() { sort -n | awk '{v[NR]=$1} END {printf "%.1f", v[int((NR+1)/2)]/1000}'; }

printf '%-6s %12s %12s %14s %10s' disks "devices ms" "lsblk ms" "ms per disk" "/ lsblk"
command -v strace >/dev/null && printf ' %8s %8s' opens flocks
printf '\n'
first=""
for disks in 1 4 8 15; do
  machine="$work/m$disks"
  "$build/orvane-machine" create "$machine" >/dev/null
  "$build/orvane-machine" --machine "$machine" set time_scale=0 >/dev/null
  for _ in $(seq 2 "$disks"); do
    "$build/orvane-machine" --machine "$machine" add-disk >/dev/null
  done
  devices=("$build/orvane" --machine "$machine" devices)
  listed=$("${devices[@]}" | wc -l)
  [ "$listed" -eq "$disks" ] || { echo "devices listed $listed disks of $disks" >&2; exit 1; }
  micros "${devices[@]}" >/dev/null
  micros lsblk >/dev/null
  : >"$work/devices" && : >"$work/lsblk"
  for _ in $(seq "$runs"); do
    micros "${devices[@]}" >>"$work/devices"
    micros lsblk >>"$work/lsblk"
  done
  ours=$(median_ms <"$work/devices")
  theirs=$(median_ms <"$work/lsblk")
  [ -n "$first" ] || first="$ours"
  per=$(awk -v a="$ours" -v b="$first" -v n="$disks" 'BEGIN { if (n > 1) printf "%.2f", (a - b) / (n - 1); else print "-" }')
  printf '%-6s %12s %12s %14s %10s' "$disks" "$ours" "$theirs" "$per" "$(awk -v a="$ours" -v b="$theirs" 'BEGIN {printf "%.1f", a / b}')"
  if command -v strace >/dev/null; then
    strace -f -e trace=openat,open,flock -o "$work/trace" "${devices[@]}" >/dev/null 2>&1
    printf ' %8s %8s' "$(grep -cE '^[0-9]+ +open(at)?\(' "$work/trace")" "$(grep -cE '^[0-9]+ +flock\(' "$work/trace")"
  fi
  printf '\n'
done
echo "ms per disk: beyond the 1-disk machine; / lsblk: devices time over lsblk's"
