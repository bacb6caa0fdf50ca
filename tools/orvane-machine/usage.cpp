#include "commands.h"

namespace machine_tool {

std::string usageText()
{
    return R"(Usage: orvane-machine [--machine DIR] COMMAND [ARGUMENTS]

Controls an emulated Windows machine: a folder with machine.json, disk images
and drive_c/. The machine is --machine DIR (before or after the command), else
$KX_MACHINE, else the default machine, created on first use.

Commands:
  create DIR [--host-disks]
                    make a new machine in DIR (system disk 0 and an 8 GiB
                    USB appliance disk 1) and show it; with --host-disks its
                    USB disks are the host's (see host_disks)
  list              show the machine's settings, disks and partitions, disk
                    drive nodes (upper filters, disabled, state changes),
                    services, encrypted volumes and the latest drive change
                    announced
  add-disk [OPTIONS]
                    add a disk and plug it in; prints its slot, the number
                    that list shows after "disk"
      --size SIZE           bytes, or with K, M, G or T (binary units);
                            a multiple of 512 (default 8G, or the backing's)
      --vendor V            SCSI vendor, up to 8 characters
      --product P           SCSI product, up to 16 characters
      --revision R          SCSI revision, up to 4 characters
      --serial S            serial number (default made up from the slot)
      --vid HEX             USB vendor id (default 1209)
      --pid HEX             USB product id (default 4F43)
      --removable           the disk reports removable media
      --usb                 attach on USB (the default)
      --fixed-bus           attach on a fixed (SCSI/ATA) bus instead of USB
      --friendly-name NAME  the name the device manager shows
      --backing PATH        an existing image file or block device instead of
                            a new sparse image; a block device gives its size
  plug N            plug disk N back in
  unplug N          unplug disk N
  set KEY=VALUE ...           change machine settings
  set --disk N KEY=VALUE ...  change settings of disk N
                    all pairs apply, or none when one is refused
  disk-path N       print the file or device behind disk N
  put-file X: HOSTFILE NAME
                    copy a host file into the NTFS of the encrypted volume
                    mounted on X: as NAME (ntfscp from ntfs-3g)
  get-file X: NAME HOSTFILE
                    copy file NAME out of the NTFS of the encrypted volume
                    mounted on X: into a host file (ntfscat from ntfs-3g)
  watch [--seconds N]
                    print each disk notice a window of the application gets,
                    as it comes: milliseconds since the start, then arrival,
                    removal or changed, then the disk's interface path if
                    any; host disks are followed as they are plugged and
                    pulled; ends after N seconds (default: when killed)
  help, --help      show this text

Machine settings:
  time_scale        Sleep(ms) lasts ms * time_scale (default 1)
  host_disks        on: the USB disk slots follow the host's USB disks, read
                    and written for real (root); disks in use by the host are
                    refused with the reason (default off)
  os                win32s, 95, 98, me, nt4, 2000, xp, xp64, 2003, vista, 7, 8, 10
  os.platform, os.major, os.minor, os.build
                    the numbers GetVersionExA reports
  os.product_type   workstation, dc, server or a number
  os.csd            the service pack text
  os.fails          GetVersionExA fails (true/false)
  wow64             a 32-bit program on 64-bit Windows (true/false)
  lang_id           zh-CN, zh-TW, zh-HK, en-US or a number
  acp, oemcp        code pages 936, 950, 1252, 437, or 0 to follow lang_id
  admin             the user is an administrator (true/false)
  uac               user account control is on (true/false)
  format_service    what fmifs.dll's FormatEx does: ok (formats), absent (the
                    library does not load), fails (reports failure at once),
                    fails_at_99 (reports up to 99 percent, then failure)
  cryptoapi         what CryptoAPI does: ok (random from the system), no_keyset
                    (the default key set must be made first), absent (no
                    provider), fails (CryptGenRandom fails)
  crypt_driver_version
                    another product's encryption driver, answering this
                    interface version, holds \\.\TrueCrypt (0: none)
  crypt_busy        LETTER:COUNT: the next COUNT dismounts of that encrypted
                    volume answer busy, even forced ones (none clears it)

Disk settings:
  removable, read_only, write_protect           true/false
  publish_delay_ms  partitions appear this late after a table re-read
  letter_delay_ms   and their drive letters this much later still
  restart_returns   a USB restart brings the disk back (true/false)
  restart_new_instance  it comes back under a new instance id
  restart_new_number    it comes back under a new disk number
  fail_read_at, fail_write_at  a read or write covering this sector fails
  short_write_at    a write covering this sector stops before it
  vanish_at         a write covering this sector unplugs the disk
  (sector settings take a sector number, or none to clear them; they also
  hit the format service's writes into the disk)
  fault_skip_writes that many writes covering a write fault's sector pass
                    unharmed before it strikes
  write_log         every write's first sector, sector count and origin (io,
                    format) is appended to disk<N>-writes.log in the machine
  refuse_exclusive  opens without sharing fail (true/false)
  refuse_device_number  the disk does not answer IOCTL_STORAGE_GET_DEVICE_NUMBER,
                    as some Windows releases' drivers do not (true/false)
  vendor, product, revision, friendly_name      the disk's names
  node_reboot_on    after these state changes of the disk drive's node its
                    class installer asks for a reboot (DI_NEEDREBOOT); the
                    change is made all the same: none, all, or a comma list
                    of disable, enable, propchange
  node_fail_on      the class installer refuses these state changes (same words)

Exit status: 0 done, 1 the machine refused or failed, 2 bad command line.
)";
}

}  // namespace machine_tool
