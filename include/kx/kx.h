/*
 * libkx: storage access library of the appliance configuration tool.
 *
 * Plain C functions over plain records. Results are int codes: 1 success and
 * 0 failure unless a function says otherwise. Every device, disk, partition
 * and driver function is serialised by one process-wide library lock.
 */
#ifndef KX_KX_H
#define KX_KX_H

#include <stdint.h>

#if defined(__GNUC__)
#define KX_API __attribute__((visibility("default")))
#define KX_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define KX_API
#define KX_PRINTF_LIKE(fmt, args)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * A registry root key. Pass one of the Windows predefined key values (the
 * HKEY_* handles of the Windows API); the macros below are those values.
 */
typedef void* KX_HKEY;

#define KX_HKEY_CLASSES_ROOT ((KX_HKEY)(uintptr_t)0x80000000u)
#define KX_HKEY_CURRENT_USER ((KX_HKEY)(uintptr_t)0x80000001u)
#define KX_HKEY_LOCAL_MACHINE ((KX_HKEY)(uintptr_t)0x80000002u)
#define KX_HKEY_USERS ((KX_HKEY)(uintptr_t)0x80000003u)

/* Registry value types for kx_set_reg_string (the Windows REG_* values). */
#define KX_REG_SZ 1u
#define KX_REG_EXPAND_SZ 2u

/* Size the output buffer of kx_get_reg_string must have at least. */
#define KX_REG_STRING_SIZE 1024

/* ---- Start-up and shut-down ------------------------------------------- */

/* Detects the OS, creates the library lock and starts the lower layers.
   1 ready, 0 failed. Call once before any other kx_ function. Before it and
   after kx_soft_exit every device, disk, partition and driver function
   returns its failure value (0, NULL, 2 for the per-disk USB filter
   functions, 1 for kx_part_load and kx_part_unload, KX_FORMAT_NOT_STARTED
   for kx_part_format) and does nothing; the log, path, registry, OS and
   file copy functions work at any time. */
KX_API int kx_soft_init(void);

/* Stops the lower layers and closes the library lock. Destroy the device
   list (kx_dev_destroy) first. */
KX_API void kx_soft_exit(void);

/* OS code: 13 NT 6.x and later, 10 NT 5.2 server or domain controller,
   9 other NT 5.2, 8 NT 5.1, 7 NT 5.0, 6 NT 4, 4 Windows 4.90, 3 Windows
   4.10, 2 Windows 4.0, 1 Win32s, 0 anything else. Detected once per process. */
KX_API int kx_os_version(void);

/* ---- Paths under the Windows directory ---------------------------------- */

/* Each returns its own buffer, rewritten at every call of the same function
   and valid for the life of the process. */
KX_API const char* kx_soft_unpack_path(void);   /* <windows>\kxpart */
KX_API const char* kx_soft_system32_path(void); /* <windows>\system32 */
KX_API const char* kx_soft_backup_path(void);   /* <windows>\kxbackup */

/* ---- Library log (kxlog.txt) -------------------------------------------- */

/* Starts logging to kxlog.txt in the given directory. 1 done, 0 when the
   directory is missing, empty or too long. Until it is called every log
   write is silently dropped. */
KX_API int kx_log_init(const char* directory);

/* Writes the end marker; logging stays on. 0 when the log cannot be opened,
   else the result of closing the file. */
KX_API int kx_log_exit(void);

/* Appends one formatted line (at most 4095 characters; a longer one is not
   written at all). 1 written, 0 not written. */
KX_API int kx_printf(const char* format, ...) KX_PRINTF_LIKE(1, 2);

/* Appends "[file]:function(line): message" and a line feed. 1 written,
   0 not written. */
KX_API int kx_log(const char* file, const char* function, int line, const char* message);

/* ---- Registry strings --------------------------------------------------- */

/* Reads a string value into out, a zeroed buffer of at least
   KX_REG_STRING_SIZE bytes. 0 found, 1 key or value does not exist,
   2 any other failure. */
KX_API int kx_get_reg_string(KX_HKEY root, const char* value_name, char* out, const char* sub_key);

/* Creates the key when needed and writes the string, terminator included,
   as a value of the given type. 0 written, 1 failed. */
KX_API int kx_set_reg_string(KX_HKEY root, const char* value_name, const char* text, unsigned int type,
                             const char* sub_key);

/* ---- Records handed out by the device, disk and partition functions ---- */

