#!/usr/bin/env bash
# The CTest steps of the guest tests, in BUILD/vm:
#   tests/vm/ctest.sh BUILD image    fetch the kernel and udev, build the initramfs
#   tests/vm/ctest.sh BUILD writes   upgrades and setups in a row, with udev and without
#   tests/vm/ctest.sh BUILD guards   hot-plug notices, loop holders, restart rights, busy disk
#   tests/vm/ctest.sh BUILD tcrypt   our private volumes opened by cryptsetup
# ORVANE_VM_UPGRADES and ORVANE_VM_SETUPS set the writes' counts for each of
# its two runs (default 6 and 2; the full count is 20 and 5).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
export ORVANE_VM_DIR="$build/vm"
mkdir -p "$ORVANE_VM_DIR/logs"
case "$2" in
  image)
    "$here/fetch.sh" "$ORVANE_VM_DIR"
    "$here/mkinitramfs.sh" "$build" "$ORVANE_VM_DIR"
    ;;
  writes)
    upgrades="${ORVANE_VM_UPGRADES:-6}" setups="${ORVANE_VM_SETUPS:-2}"
    # Under emulation an upgrade takes about 9 s and a setup 6 to 12 s; twice
    # that, for a busy machine, in each of the two runs.
    exec "$here/run.sh" --timeout $((120 + 2 * 2 * (upgrades * 10 + setups * 15))) --log "$ORVANE_VM_DIR/logs/writes.log" \
      --set "upgrades=$upgrades" --set "setups=$setups" udev-writes,plain-writes
    ;;
  guards)
    # The loop scenario has the host hash the whole disk six times: 2 GiB.
    exec "$here/run.sh" --timeout 500 --log "$ORVANE_VM_DIR/logs/guards.log" --appliance-size 2G hotplug,loop,restart,busy
    ;;
  tcrypt)
    exec "$here/run.sh" --timeout 500 --log "$ORVANE_VM_DIR/logs/tcrypt.log" --appliance-size 1330M tcrypt
    ;;
  *) echo "usage: tests/vm/ctest.sh BUILD image|writes|guards|tcrypt" >&2; exit 2 ;;
esac
