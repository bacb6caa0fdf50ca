#!/usr/bin/env bash
# Builds the guest's whole root file system as one uncompressed cpio archive
# (the kernel unpacks it faster than a compressed one under emulation):
# busybox, the kernel modules for USB storage, virtio, loop and FUSE,
# systemd-udevd with Debian's rules, our programs at the build folder's own
# path (their RUNPATH names it), the tools they run and the tests check with,
# each with the shared libraries ldd names, and the guest scripts. Debian's
# cryptsetup with the device-mapper and cipher modules it needs, loaded only
# by the scenario that opens our volumes with it.
#   tests/vm/mkinitramfs.sh BUILD VMDIR     writes VMDIR/initramfs.cpio
# ORVANE_VM_GDB=1 adds gdb.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
vm="$(cd "$2" && pwd)"
debs="$vm/debs"
kver="$(cat "$debs/kernel-version")"
root="$vm/root"
rm -rf "$root"
mkdir -p "$root"/usr/{bin,sbin,lib,lib64} "$root"/{proc,sys,dev,tmp,run,etc,mnt,root,vm,home}
# Debian's merged /usr, so host paths hold in the guest as they are.
for d in bin sbin lib lib64; do ln -s "usr/$d" "$root/$d"; done

# copy SOURCE [GUEST_PATH]: the file's bytes at the guest path (default: the
# same path), and every library ldd names for it at the library's own path.
copied=" "
copy() {
  local src="$1" dst="${2:-$1}"
  case "$copied" in *" $dst "*) return 0 ;; esac
  copied+="$dst "
  mkdir -p "$root$(dirname "$dst")"
  cp -L "$src" "$root$dst"
  local lib
  # ldd says nothing useful of static programs and scripts: no libraries.
  for lib in $({ LD_LIBRARY_PATH="$debs/usr/lib/x86_64-linux-gnu/systemd:$debs/lib/x86_64-linux-gnu:$debs/usr/lib/x86_64-linux-gnu" ldd "$src" 2>/dev/null || true; } |
    awk '/not found/ { print "MISSING:" $1; next } $2 == "=>" && $3 ~ /^\// { print $3; next } $1 ~ /^\// { print $1 }'); do
    case "$lib" in
      MISSING:*) echo "mkinitramfs: $src needs ${lib#MISSING:}, which this machine lacks" >&2; exit 1 ;;
      "$debs"/*) copy "$lib" "${lib#"$debs"}" ;;
      *) copy "$lib" ;;
    esac
  done
}

# Tools the product runs and the scenarios check with, by name. Busybox's
# shell runs its own applets before anything on PATH, so the scenarios call
# these through functions naming their paths (/etc/vm/tools.sh).
mkdir -p "$root/etc/vm"
tool() {
  local t p
  for t in "$@"; do
    p="$(PATH=/usr/sbin:/usr/bin:/sbin:/bin command -v "$t")" || { echo "mkinitramfs: no $t on this machine" >&2; exit 1; }
    p="/usr/${p#/usr/}"
    copy "$p"
    case "$t" in *[!a-z0-9_]*) ;; *) echo "$t() { $p \"\$@\"; }" >>"$root/etc/vm/tools.sh" ;; esac
  done
}

copy /usr/bin/busybox
for p in orvane orvane-machine cmddev orvane-cmd orvane-vm-volume; do
  [ -x "$build/$p" ] || { echo "mkinitramfs: $build/$p is not built" >&2; exit 1; }
  copy "$build/$p"
done
tool sfdisk blkid losetup mount umount setpriv mkntfs ntfs-3g mkfs.fat date sha256sum stat dd cmp \
  ntfscp ntfscat ntfsfix ntfsinfo fsck.fat
# ORVANE_VM_GDB=1: gdb too, for the backtraces of crashed programs' cores.
if [ "${ORVANE_VM_GDB:-0}" = 1 ]; then
  tool gdb
  # gdb's Python cannot start without its standard library.
  py="$(ls -d /usr/lib/python3.[0-9]* | head -n1)"
  tar -C / --exclude='*/test' --exclude='*/tests' --exclude='*/site-packages' --exclude='*/dist-packages' \
    --exclude='*/__pycache__' --exclude='*/idlelib' --exclude='*/tkinter' -cf - "${py#/}" usr/share/gdb | tar -C "$root" -xf -
fi
# iconv's code pages for the machine's text conversions.
mkdir -p "$root/usr/lib/x86_64-linux-gnu"
cp -a /usr/lib/x86_64-linux-gnu/gconv "$root/usr/lib/x86_64-linux-gnu/"