/* A device handle (kx_dev_get): one USB storage disk the library found. */
typedef struct kx_device {
    char* name;      /* friendly name, for display */
    char* path;      /* kernel path of the whole disk, "\\Device\\HarddiskN\\Partition0" */
    int64_t size;    /* bytes */
    int removable;   /* 1 when the disk counts as removable */
} kx_device;

/* A disk handle (kx_disk_get): the disk's partition counts, kept current by
   every probe of the disk. */
typedef struct kx_disk {
    char* path;      /* kernel path of the whole disk */
    int64_t size;    /* bytes */
    int primary;     /* primary partitions */
    int extended;    /* 1 when the table has an extended partition */
    int logical;     /* logical partitions inside it */
} kx_disk;

/* Partition types (pflag) and walk selectors. */
#define KX_PART_ALL 0
#define KX_PART_PRIMARY 1
#define KX_PART_EXTENDED 2
#define KX_PART_LOGICAL 3

/* File-system kinds (fflag). */
#define KX_FS_NONE 0
#define KX_FS_FAT 1
#define KX_FS_FAT32 2
#define KX_FS_NTFS 3
#define KX_FS_PRIVATE_FAT 4
#define KX_FS_PRIVATE_FAT32 5
#define KX_FS_PRIVATE_NTFS 6
#define KX_FS_SYSTEM 7

/* A partition handle (kx_part_getinfo), valid until the table changes or is
   read again. */
typedef struct PedWinPart {
    char* name;        /* volume label, or NULL */
    char* path;        /* the partition's kernel path, or NULL while Windows does not show it */
    int type;          /* KX_PART_PRIMARY, KX_PART_EXTENDED or KX_PART_LOGICAL */
    int kind;          /* KX_FS_* */
    uint64_t size;     /* bytes */
    uint64_t free;     /* bytes */
    char* mountpoint;  /* "X:", or NULL */
    int private_volume; /* 1 when it holds an encrypted private volume */
    int loaded;        /* 1 when a private volume is mounted */
} PedWinPart;

/* The user information block kept in sector 0 of the appliance disk: four
   texts, each zero-terminated within its field. */
typedef struct kx_user_info {
    char text1[16];
    char text2[32];
    char text3[16];
    char text4[152];
} kx_user_info;

/* Size of the buffer for a USB parent id (kx_dev_get_vid_info, kx_dev_restart). */
#define KX_USB_ID_SIZE 1024

/* ---- Devices and disks ---------------------------------------------------- */

/* Builds or refreshes the list of disks. 1 done, 0 failed (the list is freed). */
KX_API int kx_dev_probe(void);
/* Frees the list; every device and disk handle becomes invalid. */
KX_API int kx_dev_destroy(void);
/* The next USB storage disk after prev (NULL: the first). flag 2 admits only
   removable disks; vid 0 admits any USB vendor id. NULL at the end. */
KX_API kx_device* kx_dev_get(kx_device* prev, int flag, int vid);
/* The upper-case instance id of the disk's USB device into out
   (KX_USB_ID_SIZE bytes). 1 found, 0 not. */
KX_API int kx_dev_get_vid_info(const char* devpath, char* out);
/* Disks added and removed since the last probe: 0 none, 1 added, 2 removed,
   3 both. */
KX_API int kx_dev_is_change(int* added, int* removed);
/* Does the disk need setting up: 0 or 1 yes (ask first), 2 or 3 go on. */
KX_API int kx_dev_is_need_format(const char* devpath);
/* Remove or restart the disk's USB device through the device console tool;
   its USB parent id goes to out. 1 started, 0 no USB parent. */
KX_API int kx_dev_remove(const char* devpath, char* out);
KX_API int kx_dev_restart(const char* devpath, char* out);
/* After a restart: probe again (up to 5 rounds) for the disk whose USB parent
   id is usb_id. 1 found (handle in *out), 0 not. */
KX_API int kx_dev_get_dev_restart(kx_device** out, const char* usb_id);

/* Reads the disk's table and waits (up to 3 x 4 s) until Windows shows its
   partitions. 1 ready, 0 not. */
