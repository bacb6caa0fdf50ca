# Our private volumes read by an outside program: Debian's cryptsetup
# (TrueCrypt mode, VeraCrypt's slow key derivations left out) dumps and maps
# each one, blkid, fsck.fat and ntfsfix check what is inside, and files
# cross both ways byte for byte. The disk is set up by `orvane setup` with
# three small public partitions, whose types sfdisk turns into the private
# FAT, FAT32 and NTFS that `orvane private format` then makes; files
# written through the mapping and by put-file on the host disk are read
# back by get-file and through the mapping; after `orvane private passwd`
# only the new password may open. Partition 2 then
# takes a volume of each cipher we can write (orvane-vm-volume), one after
# another. Every case runs; the scenario fails with the first that went wrong.
. /vm/lib.sh
# No udevd here, and without Debian's device-mapper rules its cookies would
# never be answered: libdevmapper makes the nodes itself.
export DM_DISABLE_UDEV=1
while read -r mod; do
  insmod "$mod" 2>/tmp/insmod.err || fail "cannot load $mod: $(cat /tmp/insmod.err)"
done </etc/vm/modules-crypt
work=/tmp/tcrypt
mkdir -p "$work" /mnt/v
cd "$work" || fail "no $work"
disk="$(wait_disk "$APPLIANCE_SERIAL")" || fail "the appliance disk is not there"
m="$work/machine"
run_logged create.log "$O/orvane-machine" create "$m" --host-disks || fail "machine create: $(tail -n3 create.log)"
dev="$(device_path "$m" "$disk")" || fail "the machine has no slot for /dev/$disk"
mkdir -p drv && echo driver >drv/kxcrypt.sys
t=$(now_ms)
run_logged setup.log "$O/orvane" --machine "$m" setup --partitions 3 --sizes 100,100 --yes --device "$dev" ||
  { cat setup.log; fail "setup failed"; }
disk="$(wait_disk "$APPLIANCE_SERIAL")" || fail "the disk is gone after the setup"
for kind in "2 16" "3 1b" "4 17"; do
  sfdisk -q --part-type "/dev/$disk" $kind || fail "sfdisk could not set the type of partition $kind"
done
say "setup and types: $(($(now_ms) - t)) ms"
old='old secret one'
new='new secret two'
head -c 300000 /dev/urandom >in.bin
head -c 200000 /dev/urandom >out.bin

# orv PASSWORDS ARGS...: orvane on the appliance disk, the passwords one a line.
orv() {
  local pw="$1"
  shift
  printf '%s' "$pw" | "$O/orvane" --machine "$m" "$@" --device "$dev"
}

# tc_open PART NAME PASSWORD: tcryptDump (into NAME.dump, shown) and a
# mapping /dev/mapper/NAME.
tc_open() {
  local part="$1" name="$2" pw="$3" t
  t=$(now_ms)
  if ! printf '%s\n' "$pw" | cryptsetup tcryptDump --disable-veracrypt "/dev/$part" >"$name.dump" 2>&1; then
    cat "$name.dump"
    wrong "$name: cryptsetup tcryptDump does not read /dev/$part"
    return 1
  fi
  sed "s/^/$name dump: /" "$name.dump"
  if ! printf '%s\n' "$pw" | cryptsetup open --type tcrypt --disable-veracrypt "/dev/$part" "$name"; then
    wrong "$name: cryptsetup cannot open /dev/$part"
    return 1
  fi
  say "$name: dumped and opened in $(($(now_ms) - t)) ms; $(cryptsetup status "$name" | grep -m1 cipher:)"
}

tc_close() {
  cryptsetup close "$1" || wrong "$1: cryptsetup close failed"
}

# inside NAME TYPE LABEL: what blkid and the file system's own checker find
# through the mapping.
inside() {
  local name="$1" type="$2" label="$3" map="/dev/mapper/$1" got
  got="$(blkid -p -o value -s TYPE -s LABEL "$map" | sort | tr '\n' ' ')"
  [ "$got" = "$(printf '%s\n%s\n' "$type" "$label" | sort | tr '\n' ' ')" ] ||
    wrong "$name: blkid reads '$got', not $type labelled $label"
  case "$type" in
    vfat) run_logged fsck.log fsck.fat -n "$map" || { cat fsck.log; wrong "$name: fsck.fat -n finds faults"; } ;;
    ntfs)
      run_logged fsck.log ntfsfix -n "$map" || { cat fsck.log; wrong "$name: ntfsfix -n finds faults"; }
      run_logged info.log ntfsinfo -m "$map" || { cat info.log; wrong "$name: ntfsinfo cannot read it"; }
      ;;
  esac
}

