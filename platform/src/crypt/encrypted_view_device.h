// \\.\X: of a volume the encryption driver mounted: a device handle whose
// transfers go through the volume's encrypted view.
#pragma once

#include <memory>

#include "crypt/encrypted_view.h"
#include "files/file_objects.h"

namespace win::detail {

struct EncryptedVolumeObject : DeviceObject {
    std::unique_ptr<EncryptedView> view;
    bool readOnly = false;
    int openMark = -1;  // holds the mark that tells a dismount the volume is in use

    ~EncryptedVolumeObject() override;
    BOOL read(void* buffer, DWORD size, std::uint64_t offset, DWORD* done) override;
    BOOL write(const void* buffer, DWORD size, std::uint64_t offset, DWORD* done) override;

private:
    bool stillMounted() const;
};

// Null, with the last error set, when the volume cannot be opened.
std::shared_ptr<EncryptedVolumeObject> makeEncryptedVolumeObject(const machine::Machine& m, const machine::State& state,
                                                                 const DeviceTarget& target);

// The lock file of one mount of an encrypted volume: share modes, and the
// marks of the handles open on it, across processes.
int openCryptVolumeLockFile(const machine::Machine& m, char letter, std::uint64_t mountStamp);
bool cryptVolumeInUse(const machine::Machine& m, char letter, std::uint64_t mountStamp);
void removeCryptVolumeLockFile(const machine::Machine& m, char letter, std::uint64_t mountStamp);

}  // namespace win::detail
