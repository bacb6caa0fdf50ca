// The private-partition operations of a matched disk: load through the
// partition's file-system record, and the password check and change on the
// partition's raw volume.
#include "windev/pedwin_crypt_volume.h"
#include "arch/pedwin_disk_internal.h"
#include "fs/pedfilesys.h"
#include "labels/pedmsdos.h"

namespace kx {

namespace {

const char* volumePathOf(PedWinPart* part)
{
    ::PedPartition* p = findPartition(part);
    const PedDevice* dev = p ? partData(p)->dev : nullptr;
    return dev ? dev->path : nullptr;
}

// 1 when the header was written under the new password, else 0.
int rewriteHeader(PedWinPart* part, const char* oldText, const char* newText)
{
    const char* path = volumePathOf(part);
    PasswordRecord oldPassword, newPassword;
    const bool made = makePasswordRecord(oldText, oldPassword) && makePasswordRecord(newText, newPassword);
    const int result = made && path ? changeVolumePassword(path, oldPassword, newPassword) : kVolumeBadPassword;
    wipePasswordRecord(oldPassword);
    wipePasswordRecord(newPassword);
    return result == kVolumeOk || result == kVolumeWeakKey ? 1 : 0;
}

}  // namespace

int PedWinPartLoad(PedWinPart* part, const char* password, const char* mountpoint)
{
    ::PedPartition* p = findPartition(part);
    PedPartFs* fs = p ? partData(p)->fs : nullptr;
    if (!fs || !fs->ops.mount || !fs->ops.mount(fs, password, mountpoint))
        return 1;
    const PedDevice* dev = partData(p)->dev;
    setText(part->mountpoint, dev ? dev->mount_point : nullptr);
    part->loaded = fs->mounted;
    part->free = fs->free;
    refreshPartitionRecord(p);
    return 0;
}

int PedWinPartChkPwd(PedWinPart* part, const char* pwd)
{
    return rewriteHeader(part, pwd, pwd);
}

int PedWinPartModifyPwd(PedWinPart* part, const char* oldpwd, const char* newpwd)
{
    return rewriteHeader(part, oldpwd, newpwd);
}

}  // namespace kx
