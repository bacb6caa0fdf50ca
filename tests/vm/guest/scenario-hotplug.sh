# orvane-machine watch while the host plugs a USB disk in and out through
# QEMU's monitor: the arrival notice must come within 2 s of the kernel
# attaching the disk (its own log's time, so no poll here delays it). The
# kernel itself waits a second between the USB device and its disk
# (usb-storage's delay_use), as on any PC.
. /vm/lib.sh
udev_start
work=/tmp/hotplug
mkdir -p "$work"
m="$work/machine"
run_logged "$work/create.log" "$O/orvane-machine" create "$m" --host-disks || fail "machine create failed"
serial=HOT0001
trap 'echo "VM-HOTPLUG del $serial"' EXIT
# Each line of the watch with the time it reached us.
"$O/orvane-machine" --machine "$m" watch --seconds 40 2>&1 |
  while IFS= read -r line; do echo "$(date +%s%3N) $line"; done >"$work/watch.log" &
sleep 3
grep -qi "usage\|unknown" "$work/watch.log" && { cat "$work/watch.log"; fail "orvane-machine has no watch command"; }

usb_device_of() {
  local s
  for s in /sys/bus/usb/devices/*/serial; do
    [ "$(cat "$s" 2>/dev/null)" = "$1" ] && { dirname "$s"; return 0; }
  done
  return 1
}
# first_notice_after MS PATTERN: the first watch line after MS matching PATTERN.
first_notice_after() {
  awk -v after="$1" -v pattern="$2" '$1 >= after && tolower($0) ~ pattern { print; exit }' "$work/watch.log"
}

asked=$(date +%s%3N)
echo "VM-HOTPLUG add $serial"
n=0
until usb_device_of "$serial" >/dev/null; do
  [ $n -lt 2000 ] || fail "the plugged USB device did not appear within 20 s"
  sleep 0.01
  n=$((n + 1))
done
name="$(wait_disk "$serial")" || fail "the plugged disk has no block device"
n=0
until line="$(first_notice_after "$asked" "arriv|added|plugged|$(echo "$serial" | tr A-Z a-z)")" && [ -n "$line" ]; do
  [ $n -lt 100 ] || { cat "$work/watch.log"; fail "no arrival notice within 10 s"; }
  sleep 0.1
  n=$((n + 1))
done
# The kernel log's times on this clock: uptime and the clock read together.
offset=$(($(date +%s%3N) - $(cut -d' ' -f1 /proc/uptime | tr -d .)0))
kernel_ms() {
  dmesg | grep "$1" | tail -n1 | sed -n 's/^\[ *\([0-9]*\)\.\([0-9][0-9][0-9]\).*/\1\2/p'
}
connected="$(kernel_ms "new .*USB device number")"
attached="$(kernel_ms "\[$name\] Attached SCSI")"
[ -n "$connected" ] && [ -n "$attached" ] || { dmesg | tail -n 20; fail "the kernel log does not show the plug"; }
notice=${line%% *}
arrival=$((notice - offset - attached))
say "the kernel: USB device $((connected + offset - asked)) ms after the request, disk $((attached - connected)) ms after the device"
say "arrival notice $arrival ms after the disk, $((notice - offset - connected)) ms after the USB device: ${line#* }"

# Timed from the request: the device leaves faster than a poll here sees it.
unplugged=$(date +%s%3N)
echo "VM-HOTPLUG del $serial"
trap - EXIT
sleep 3
line="$(first_notice_after "$unplugged" "remov|left|gone|unplug")"
[ -n "$line" ] && say "removal notice $((${line%% *} - unplugged)) ms after the request: ${line#* }" || say "no removal notice within 3 s"
echo "the watch's lines:"
cat "$work/watch.log"
[ "$arrival" -le 2000 ] || fail "the arrival notice came $arrival ms after the disk"
