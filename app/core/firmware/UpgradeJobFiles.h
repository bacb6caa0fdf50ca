// The kernel and rootfs one upgrade extracts, under names of its own in the
// shared templates folder: no other job, in this program or another, writes
// or reads them. At the job's end they take the names the templates folder
// is known to hold them under ("kernel", "rootfs"), so those hold the parts
// of the job that ended last (or, when a job found them already holding its
// parts and wrote nothing, of one that ended earlier with the same bytes).
#pragma once

#include <string>

class UpgradeJobFiles {
public:
    // In folder; a folder of "" gives no files (the job must not extract).
    explicit UpgradeJobFiles(std::u16string folder);
    // Publishes what was extracted and deletes what is left.
    ~UpgradeJobFiles();
    UpgradeJobFiles(const UpgradeJobFiles&) = delete;
    UpgradeJobFiles& operator=(const UpgradeJobFiles&) = delete;

    bool Usable() const { return !m_folder.empty(); }
    // This job's file for UPGRADE_TYPE_KERNEL or UPGRADE_TYPE_ROOTFS.
    const std::u16string& Path(int nUpgradeType) const;
    // The name the folder is known to hold that part under.
    std::u16string Published(int nUpgradeType) const;

private:
    std::u16string m_folder, m_kernel, m_rootfs;
};
