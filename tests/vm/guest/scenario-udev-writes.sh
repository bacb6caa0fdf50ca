# Upgrades and setups in a row while systemd-udevd watches the disk.
. /vm/lib.sh
udev_start
WRITES_MODE=udev
. /vm/writes.sh