# The three volumes of the product.
n=2
for kind in "PFAT vfat" "PFAT32 vfat" "PNTFS ntfs"; do
  set -- $kind
  t=$(now_ms)
  run_logged "format-$n.log" orv "$old
" private format $n --label "$1" --yes --driver drv || { cat "format-$n.log"; fail "private format $n failed"; }
  say "private format $n ($1): $(($(now_ms) - t)) ms"
  n=$((n + 1))
done

# Through cryptsetup: checked, and a file written into each through the
# mapping, checked again.
n=2
for kind in "PFAT vfat" "PFAT32 vfat" "PNTFS ntfs"; do
  set -- $kind
  if tc_open "${disk}$n" "p$n" "$old"; then
    inside "p$n" "$2" "$1"
    if [ "$2" = ntfs ]; then
      ntfs-3g "/dev/mapper/p$n" /mnt/v || wrong "p$n: ntfs-3g cannot mount the mapping"
    else
      mount -t vfat "/dev/mapper/p$n" /mnt/v || wrong "p$n: the mapping does not mount as FAT"
    fi
    cp out.bin /mnt/v/out.bin && umount /mnt/v || wrong "p$n: no file could be written through the mapping"
    inside "p$n" "$2" "$1"
    tc_close "p$n"
  fi
  n=$((n + 1))
done

# Our side on a host disk: the file written through the mapping comes out
# whole, and a file put in comes back out whole.
t=$(now_ms)
orv "$old
" private load 4 --letter P: --driver drv || fail "private load 4 failed"
"$O/orvane-machine" --machine "$m" get-file P: out.bin got-out.bin && cmp out.bin got-out.bin ||
  wrong "get-file does not read the file written through the mapping"
"$O/orvane-machine" --machine "$m" put-file P: in.bin in.bin || wrong "put-file on a host disk failed"
"$O/orvane-machine" --machine "$m" get-file P: in.bin got-in.bin && cmp in.bin got-in.bin ||
  wrong "get-file does not give back what put-file put in on a host disk"
orv "" private unload 4 --driver drv || fail "private unload 4 failed"
say "get-file, put-file and get-file on /dev/${disk}4: $(($(now_ms) - t)) ms"

# A new password: the old one opens nothing, the new one the volume with
# what put-file put in.
t=$(now_ms)
orv "$old
$new
" private passwd 4 || wrong "private passwd 4 failed"
say "private passwd 4: $(($(now_ms) - t)) ms"
if printf '%s\n' "$old" | cryptsetup open --type tcrypt --disable-veracrypt "/dev/${disk}4" stale 2>/dev/null; then
  tc_close stale
  wrong "p4: the old password still opens it"
fi
if tc_open "${disk}4" p4 "$new"; then
  inside p4 ntfs PNTFS
  for f in in.bin out.bin; do
    ntfscat /dev/mapper/p4 "$f" >"mapped-$f" && cmp "$f" "mapped-$f" ||
      wrong "p4: $f reads otherwise through the mapping after put-file and the new password"
  done
  tc_close p4
fi

# Each cipher we can write, with each key derivation in turn, in LRW mode:
# the mapping reads as the plain bytes encrypted (a FAT with a file).
truncate -s $((4 * 1024 * 1024 - 512)) plain.img
mkfs.fat -n CASCADE plain.img >/dev/null || fail "mkfs.fat failed"
mount -t vfat -o loop plain.img /mnt/v && cp in.bin /mnt/v/in.bin && umount /mnt/v || fail "the plain FAT takes no file"
for choice in "1 2" "4 1" "6 3" "7 2" "8 1" "9 3" "10 2" "11 1"; do
  set -- $choice
  made="$(printf '%s\n' "$old" | "$O/orvane-vm-volume" "/dev/${disk}2" "$1" "$2" plain.img)" ||
    { wrong "orvane-vm-volume $1 $2 failed"; continue; }
  say "cipher $1, key derivation $2: $made"
  tc_open "${disk}2" "c$1" "$old" || continue
  cmp -n "$(stat -c %s plain.img)" plain.img "/dev/mapper/c$1" || wrong "$made: the mapping does not read as what was encrypted"
  inside "c$1" vfat CASCADE
  tc_close "c$1"
done
checked