# cryptsetup; OpenSSL's legacy provider holds the Whirlpool it may derive keys with.
copy "$debs/sbin/cryptsetup" /usr/sbin/cryptsetup
echo "cryptsetup() { /usr/sbin/cryptsetup \"\$@\"; }" >>"$root/etc/vm/tools.sh"
ossl=/usr/lib/x86_64-linux-gnu/ossl-modules
[ ! -d "$ossl" ] || { mkdir -p "$root$ossl" && cp "$ossl"/*.so "$root$ossl/"; }

# udev: the daemon, its helpers and the rules that name and watch disks.
copy "$debs/bin/udevadm" /usr/bin/udevadm
ln -s /usr/bin/udevadm "$root/usr/bin/systemd-udevd"
mkdir -p "$root/usr/lib/udev/rules.d"
for r in 50-udev-default 60-block 60-persistent-storage; do
  cp "$debs/lib/udev/rules.d/$r.rules" "$root/usr/lib/udev/rules.d/"
done
for h in scsi_id ata_id; do copy "$debs/lib/udev/$h" "/usr/lib/udev/$h"; done
# Our rule and its helper as the package installs them, with the operator's
# list as shipped (no appliance named, so the rule does nothing until the
# restart scenario names one).
packaging="$here/../../packaging"
sed 's|@ORVANE_APPLIANCE_ID@|/usr/libexec/orvane-config/appliance-id|' "$packaging/70-orvane-appliance.rules.in" \
  >"$root/usr/lib/udev/rules.d/70-orvane-appliance.rules"
mkdir -p "$root/usr/libexec/orvane-config" "$root/etc/orvane-config"
sed 's|@ORVANE_APPLIANCE_LIST@|/etc/orvane-config/appliances|' "$packaging/appliance-id.in" \
  >"$root/usr/libexec/orvane-config/appliance-id"
chmod 755 "$root/usr/libexec/orvane-config/appliance-id"
cp "$packaging/appliances" "$root/etc/orvane-config/appliances"

# Kernel modules with what they need, in load order: those init loads, and
# those of cryptsetup and FAT mounts (aes_generic and cbc are built in).
dep="$debs/lib/modules/$kver/modules.dep"
order=()
add_module() {
  local path="$1" d
  case " ${order[*]:-} " in *" $path "*) return 0 ;; esac
  for d in $(sed -n "s|^${path}: *||p" "$dep"); do add_module "$d"; done
  order+=("$path")
}
# module_list FILE NAME...: the named modules and what they need that is not
# listed yet, into /etc/vm/FILE.
module_list() {
  local list="$1" m path before=${#order[@]}
  shift
  for m in "$@"; do
    path="$(grep -o "^kernel/[^:]*/$m\.ko" "$dep" | head -n1)"
    [ -n "$path" ] || { echo "mkinitramfs: no module $m in $kver" >&2; exit 1; }
    add_module "$path"
  done
  : >"$root/etc/vm/$list"
  for path in "${order[@]:$before}"; do
    mkdir -p "$root/usr/lib/modules/$kver/$(dirname "$path")"
    cp "$debs/lib/modules/$kver/$path" "$root/usr/lib/modules/$kver/$path"
    echo "/lib/modules/$kver/$path" >>"$root/etc/vm/$list"
  done
}
module_list modules xhci-pci usb-storage sd_mod virtio_pci virtio_blk loop fuse
module_list modules-crypt dm-mod dm-crypt af_alg algif_skcipher gf128mul ecb lrw xts serpent_generic \
  twofish_common twofish_generic vfat nls_cp437 nls_ascii

# Busybox for every command not copied above.
for a in $(busybox --list); do
  [ -e "$root/usr/bin/$a" ] || [ -e "$root/usr/sbin/$a" ] || ln -s busybox "$root/usr/bin/$a"
done

cat >"$root/etc/passwd" <<'PASSWD'
root:x:0:0:root:/root:/bin/sh
tester:x:1000:1000:tester:/home/tester:/bin/sh
PASSWD
cat >"$root/etc/group" <<'GROUP'
root:x:0:
tty:x:5:
disk:x:6:tester
kmem:x:15:
dialout:x:20:
cdrom:x:24:
tape:x:26:
video:x:44:
input:x:105:
kvm:x:106:
render:x:107:
sgx:x:108:
tester:x:1000:
GROUP
mkdir -p "$root/home/tester"
chown 1000:1000 "$root/home/tester"
echo "ORVANE_BUILD=$build" >"$root/etc/vm/env"

cp "$here"/guest/*.sh "$root/vm/"
cp "$here/guest/init" "$root/init"
chmod +x "$root/init" "$root"/vm/*.sh

(cd "$root" && find . -print0 | cpio --null -o -H newc --quiet) >"$vm/initramfs.cpio.new"
mv "$vm/initramfs.cpio.new" "$vm/initramfs.cpio"
cp "$debs/boot/vmlinuz-$kver" "$vm/vmlinuz"
