#!/usr/bin/env bash
# Stress check of one job per disk, outside CI: ROUNDS rounds (default 50) of
# two to four orvane upgrade and setup commands on one disk, each started at
# a random offset of up to a second. Every command that exits 0 must show on
# the disk: the firmware regions hold the image of the last upgrade that
# succeeded, the table the layout of the last setup that succeeded. Prints
# the counts of successes and refusals (exit 5); fails on any mismatch.
#   bench/job_stress.sh [ROUNDS]      (after ./dev build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD:-$root/build}"
rounds="${1:-50}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

machine="$work/machine"
"$build/orvane-machine" create "$machine" >/dev/null
"$build/orvane-machine" --machine "$machine" set time_scale=0.05 >/dev/null
disk="$("$build/orvane-machine" --machine "$machine" disk-path 1)"
orvane() { env -u KX_MACHINE "$build/orvane" --machine "$machine" "$@"; }

for image in a b; do
  head -c $((700000 + RANDOM)) /dev/urandom >"$work/kernel-$image"
  head -c $((2000000 + RANDOM)) /dev/urandom >"$work/rootfs-$image"
  orvane image create --kernel "$work/kernel-$image" --rootfs "$work/rootfs-$image" -o "$work/$image.bin" >/dev/null
done

commands=("upgrade $work/a.bin --yes" "upgrade $work/b.bin --yes" "setup --partitions 1 --yes"
  "setup --partitions 2 --yes")
successes=0 refusals=0 failures=0 mismatches=0
for round in $(seq 1 "$rounds"); do
  count=$((2 + RANDOM % 3))
  for job in $(seq 1 "$count"); do
    pick=$((RANDOM % ${#commands[@]}))
    echo "$pick" >"$work/job$job.pick"
    (
      sleep "0.$((RANDOM % 10))"
      # shellcheck disable=SC2086 # the command's words
      orvane ${commands[$pick]} >"$work/job$job.out" 2>&1 && code=0 || code=$?
      echo "$code $(date +%s%N)" >"$work/job$job.end"
    ) &
  done
  wait
  last_upgrade="" last_setup=""
  for job in $(seq 1 "$count"); do
    read -r code ended <"$work/job$job.end"
    pick=$(cat "$work/job$job.pick")
    case "$code" in
      0) successes=$((successes + 1))
         if [ "$pick" -lt 2 ]; then
           [ -z "$last_upgrade" ] || [ "$ended" -gt "${last_upgrade#* }" ] && last_upgrade="$pick $ended"
         else
           [ -z "$last_setup" ] || [ "$ended" -gt "${last_setup#* }" ] && last_setup="$pick $ended"
         fi ;;
      5) refusals=$((refusals + 1)) ;;
      *) failures=$((failures + 1)); echo "round $round: '${commands[$pick]}' exited $code:"; tail -2 "$work/job$job.out" ;;
    esac
  done
  if [ -n "$last_upgrade" ]; then
    image=$([ "${last_upgrade%% *}" -eq 0 ] && echo a || echo b)
    if ! cmp -s -n "$(stat -c %s "$work/kernel-$image")" -i $((0x24400)):0 "$disk" "$work/kernel-$image" ||
      ! cmp -s -n "$(stat -c %s "$work/rootfs-$image")" -i $((0x824400)):0 "$disk" "$work/rootfs-$image"; then
      mismatches=$((mismatches + 1)); echo "round $round: the disk does not hold image $image"
    fi
  fi
  if [ -n "$last_setup" ]; then
    want=$(( ${last_setup%% *} ))  # 2: one public partition, 3: two
    have=$(sfdisk --dump "$disk" 2>/dev/null | grep -c 'start=' || true)
    if [ "$have" -ne "$want" ]; then
      mismatches=$((mismatches + 1)); echo "round $round: $have partitions, the last setup made $want"
    fi
  fi
done
echo "rounds $rounds: $successes succeeded, $refusals refused as busy, $failures failed otherwise," \
  "$mismatches mismatches between an exit 0 and the disk"
[ "$mismatches" -eq 0 ]
