// Helpers shared by the disk and partition operations on a matched disk.
#pragma once

#include <parted/parted.h>

#include "arch/pedwinbase.h"
#include "common/kx_text.h"

namespace kx {

// The entry whose device path is devpath, or none. Entries without a path
// are passed over.
PedWinDev* entryOfPath(const char* devpath);

// The partition whose embedded record is part, searched in every entry's
// table, so a stale or foreign handle is never dereferenced. None when no
// table holds it; owner receives the entry when given.
::PedPartition* findPartition(const PedWinPart* part, PedWinDev** owner = nullptr);

// The API's refresh of one partition record.
void refreshPartitionRecord(::PedPartition* part);

inline bool isExtended(const ::PedPartition* part) { return (part->type & PED_PARTITION_EXTENDED) != 0; }
inline bool isLogical(const ::PedPartition* part) { return (part->type & PED_PARTITION_LOGICAL) != 0; }

}  // namespace kx
