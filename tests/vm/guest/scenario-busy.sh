# Two machine folders following the same host disk: while a setup runs in
# one, an upgrade in the other stops with exit 5 (busy) and writes nothing;
# the disk ends as the setup left it.
. /vm/lib.sh
udev_start
work=/tmp/busy
mkdir -p "$work"
make_image "$work" A
disk="$(wait_disk "$APPLIANCE_SERIAL")" || fail "the appliance disk is not there"
for n in 1 2; do
  run_logged "$work/create$n.log" "$O/orvane-machine" create "$work/m$n" --host-disks || fail "machine $n create failed"
done
dev1="$(device_path "$work/m1" "$disk")" && dev2="$(device_path "$work/m2" "$disk")" || fail "a machine has no slot for /dev/$disk"
"$O/orvane" --machine "$work/m1" setup --partitions 2 --yes --device "$dev1" >"$work/setup.log" 2>&1 &
setup=$!
n=0
until grep -q "Setting up" "$work/setup.log"; do
  kill -0 $setup 2>/dev/null || { cat "$work/setup.log"; fail "the setup ended before it began writing"; }
  [ $n -lt 600 ] || fail "the setup did not begin within 30 s"
  sleep 0.05
  n=$((n + 1))
done
rc=0
run_logged "$work/upgrade.log" "$O/orvane" --machine "$work/m2" upgrade "$work/A.bin" --yes --device "$dev2" || rc=$?
kill -0 $setup 2>/dev/null || say "(the setup had ended when the upgrade did)"
cat "$work/upgrade.log"
setup_rc=0
wait $setup || setup_rc=$?
cat "$work/setup.log"
[ $rc -eq 5 ] || wrong "the second job exited $rc, not 5"
grep -qi "busy" "$work/upgrade.log" || wrong "the second job does not say the disk is busy"
[ $setup_rc -eq 0 ] || wrong "the setup exited $setup_rc"
disk="$(wait_disk "$APPLIANCE_SERIAL")" || fail "the disk is gone after the setup"
count="$(sfdisk -d "/dev/$disk" | grep -c '^/dev/')"
[ "$count" = 3 ] || { sfdisk -d "/dev/$disk"; wrong "the disk has $count partitions, not the setup's 3"; }
regions_hold "/dev/$disk" "$work" A && wrong "the upgrade's firmware is on the disk"
table_matches_kernel "$disk" || wrong "the kernel's partitions are not the table on the disk"
checked