KX_API int kx_disk_probe(const char* devpath);
KX_API int kx_disk_destroy(const char* devpath);
KX_API kx_disk* kx_disk_get(const char* devpath);
KX_API int kx_disk_ready(kx_disk* disk);
/* Free bytes: type 1 or 2 the primary area, 3 inside the extended partition. */
KX_API uint64_t kx_disk_freespace(kx_disk* disk, int type);
KX_API int kx_disk_get_userinfo(kx_disk* disk, kx_user_info* user);
KX_API int kx_disk_set_userinfo(kx_disk* disk, const kx_user_info* user);

/* ---- Partitions ----------------------------------------------------------- */

KX_API int kx_part_num(kx_disk* disk, int type);
KX_API PedWinPart* kx_part_getinfo(kx_disk* disk, PedWinPart* prev, int flag);
KX_API int kx_part_delete(PedWinPart* part);
KX_API int kx_part_delete_all(kx_disk* disk);
KX_API int kx_part_create(kx_disk* disk, int pflag, int fflag, uint64_t size);
/* The appliance's standard table on an emptied disk: the system partition of
   v4 bytes and publicnum (0 to 3) NTFS partitions of p1, p2, p3 bytes.
   1 created and ready, 0 not. */
KX_API int kx_part_create_pnum(kx_disk* disk, int publicnum, uint64_t p1, uint64_t p2, uint64_t p3, uint64_t v4);

/* Results of kx_part_format other than 0 (formatted). */
#define KX_FORMAT_NO_DRIVE 6       /* the partition has no drive letter; nothing was done */
#define KX_FORMAT_HELD 1           /* a private volume's device is held by another program, or the
                                      new private NTFS volume could not be mounted to format it */
#define KX_FORMAT_NO_FREE_LETTER 34 /* private NTFS: no drive letter from Z: to D: is free to format
                                       it through; nothing was done */
#define KX_FORMAT_PRIVATE_NOT_FORMATTED 100 /* private NTFS: the format service did not report
                                               success (or the user may not format drives) */
/* The format service never reported success. The command-line NTFS format
   was run (unless its label was refused), and may have formatted the drive
   NTFS; its outcome is not known. */
#define KX_FORMAT_FAILED 257
#define KX_FORMAT_NO_SERVICE 258   /* fmifs.dll or FormatEx is missing; nothing was done */
/* The label is longer than the file system keeps (NTFS 32 characters, FAT
   and FAT32 11 bytes of the OEM code page) or is not text of the system code
   page (nothing was done), or the command-line format was needed and the
   label holds other than letters, digits, '-', '_' and '.'. */
#define KX_FORMAT_BAD_LABEL 259
#define KX_FORMAT_NO_PARTITION 260 /* no partition, a stale handle, or one without a file system */
/* Private volumes: */
#define KX_FORMAT_NO_DRIVER 262    /* NTFS needs the encryption driver (kx_load_crypto_driver); nothing was done */
#define KX_FORMAT_BAD_PASSWORD 263 /* empty, or longer than 64 bytes; nothing was done */
/* The file system does not fit the partition (FAT up to 2 GiB, FAT32 from
   about 33 MiB), or the cluster size is not a power of two from 512 to
   32768; nothing was done. */
#define KX_FORMAT_BAD_SIZE 264
#define KX_FORMAT_WRITE_FAILED 265 /* writing the volume failed; its contents are lost */
#define KX_FORMAT_NOT_STARTED 266  /* called outside kx_soft_init..kx_soft_exit; nothing was done */

/* Formats the partition quickly (quickformat 1) or fully, with the file
   system of its kind (FAT, FAT32, NTFS; NTFS for any other kind), the label
   name (text of the system code page, at most 35 characters, NULL for none)
   and clustersize bytes a cluster (0: the file system's default). Without a
   password the partition must have a drive letter. With a password it
   becomes an encrypted private volume holding that file system (a private
   FAT volume keeps 11 bytes of the label); a full format fills it with
   encrypted data first. Private NTFS is formatted through the encryption
   driver on the last free letter from Z: down. Holds the library lock
   throughout. 0 formatted, else one of KX_FORMAT_*. Fetch the partition
   handles again afterwards. */
KX_API int kx_part_format(PedWinPart* part, const char* password, const char* name, int quickformat,
                          int clustersize);
/* Percentage 0 to 100 of the format running now, or of the last one: 100
   after a success, 0 after a format that ran and failed; a format refused
   before it started leaves it alone. Takes no lock, so another thread may
   poll it while kx_part_format runs; part only has to be non-NULL. */
KX_API double kx_part_format_progress(PedWinPart* part);

