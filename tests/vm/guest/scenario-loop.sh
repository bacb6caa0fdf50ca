# A loop device over the disk (named through its udev by-id link), one over
# a partition, and an NTFS mounted through a partitioned loop: each time the
# disk is listed as not offered for the loop, an upgrade and a setup naming
# it fail, and its bytes (hashed whole by the host) are unchanged. Every
# case runs; the scenario fails with the first case that went wrong.
. /vm/lib.sh
udev_start
work=/tmp/loop
mkdir -p "$work"
make_image "$work" A
m="$work/machine"
run_logged "$work/create.log" "$O/orvane-machine" create "$m" --host-disks || fail "machine create: $(tail -n3 "$work/create.log")"
disk="$(wait_disk "$APPLIANCE_SERIAL")" || fail "the appliance disk is not there"
dev="$(device_path "$m" "$disk")" || fail "the machine has no slot for /dev/$disk"

# A layout of our own making: partition 1 and an NTFS partition 2.

# refused HOW: the disk is not offered for a loop, and nothing writes it.
refused() {
  local how="$1" list rc before after
  before="$(host_hash appliance)" || fail "$how: the host did not hash the disk"
  list="$("$O/orvane" --machine "$m" devices --all 2>&1)"
  echo "$list"
  echo "$list" | grep "not offered" | grep "/dev/$disk" | grep -q "loop" ||
    wrong "$how: orvane devices --all does not refuse /dev/$disk for a loop"
  rc=0
  run_logged "$work/upgrade.log" "$O/orvane" --machine "$m" upgrade "$work/A.bin" --yes --device "$dev" || rc=$?
  say "$how: upgrade exited $rc: $(tail -n1 "$work/upgrade.log")"
  [ $rc -ne 0 ] || { cat "$work/upgrade.log"; wrong "$how: the upgrade of /dev/$disk succeeded"; }
  rc=0
  run_logged "$work/setup.log" "$O/orvane" --machine "$m" setup --partitions 1 --yes --device "$dev" || rc=$?
  say "$how: setup exited $rc: $(tail -n1 "$work/setup.log")"
  [ $rc -ne 0 ] || { cat "$work/setup.log"; wrong "$how: the setup of /dev/$disk succeeded"; }
  after="$(host_hash appliance)" || fail "$how: the host did not hash the disk"
  [ "$before" = "$after" ] || wrong "$how: the disk's bytes changed"
}

# Each case starts from the layout above.
restore_layout() {
  disk="$(wait_disk "$APPLIANCE_SERIAL")" || fail "the appliance disk is not there"
  printf 'label: dos\nstart=2048, size=1048576, type=83\nstart=1050624, size=524288, type=7\n' | sfdisk -q "/dev/$disk" ||
    fail "sfdisk could not write the table"
  udevadm settle --timeout=30
  [ -b "/dev/${disk}2" ] || fail "/dev/${disk}2 did not appear"
  mkntfs -q -Q -L Data "/dev/${disk}2" >/dev/null || fail "mkntfs failed"
  sync
}

restore_layout
byid="$(ls /dev/disk/by-id/usb-*"$APPLIANCE_SERIAL"* 2>/dev/null | grep -v -- '-part' | head -n1)"
[ -n "$byid" ] || fail "udev made no /dev/disk/by-id link for the disk"
loop="$(losetup -f --show "$byid")" || fail "losetup over $byid failed"
say "$loop over $byid: backing_file $(cat "/sys/block/${loop#/dev/}/loop/backing_file"), holders of $disk: '$(ls "/sys/block/$disk/holders")'"
refused "a loop over the whole disk"
losetup -d "$loop"

restore_layout
loop="$(losetup -f --show "/dev/${disk}1")" || fail "losetup over /dev/${disk}1 failed"
refused "a loop over partition 1"
losetup -d "$loop"

restore_layout
loop="$(losetup -f --show -P "/dev/$disk")" || fail "losetup -P over /dev/$disk failed"
udevadm settle --timeout=30
[ -b "${loop}p2" ] || fail "${loop}p2 did not appear"
mkdir -p /mnt/data
ntfs-3g "${loop}p2" /mnt/data || fail "ntfs-3g could not mount ${loop}p2"
echo "written through the loop" >/mnt/data/note.txt || fail "no file could be written to the mounted NTFS"
sync
refused "an NTFS mounted through ${loop}p2"
umount /mnt/data
losetup -d "$loop"
checked
