#include "app/core/firmware/UpgradeJobFiles.h"

#include <atomic>

#include "app/core/firmware/UpgradeRegions.h"
#include "app/core/log/ComnLog.h"
#include "app/core/support/WideText.h"
#include "platform/win_api.h"

namespace {

std::atomic<unsigned> gJobCount{0};

}  // namespace

UpgradeJobFiles::UpgradeJobFiles(std::u16string folder) : m_folder(std::move(folder))
{
    if (m_folder.empty())
        return;
    const std::u16string tag = Utf8ToWide(".job" + std::to_string(win::GetCurrentProcessId()) + "-" +
                                          std::to_string(gJobCount.fetch_add(1)));
    m_kernel = m_folder + u"\\kernel" + tag;
    m_rootfs = m_folder + u"\\rootfs" + tag;
}

UpgradeJobFiles::~UpgradeJobFiles()
{
    for (const auto& [own, type] : {std::pair{&m_kernel, UPGRADE_TYPE_KERNEL}, std::pair{&m_rootfs, UPGRADE_TYPE_ROOTFS}}) {
        if (own->empty() || win::GetFileAttributesW(own->c_str()) == win::INVALID_FILE_ATTRIBUTES)
            continue;
        const std::u16string named = Published(type);
        if (!win::MoveFileExW(own->c_str(), named.c_str(), win::MOVEFILE_REPLACE_EXISTING)) {
            COMN_LOG("%s : %s : %d extracted file not published! %s", WideToUtf8(named).c_str());
            win::DeleteFileW(own->c_str());
        }
    }
}

std::u16string UpgradeJobFiles::Published(int nUpgradeType) const
{
    return m_folder + (nUpgradeType == UPGRADE_TYPE_KERNEL ? u"\\kernel" : u"\\rootfs");
}

const std::u16string& UpgradeJobFiles::Path(int nUpgradeType) const
{
    return nUpgradeType == UPGRADE_TYPE_KERNEL ? m_kernel : m_rootfs;
}
