// The plain bytes of a mounted encrypted volume: data units decrypted as
// they come off the disk and encrypted on their way to it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "platform/machine.h"
#include "volumes/partition_reader.h"

namespace kx::crypto {
class VolumeCipher;
}

namespace win::detail {

class EncryptedView {
public:
    // Null when the record names a cipher this program cannot use, or its
    // keys cannot be had.
    static std::unique_ptr<EncryptedView> create(const machine::Machine& m, const machine::CryptVolume& volume);
    ~EncryptedView();

    std::uint64_t length() const { return length_; }
    // Where the data area starts on the disk.
    std::uint64_t diskOffset() const { return diskOffset_; }

    // Whole units in place; at is a unit-aligned offset into the data area.
    [[nodiscard]] bool decrypt(std::uint64_t at, std::span<std::uint8_t> data) const;
    [[nodiscard]] bool encrypt(std::uint64_t at, std::span<std::uint8_t> data) const;

    // Plain reads of any range, through the disk image open on fd.
    PartitionReader reader(int fd) const;

private:
    EncryptedView() = default;
    std::unique_ptr<kx::crypto::VolumeCipher> cipher_;
    std::uint64_t diskOffset_ = 0;
    std::uint64_t length_ = 0;
    mutable std::mutex mutex_;  // a cipher serves one thread at a time
};

// The header's key area as the machine keeps it, and back.
std::string keyAreaText(std::span<const std::uint8_t> keyArea);

}  // namespace win::detail
