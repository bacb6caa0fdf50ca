#!/usr/bin/env bash
# Rebuilds the seed corpora in fuzz/corpus/ with the project's own tools (from
# build/, so run ./dev build first) and sfdisk. The seeds are committed; run
# this again when a format changes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD:-$root/build}"
out="$root/fuzz/corpus"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

seed_dir() { rm -rf "$out/$1"; mkdir -p "$out/$1"; echo "$out/$1"; }

# Four little-endian bytes.
le32() {
  local v=$1
  printf "\\x$(printf %02x $((v & 255)))\\x$(printf %02x $((v >> 8 & 255)))"
  printf "\\x$(printf %02x $((v >> 16 & 255)))\\x$(printf %02x $((v >> 24 & 255)))"
}

# A disk as mbr_scan and label_chain read it (sparse_disk.h): its size in
# sectors, then each sector that holds a table and is not all zeros.
sparse_seed() {
  local image=$1 file=$2
  local sectors=$(($(stat -c %s "$image") / 512))
  local candidates="0 $(seq 1 255)"
  # Extended boot records of a spread-out layout: at the extended partition's
  # start and before each logical partition.
  candidates+=" $(sfdisk --dump "$image" 2>/dev/null |
    sed -n 's/.*start= *\([0-9]*\),.*type= *\([0-9a-f]*\).*/\1 \2/p' |
    while read -r start type; do echo "$start $((start - 1))"; done || true)"
  {
    le32 "$sectors"
    for lba in $(echo "$candidates" | tr ' ' '\n' | sort -nu); do
      [ "$lba" -lt "$sectors" ] || continue
      local bytes
      bytes="$(dd if="$image" bs=512 skip="$lba" count=1 status=none | tr -d '\0' | wc -c)"
      [ "$bytes" -gt 0 ] || continue
      le32 "$lba"
      dd if="$image" bs=512 skip="$lba" count=1 status=none
    done
  } >"$file"
}

# Small images laid out by sfdisk, compact enough that their first 64 sectors
# hold every table record (label_table reads the disk's first bytes).
tables() {
  local i=0
  while IFS= read -r script; do
    i=$((i + 1))
    truncate -s 16M "$work/t$i.img"
    printf "label: dos\n%b" "$script" | sfdisk --no-reread -q "$work/t$i.img" >/dev/null
    echo "$work/t$i.img"
  done <<'LAYOUTS'
start=4, size=60, type=7\nstart=64, size=64, type=b, bootable\n
start=4, size=20, type=83\nstart=32, size=200, type=5\nstart=34, size=20, type=7\nstart=60, size=20, type=b\nstart=90, size=20, type=82\n
start=2, size=30, type=c\nstart=40, size=100, type=f\nstart=42, size=10, type=17\nstart=60, size=10, type=1b\nstart=300, size=40, type=ee\n
LAYOUTS
}

# The appliance's own layout, as orvane setup writes it on a small disk.
machine="$work/machine"
"$build/orvane-machine" create "$machine" >/dev/null
export KX_MACHINE="$machine"
"$build/orvane-machine" set time_scale=0.001 >/dev/null
cp "$machine/machine.json" "$work/machine-new.json"
"$build/orvane" setup --partitions 3 --sizes 300,400 --yes >/dev/null
appliance="$("$build/orvane-machine" disk-path 1)"

dir=$(seed_dir mbr_scan); dir2=$(seed_dir label_chain); dir3=$(seed_dir label_table)
n=0
for image in $(tables) "$appliance"; do
  n=$((n + 1))
  sparse_seed "$image" "$dir/disk$n"
  cp "$dir/disk$n" "$dir2/disk$n"
  head -c $((64 * 512)) "$image" >"$dir3/disk$n"
done

dir=$(seed_dir machine_json)
cp "$work/machine-new.json" "$dir/new.json"
"$build/orvane-machine" set os=xp lang_id=0x0404 acp=950 format_service=fails_at_99 >/dev/null
"$build/orvane-machine" set --disk 1 fail_write_at=8482 publish_delay_ms=2000 restart_new_number=1 >/dev/null
"$build/cmddev" restart "USB\VID_1209&PID_4F43" >/dev/null || true
cp "$machine/machine.json" "$dir/set-up.json"

# The DOS name journal of the set-up's device searches, and one with stacked,
# removed and escaped names.
dir=$(seed_dir dos_journal)
cp "$machine/dos_devices.journal" "$dir/set-up.journal"
printf 'orvane dos names 0123456789abcdef\n+\tKELVAR1\t\\Device\\Harddisk1\\Partition0\n+\tKELVAR1\t\\Device\\Harddisk0\\Partition0\n+\tQ:\t\\??\\C:\\with%%09tab%%25\n-\tKELVAR1\t\\Device\\Harddisk1\\Partition0\n' \
  >"$dir/stacked.journal"

dir=$(seed_dir upgrade_header)
# yes ends on a broken pipe, which is how it should end here.
filler() { yes "$1" | head -c "$2" || true; }
filler kernel 700 >"$work/kernel"
filler rootfs 900 >"$work/rootfs"
filler boot 64 >"$work/boot"
"$build/orvane" image create --kernel "$work/kernel" --rootfs "$work/rootfs" -o "$dir/plain.bin" >/dev/null
"$build/orvane" image create --kernel "$work/kernel" --rootfs "$work/rootfs" --bsize-file "$work/boot" \
  -o "$dir/boot.bin" >/dev/null
head -c 1000 "$dir/plain.bin" >"$dir/truncated.bin"

# The language files and setting.txt the application writes on its first start.
dir=$(seed_dir private_profile)
lang="$work/lang-machine"
"$build/orvane-machine" create "$lang" >/dev/null
QT_QPA_PLATFORM=offscreen "$build/orvane-config" --machine "$lang" --screenshot "$work/shot.png" >/dev/null 2>&1
templates="$lang/drive_c/ProgramData/Microsoft/Windows/Templates"
cp "$templates"/UpgradeLanguage/*.ini "$templates/setting.txt" "$dir/"

# Volume headers: the first byte 0 takes the rest as a raw header (one made by
# orvane private format with the target's password "fuzz"), 3 as the plain
# area the target encrypts itself, with the magic and CRC made right.
dir=$(seed_dir truecrypt_header)
vol="$work/vol-machine"
"$build/orvane-machine" create "$vol" >/dev/null
"$build/orvane-machine" --machine "$vol" set time_scale=0 >/dev/null
printf 'label: dos\nstart=2048, size=204800, type=16\n' |
  sfdisk --no-reread --no-tell-kernel -q "$("$build/orvane-machine" --machine "$vol" disk-path 1)"
"$build/orvane-machine" --machine "$vol" unplug 1 >/dev/null
"$build/orvane-machine" --machine "$vol" plug 1 >/dev/null
echo fuzz >"$work/pw"
"$build/orvane" --machine "$vol" private format 1 --label Seed --yes --password-fd 3 3<"$work/pw" >/dev/null
{ printf '\x00'; dd if="$("$build/orvane-machine" --machine "$vol" disk-path 1)" bs=512 skip=2048 count=1 status=none; } \
  >"$dir/made.bin"
# Header version 2, program version 0x0410 required, the rest zero.
{ printf '\x03TRUE\x00\x02\x04\x10'; head -c 440 /dev/zero; } >"$dir/plain-fields.bin"
{ printf '\x03TRUE\x00\x02\x04\x3b'; head -c 440 /dev/zero; } >"$dir/plain-newer.bin"

echo "seeds written to $out:"
du -sh "$out"/*