/* ---- Partition-table makers (libparted records) --------------------------- */

struct _PedDisk;
struct _PedPartition;

/* Adds a partition of the given libparted type (0 normal, 2 extended,
   1 logical) and file-system code to the table in memory, placed after
   start as the appliance's layout requires. Nothing is written until the
   table is committed. 1 created, 0 not. */
KX_API int ped_part_create_partition(struct _PedDisk* disk, int type, int code, uint64_t start, uint64_t end);
/* Removes a partition from the table in memory. 1 deleted, 0 not. */
KX_API int ped_part_delete(struct _PedPartition* part);

/* ---- Files -------------------------------------------------------------- */

/* Copies source over destination with write-through. 1 copied, 0 failed
   (a failed copy may leave a partial destination). */
KX_API int kx_copy_file_sync(const char* source, const char* destination);

/* ---- USB filter driver (kxusbflt) ----------------------------------------- */

/* Copies kxusbflt.sys (kxusbflt-x64.sys on 64-bit Windows) from the folder
   path into the Windows drivers folder (system32\DRIVERS, or SysWOW64\DRIVERS
   on 64-bit Windows) and registers the boot-start kernel service kxusbflt.
   1 the service is registered (now or before), 0 not. Never starts it. */
KX_API int kx_load_usb_driver(const char* path);
/* Does nothing; 1. */
KX_API int kx_unload_usb_driver(void);

/* Results of the functions below that name a disk by its devpath: 0 done,
   1 Windows asks for a restart to finish, 2 failed (no such disk in the
   device list, or a device call failed), 4 devpath missing. Probe first
   (kx_dev_probe): disks outside the device list are never touched. */

/* 1 when the disk's upper filter list names any filter, else 0. */
KX_API int kx_is_load_usb_driver_dev(const char* devpath);
/* Restarts the disk's node: a property change on 64-bit Windows, else a
   disable, 2 s, and an enable (the node is enabled again whatever the
   disable gave). 0, 1 or 2; 0 for a missing devpath. */
KX_API int kx_test_load_usb_driver_dev(const char* devpath);
/* Lists kxusbflt as the disk's upper filter and restarts the node. A disk
   that already lists any filter is left alone (0). On 1 or 2 the filter is
   taken off again and the node restarted. */
KX_API int kx_load_usb_driver_dev(const char* devpath);
/* Takes kxusbflt off the disk's upper filter list, keeping other filters,
   without a restart: 0 or 2. */
KX_API int kx_unload_usb_driver_dev(const char* devpath);
/* kx_load_usb_driver_dev without the undo, for every disk in the device
   list that lists no filter; 1 whatever each gave. */
KX_API int kx_load_usb_driver_dev_all(void);

/* ---- Encryption driver (kxcrypt) and private partitions -------------------- */

/* Passwords are byte strings of 1 to 64 bytes; a longer one is refused,
   never cut short. They are never written to any log. */

/* Copies kxcrypt.sys (kxcrypt-x64.sys on 64-bit Windows) from the folder
   path into the Windows drivers folder and attaches to the driver, loading
   it when it is not running. A running driver of another version is
   replaced unless an installed TrueCrypt owns it. 1 attached, 0 not. */
KX_API int kx_load_crypto_driver(const char* path);
/* Detaches; stops the driver when no volume is mounted through it and
   TrueCrypt does not own it. 1, or 0 outside kx_soft_init..kx_soft_exit. */
KX_API int kx_unload_crypto_driver(void);

/* Mounts a private partition on the letter of mountpoint ("X:"), or with
   NULL on the first letter from D: that Windows does not use. 0 loaded,
   1 not. Fetch the partition handles again afterwards: the disks are
   probed anew. */
KX_API int kx_part_load(PedWinPart* part, const char* password, const char* mountpoint);
/* Dismounts it, forced. 0 unloaded, 1 not. */
KX_API int kx_part_unload(PedWinPart* part);
/* 1 when pwd opens the partition's header (which is written again under
   it), else 0; a wrong password writes nothing. */
KX_API int kx_part_chk_pwd(PedWinPart* part, const char* pwd);
/* 1 when the header was re-encrypted under newpwd, else 0; a wrong oldpwd
   writes nothing. */
KX_API int kx_part_modify_pwd(PedWinPart* part, const char* oldpwd, const char* newpwd);

#ifdef __cplusplus
}
#endif

#endif /* KX_KX_H */
