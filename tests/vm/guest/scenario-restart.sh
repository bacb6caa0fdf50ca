# The upgrade's device restart as a member of group disk who is not root:
# the USB device's authorized file is root's, so the restart cannot happen.
# The upgrade must say so, and to unplug and plug the disk in again, never
# that the disk is back, and exit 6; the firmware is written all the same.
# Then, with the appliance named for our udev rule, the restart is the user's.
. /vm/lib.sh
udev_start
work=/tmp/restart
mkdir -p "$work"
disk="$(wait_disk "$APPLIANCE_SERIAL")" || fail "the appliance disk is not there"
# The appliance's layout first, as root, so the user's upgrade only writes.
m="$work/root-machine"
run_logged "$work/create.log" "$O/orvane-machine" create "$m" --host-disks || fail "machine create: $(tail -n3 "$work/create.log")"
dev="$(device_path "$m" "$disk")" || fail "the machine has no slot for /dev/$disk"
run_logged "$work/setup.log" "$O/orvane" --machine "$m" setup --partitions 0 --yes --device "$dev" ||
  { cat "$work/setup.log"; fail "the setup as root failed"; }
disk="$(wait_disk "$APPLIANCE_SERIAL")" || fail "the disk is gone after the setup"

as_tester() { setpriv --reuid=1000 --regid=1000 --init-groups env HOME=/home/tester "$@"; }
chgrp disk /dev/"$disk"* && chmod 660 /dev/"$disk"*
ls -l /dev/"$disk"*
make_image /home/tester A
chown -R 1000:1000 /home/tester
um=/home/tester/machine
run_logged "$work/tester-create.log" as_tester "$O/orvane-machine" create "$um" --host-disks ||
  { cat "$work/tester-create.log"; fail "the user's machine create failed"; }
usb_path="$(AS=as_tester device_path "$um" "$disk")" || fail "the user's machine has no slot for /dev/$disk"
usb="$(dirname "$(readlink -f "/sys/block/$disk/device")")"
while [ ! -f "$usb/authorized" ] || [ ! -f "$usb/idVendor" ]; do usb="$(dirname "$usb")"; done
# A device taken off the bus and let back gets a new address.
devnum="$(cat "$usb/devnum")"
say "the disk's USB device is $usb, address $devnum"
rc=0
run_logged "$work/upgrade.log" as_tester "$O/orvane" --machine "$um" upgrade /home/tester/A.bin --yes --device "$usb_path" || rc=$?
cat "$work/upgrade.log"
say "after the upgrade: authorized '$(cat "$usb/authorized" 2>&1)', address '$(cat "$usb/devnum" 2>&1)'"
[ "$(cat "$usb/devnum" 2>/dev/null)" = "$devnum" ] || wrong "the USB device was restarted after all"
grep -q "is back" "$work/upgrade.log" && wrong "the output says the disk is back"
grep -qi "could not be restarted" "$work/upgrade.log" || wrong "the output does not say the device could not be restarted"
grep -qi "unplug" "$work/upgrade.log" && grep -qi "plug it in again" "$work/upgrade.log" ||
  wrong "the output does not say to unplug the disk and plug it in again"
[ $rc -eq 6 ] || wrong "the upgrade exited $rc, not 6"
[ "$(cat "$usb/authorized" 2>/dev/null)" = 1 ] || wrong "the USB device is not authorized after the upgrade"
disk="$(wait_disk "$APPLIANCE_SERIAL")" || fail "the disk is gone"
regions_hold "/dev/$disk" /home/tester A || wrong "the firmware was not written"

# Above, our udev rule with the list as shipped left the authorized file
# root's. With the appliance named in the operator's list, it is group
# disk's, and the same user's upgrade restarts the device.
[ "$(stat -c %U:%G:%a "$usb/authorized")" = root:root:644 ] ||
  wrong "with no appliance listed the authorized file is $(stat -c %U:%G:%a "$usb/authorized")"
echo "$(cat "$usb/idVendor"):$(cat "$usb/idProduct")" >>/etc/orvane-config/appliances
udevadm control --reload
udevadm trigger --action=change "$usb"
udevadm settle --timeout=30 || fail "udevadm settle timed out"
[ "$(stat -c %G:%a "$usb/authorized")" = disk:664 ] ||
  wrong "the listed appliance's authorized file is $(stat -c %G:%a "$usb/authorized"), not disk:664"
make_image /home/tester B
chown -R 1000:1000 /home/tester
rc=0
run_logged "$work/upgrade-listed.log" as_tester "$O/orvane" --machine "$um" upgrade /home/tester/B.bin --yes --device "$usb_path" || rc=$?
cat "$work/upgrade-listed.log"
[ $rc -eq 0 ] || wrong "the listed appliance's upgrade exited $rc, not 0"
grep -q "is back" "$work/upgrade-listed.log" || wrong "the listed appliance's upgrade does not say the disk is back"
disk="$(wait_disk "$APPLIANCE_SERIAL")" || fail "the disk is gone after the restart"
regions_hold "/dev/$disk" /home/tester B || wrong "the listed appliance's firmware was not written"
checked
