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
   1 ready, 0 failed. Call once before any other kx_ function. */
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

/* ---- Files -------------------------------------------------------------- */

/* Copies source over destination with write-through. 1 copied, 0 failed
   (a failed copy may leave a partial destination). */
KX_API int kx_copy_file_sync(const char* source, const char* destination);

#ifdef __cplusplus
}
#endif

#endif /* KX_KX_H */
