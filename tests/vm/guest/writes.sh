# Sourced by the writes scenarios: upgrades and setups in a row on the
# appliance disk (VM_UPGRADES, default 20; VM_SETUPS, default 5; each setup
# is followed by its share of the upgrades), every one checked from outside
# our tools: the regions with cmp, the table with sfdisk against the
# kernel's partitions, the volumes with blkid; an upgrade must leave the
# table as the setup before it wrote it (disk id included).
work="/tmp/writes-$WRITES_MODE"
mkdir -p "$work"
t=$(now_ms)
make_image "$work" A
make_image "$work" B
m="$work/machine"
say "two images: $(($(now_ms) - t)) ms"
t=$(now_ms)
run_logged "$work/create.log" "$O/orvane-machine" create "$m" --host-disks || fail "machine create: $(tail -n3 "$work/create.log")"
say "orvane-machine create: $(($(now_ms) - t)) ms"
disk="$(wait_disk "$APPLIANCE_SERIAL")" || fail "the appliance disk is not there"
dev="$(device_path "$m" "$disk")" || fail "the machine has no slot for /dev/$disk"
t=$(now_ms)
"$O/orvane" --machine "$m" devices --all
say "orvane devices --all: $(($(now_ms) - t)) ms"
say "appliance disk /dev/$disk is $dev"

# With udev, its block events beside the runs, shown when one fails.
if [ -S /run/udev/control ]; then
  udevadm monitor --kernel --udev --subsystem-match=block >"$work/udev-events.log" 2>&1 &
  trap 'kill $! 2>/dev/null' EXIT
fi
show_events() {
  [ -s "$work/udev-events.log" ] || return 0
  echo "udev's latest block events:"
  tail -n 24 "$work/udev-events.log"
}

upgrades="${VM_UPGRADES:-20}"
setups="${VM_SETUPS:-5}"
per=$upgrades
[ "$setups" -gt 0 ] && per=$((upgrades / setups))
names="$disk"
# The table as sfdisk reads it, the disk's name left out: it may change.
table_of() { sfdisk -d "/dev/$1" | sed "s|/dev/$1|DISK|"; }
image=A
u=0
s=0
: >"$work/upgrade.ms"
: >"$work/setup.ms"
while [ $u -lt "$upgrades" ] || [ $s -lt "$setups" ]; do
  if [ $s -lt "$setups" ] && { [ $u -ge $((s * per)) ] || [ $u -ge "$upgrades" ]; }; then
    s=$((s + 1))
    parts=$(((s - 1) % 4))
    start=$(now_ms)
    rc=0
    run_logged "$work/setup-$s.log" "$O/orvane" --machine "$m" setup --partitions "$parts" --yes --device "$dev" || rc=$?
    [ $rc -eq 0 ] || { cat "$work/setup-$s.log"; show_events; fail "setup $s (--partitions $parts) exited $rc"; }
    echo $(($(now_ms) - start)) >>"$work/setup.ms"
    disk="$(wait_disk "$APPLIANCE_SERIAL")" || fail "the disk is gone after setup $s"
    case " $names " in *" $disk "*) ;; *) names="$names $disk" ;; esac
    count="$(sfdisk -d "/dev/$disk" | grep -c '^/dev/')"
    [ "$count" = $((parts + 1)) ] || { sfdisk -d "/dev/$disk"; fail "setup $s left $count partitions, not $((parts + 1))"; }
    table_matches_kernel "$disk" || fail "after setup $s the kernel's partitions are not the table on the disk"
    k=1
    while [ $k -le "$parts" ]; do
      start_sector="$(sfdisk -d "/dev/$disk" | sed -n "s|^/dev/${disk}$((k + 1)) : start= *\([0-9]*\).*|\1|p")"
      got="$(blkid -p -O $((start_sector * 512)) -o value -s TYPE -s LABEL "/dev/$disk" | tr '\n' ' ')"
      [ "$got" = "Partition-$k ntfs " ] || [ "$got" = "ntfs Partition-$k " ] ||
        fail "setup $s: partition $((k + 1)) reads as '$got', not an NTFS named Partition-$k"
      k=$((k + 1))
    done
    table="$(table_of "$disk")"
    say "setup $s: $parts public partitions, $(tail -n1 "$work/setup.ms") ms, disk /dev/$disk"
  else
    u=$((u + 1))
    start=$(now_ms)
    rc=0
    run_logged "$work/upgrade-$u.log" "$O/orvane" --machine "$m" upgrade "$work/$image.bin" --yes --device "$dev" || rc=$?
    [ $rc -eq 0 ] || { cat "$work/upgrade-$u.log"; show_events; fail "upgrade $u exited $rc"; }
    echo $(($(now_ms) - start)) >>"$work/upgrade.ms"
    grep -q "is back" "$work/upgrade-$u.log" || { cat "$work/upgrade-$u.log"; fail "upgrade $u does not say the disk is back"; }
    disk="$(wait_disk "$APPLIANCE_SERIAL")" || fail "the disk is gone after upgrade $u"
    case " $names " in *" $disk "*) ;; *) names="$names $disk" ;; esac
    regions_hold "/dev/$disk" "$work" "$image" || fail "after upgrade $u the regions do not hold image $image"
    if [ -n "${table:-}" ] && [ "$(table_of "$disk")" != "$table" ]; then
      echo "$table"
      sfdisk -d "/dev/$disk"
      fail "upgrade $u changed the partition table"
    fi
    say "upgrade $u: image $image, $(tail -n1 "$work/upgrade.ms") ms, disk /dev/$disk"
    [ $image = A ] && image=B || image=A
  fi
done
figures "upgrades ($WRITES_MODE)" "$work/upgrade.ms"
figures "setups ($WRITES_MODE)" "$work/setup.ms"
say "the disk's names: $names"
