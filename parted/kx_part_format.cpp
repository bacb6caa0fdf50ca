// Formatting a partition through the API, and the progress other threads
// poll while it runs.
#include <string>

#include "arch/pedwin_disk_internal.h"
#include "arch/pedwinbase.h"
#include "kx/kx.h"
#include "parted/kx_api_support.h"
#include "common/kx_lock.h"
#include "common/kx_message.h"
#include "parted/kx_session.h"

namespace {

// What a private volume's creation answers when its device is held.
constexpr int kDeviceHeld = 36;

}  // namespace

extern "C" {

int kx_part_format(PedWinPart* part, const char* password, const char* name, int quickformat, int clustersize)
{
    KX_REQUIRE_STARTED(KX_FORMAT_NOT_STARTED);
    if (!part) {
        KX_REPORT(kx::source::kxPart, "part == NULL");
        // Never 0, which callers read as formatted.
        return KX_FORMAT_NO_PARTITION;
    }
    int result = KX_FORMAT_NO_PARTITION;
    std::string path;
    {
        // Held for the whole format: one format at a time, and no table
        // change under it. kx_part_format_progress does not wait for it.
        kx::LibraryLock lock;
        path = kx::logText(kx::findPartition(part) ? part->path : nullptr);
        result = kx::PedWinPartFormat(part, password, name, quickformat, clustersize);
        if (result == kDeviceHeld)
            result = KX_FORMAT_HELD;
    }
    kx_printf("LOG:[%s:%s:%d]: Partition format: %s: name: %s, quickformat: %d, clustersize: %d\n",
              KX_WHERE(kx::source::kxPart), path.c_str(), kx::logText(name).c_str(), quickformat, clustersize);
    return result;
}

double kx_part_format_progress(PedWinPart* part)
{
    KX_REQUIRE_STARTED(0.0);
    if (!part) {
        KX_REPORT(kx::source::kxPart, "part == NULL");
        return 0.0;
    }
    return static_cast<double>(kx::PedWinPartFormatProgress(part));
}

}  // extern "C"
