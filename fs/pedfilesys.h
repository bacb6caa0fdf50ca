// The file-system record every primary and logical partition carries: its
// code, label, figures and four operations (refresh, format, mount, unmount).
#pragma once

#include <parted/parted.h>

#include "labels/partition_fs.h"

namespace kx {

namespace source {
// The module path the file-system operations report under.
inline constexpr const char* pedFileSys = ".\\fs\\pedfilesys";
}  // namespace source

// The format operation: 0 formatted, else a KX_FORMAT_* code (kx.h).
int ped_file_system_format(PedPartFs* fs, const char* password, const char* label, int quick, int clusterSize);
// The mount operation: the private volume mounted through the encryption
// driver on the mountpoint's letter, or on the first free one from D:.
// 1 mounted, 0 not.
int ped_file_system_mount(PedPartFs* fs, const char* password, const char* mountpoint);
// The unmount operation: 1 unmounted, 0 not.
int ped_file_system_umount(PedPartFs* fs);
// The process-wide percentage of the running or last format. Read without
// the library lock.
int ped_file_system_format_progress();

// Makes or refreshes the partition's record (the refresh operation).
PedPartFs* ped_file_system_refresh(::PedPartition* part, int codeZero);
// A new record with the code and the four operations; caller attaches it.
PedPartFs* ped_file_system_new(::PedPartition* part, int code);
void ped_file_system_destroy(PedPartFs* fs);
// Installs the record operations the partition table calls; start-up.
void ped_file_system_init();

}  // namespace kx
