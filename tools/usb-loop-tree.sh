# Sourced: a USB-shaped sysfs, /dev and /proc tree in a folder, whose one USB
# disk (port 1-1, "sdb") is a loop device over a sparse file, with a hub that
# takes the disk off the bus on "0" in its authorized file and back on "1".
# The host layer reads the tree through the exported ORVANE_HOST_* variables,
# so a host-disk machine can be tried without an appliance. Root (losetup,
# mknod).
#   usb_loop_tree WORK [SIZE]   sets loop (the loop device) and hub (its pid)
#   usb_loop_tree_remove        stops the hub and detaches the loop device

usb_loop_tree() {
  local work="$1" size="${2:-2G}"
  truncate -s "$size" "$work/disk.img"
  loop="$(losetup --find --show "$work/disk.img")"
  local maj min
  read -r maj min < <(stat -c '%t %T' "$loop")
  local usb="$work/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1"
  local scsi="$usb/1-1:1.0/host6/target6:0:0/6:0:0:0"
  local block="$scsi/block/sdb"
  mkdir -p "$work/sys/block" "$work/sys/bus/usb/devices" "$work/dev" "$work/proc/self" "$block/holders"
  echo 1209 >"$usb/idVendor"
  echo 4f43 >"$usb/idProduct"
  echo LOOP0001 >"$usb/serial"
  mkfifo "$usb/authorized"
  ln -s "$usb" "$work/sys/bus/usb/devices/1-1"
  echo ORVANE >"$scsi/vendor"
  echo "Appliance Disk" >"$scsi/model"
  echo 1.00 >"$scsi/rev"
  ln -s "$scsi" "$block/device"
  echo "$((16#$maj)):$((16#$min))" >"$block/dev"
  echo $(($(blockdev --getsize64 "$loop") / 512)) >"$block/size"
  echo 0 >"$block/removable"
  mknod "$work/dev/sdb" b "$((16#$maj))" "$((16#$min))"
  ln -s "$block" "$work/sys/block/sdb"
  : >"$work/proc/self/mountinfo"
  echo "Filename Type Size Used Priority" >"$work/proc/swaps"
  export ORVANE_HOST_SYSFS="$work/sys" ORVANE_HOST_DEV="$work/dev" ORVANE_HOST_PROC="$work/proc"
  (
    exec 3<>"$usb/authorized"
    while read -r -n1 c <&3; do
      case "$c" in
        0) rm -f "$work/sys/block/sdb" ;;
        1) ln -sfn "$block" "$work/sys/block/sdb" ;;
      esac
    done
  ) &
  hub=$!
}

usb_loop_tree_remove() {
  [ -z "${hub:-}" ] || kill "$hub" 2>/dev/null || true
  [ -z "${loop:-}" ] || losetup -d "$loop"
  hub="" loop=""
}
