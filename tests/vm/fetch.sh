#!/usr/bin/env bash
# Downloads the guest's kernel, udev and cryptsetup from the Debian archive (apt-get
# download, never installed on this machine) into VMDIR/cache, once, and
# unpacks them into VMDIR/debs. Prints nothing on a second run.
#   tests/vm/fetch.sh VMDIR
set -euo pipefail
vm="$1"
cache="$vm/cache"
debs="$vm/debs"
mkdir -p "$cache"

# The metapackage names the kernel of the day; an empty answer means the
# package lists were never read on this machine.
kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*-amd64\)$/\1/p' | head -n1
}
kernel="$(kernel_package)"
if [ -z "$kernel" ]; then
  apt-get update >&2
  kernel="$(kernel_package)"
fi
[ -n "$kernel" ] || { echo "fetch: linux-image-amd64 names no kernel package" >&2; exit 1; }

# udevadm is systemd-udevd; libsystemd-shared is fetched beside it for the
# builds of udev that link it. cryptsetup reads our private volumes as an
# outside program; its other libraries come with this machine's own packages.
wanted=("$kernel" udev libsystemd-shared cryptsetup-bin libcryptsetup12 libpopt0)
stamp="$debs/.unpacked"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "${wanted[*]}" ]; then
  exit 0
fi

missing=()
for p in "${wanted[@]}"; do
  compgen -G "$cache/${p}_*.deb" >/dev/null || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "fetch: downloading ${missing[*]}" >&2
  (cd "$cache" && { apt-get download "${missing[@]}" >&2 || { apt-get update >&2 && apt-get download "${missing[@]}" >&2; }; })
fi

rm -rf "$debs"
mkdir -p "$debs"
for p in "${wanted[@]}"; do
  deb="$(ls -t "$cache/${p}"_*.deb | head -n1)"
  dpkg-deb -x "$deb" "$debs"
done
kver="${kernel#linux-image-}"
[ -f "$debs/boot/vmlinuz-$kver" ] || { echo "fetch: $kernel has no boot/vmlinuz-$kver" >&2; exit 1; }
echo "$kver" >"$debs/kernel-version"
# The package leaves modules.dep to its install scripts.
busybox depmod -b "$debs" "$kver"
echo "${wanted[*]}" >"$stamp"
