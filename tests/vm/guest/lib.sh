# Helpers the guest scenarios share; sourced.
export PATH=/usr/sbin:/usr/bin
. /etc/vm/tools.sh
O="$ORVANE_BUILD"
KERNEL_AT=$((0x24400))
ROOTFS_AT=$((0x824400))
APPLIANCE_SERIAL=APPL0001

now_ms() { date +%s%3N; }

say() { echo "[$(cut -d' ' -f1 /proc/uptime)] $*"; }

# fail WHY: ends the scenario; the reason goes into its marker line.
fail() {
  say "FAIL: $*"
  echo "$*" >"$SCENARIO_WHY"
  exit 1
}

# The USB serial of block device NAME (sda), from the USB device above it.
usb_serial_of() {
  local d
  d="$(readlink -f "/sys/block/$1/device" 2>/dev/null)" || return 1
  while [ -n "$d" ] && [ "$d" != / ]; do
    if [ -f "$d/idVendor" ]; then
      cat "$d/serial" 2>/dev/null
      return 0
    fi
    d="$(dirname "$d")"
  done
  return 1
}

# disk_named SERIAL: the sdX whose USB serial is SERIAL, if any.
disk_named() {
  local b
  for b in /sys/block/sd*; do
    [ -e "$b" ] || continue
    [ "$(usb_serial_of "${b##*/}")" = "$1" ] && { echo "${b##*/}"; return 0; }
  done
  return 1
}

# wait_disk SERIAL [SECONDS]: waits for the disk and its node; prints sdX.
wait_disk() {
  local serial="$1" limit="${2:-20}" n=0 name
  while [ $n -lt $((limit * 20)) ]; do
    if name="$(disk_named "$serial")" && [ -b "/dev/$name" ] && [ "$(cat "/sys/block/$name/size")" != 0 ]; then
      echo "$name"
      return 0
    fi
    sleep 0.05
    n=$((n + 1))
  done
  return 1
}

# The machine's device path (\Device\HarddiskN\Partition0) of /dev/NAME;
# AS=FUNCTION asks as the user that FUNCTION runs commands as.
device_path() {
  local machine="$1" name="$2" n
  for n in 1 2 3 4 5 6 7 8; do
    if [ "$(${AS:-} "$O/orvane-machine" --machine "$machine" disk-path "$n" 2>/dev/null)" = "/dev/$name" ]; then
      echo "\\Device\\Harddisk$n\\Partition0"
      return 0
    fi
  done
  return 1
}

# make_image DIR NAME: parts of random bytes and the firmware image of them.
make_image() {
  local dir="$1" name="$2"
  mkdir -p "$dir"
  head -c 1000000 /dev/urandom >"$dir/$name.kernel"
  head -c 3000000 /dev/urandom >"$dir/$name.rootfs"
  "$O/orvane" image create --kernel "$dir/$name.kernel" --rootfs "$dir/$name.rootfs" -o "$dir/$name.bin" >/dev/null ||
    fail "image create failed"
}

# regions_hold DEV DIR NAME: the disk's regions hold image NAME's parts.
regions_hold() {
  local dev="$1" dir="$2" name="$3"
  cmp -s -n "$(stat -c %s "$dir/$name.kernel")" -i "0:$KERNEL_AT" "$dir/$name.kernel" "$dev" &&
    cmp -s -n "$(stat -c %s "$dir/$name.rootfs")" -i "0:$ROOTFS_AT" "$dir/$name.rootfs" "$dev"
}

# table_matches_kernel NAME: every partition sfdisk reads on the disk is
# the kernel's partition of the same number, start and size, and no other.
table_matches_kernel() {
  local name="$1" on_disk in_kernel p
  on_disk="$(sfdisk -d "/dev/$name" | sed -n "s|^/dev/${name}\([0-9]*\) : start= *\([0-9]*\), size= *\([0-9]*\).*|\1 \2 \3|p")"
  in_kernel="$(for p in /sys/block/$name/$name[0-9]*; do
    [ -e "$p" ] && echo "$(cat "$p/partition") $(cat "$p/start") $(cat "$p/size")"
  done | sort -n)"
  [ "$on_disk" = "$in_kernel" ] && return 0
  say "on disk:"; echo "$on_disk"
  say "kernel:"; echo "$in_kernel"
  return 1
}

# run_logged FILE CMD...: runs CMD, its output into FILE; returns its status.
run_logged() {
  local out="$1"
  shift
  "$@" >"$out" 2>&1
}

# wrong WHAT: notes a failed check and goes on with the next; checked ends
# the scenario, failed with the first such note if there was one.
wrong() {
  say "WRONG: $*"
  [ -s "$SCENARIO_WHY" ] || echo "$*" >"$SCENARIO_WHY"
}
checked() {
  [ -s "$SCENARIO_WHY" ] && exit 1
  exit 0
}

# systemd-udevd as a distribution starts it: daemon, coldplug, settle.
udev_start() {
  [ -S /run/udev/control ] && return 0
  /usr/bin/systemd-udevd --daemon >/tmp/udevd.log 2>&1 || fail "systemd-udevd did not start: $(cat /tmp/udevd.log)"
  udevadm trigger --type=subsystems --action=add
  udevadm trigger --type=devices --action=add
  udevadm settle --timeout=30 || fail "udevadm settle timed out"
}

udev_stop() {
  [ -S /run/udev/control ] || return 0
  udevadm control --exit
  local n=0
  while pidof systemd-udevd >/dev/null && [ $n -lt 100 ]; do sleep 0.1; n=$((n + 1)); done
  pidof systemd-udevd >/dev/null && fail "systemd-udevd did not exit"
  rm -f /run/udev/control
}

# figures LABEL FILE: count, smallest, median and largest of the numbers in FILE.
figures() {
  sort -n "$2" | awk -v label="$1" '{ v[NR] = $1 } END { if (NR) printf "%s: %d runs, ms min %d median %d max %d\n", label, NR, v[1], v[int((NR + 1) / 2)], v[NR] }'
}

# host_hash NAME: the BLAKE2b-256 of disk NAME's backing file, read by the host
# (guest/init opened the answering port as descriptor 3). Whole disks hash
# there in a second or two, here in minutes.
# The question goes to the console itself: callers take the answer with $(...).
host_hash() {
  sync
  echo "VM-HASH $1" >/dev/console
  local answer=""
  read -r answer <&3
  case "$answer" in
    ????????????????????????????????????????????????????????????????) echo "$answer" ;;
    *) echo "no answer to VM-HASH $1: '$answer'" >&2; return 1 ;;
  esac
}
