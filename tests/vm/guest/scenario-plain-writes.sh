# The same without udev: only the kernel and devtmpfs.
. /vm/lib.sh
udev_stop
WRITES_MODE=plain
. /vm/writes.sh
