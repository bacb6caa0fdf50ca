// A disk described by a fuzz input: four bytes of its size in sectors, then
// records of a four-byte sector number and that sector's 512 bytes (the
// first record for a sector counts). Sectors no record names read as zeros,
// so seeds are the sectors that matter of a real image, where they lie.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>

namespace fuzzing {

class SparseDisk {
public:
    SparseDisk(const std::uint8_t* data, std::size_t size)
    {
        if (size < 4)
            return;
        std::memcpy(&sectors_, data, 4);
        for (std::size_t at = 4; at + 4 + 512 <= size; at += 4 + 512) {
            std::uint32_t lba = 0;
            std::memcpy(&lba, data + at, 4);
            held_.emplace(lba, data + at + 4);
        }
    }

    std::uint64_t sectors() const { return sectors_; }
    std::size_t held() const { return held_.size(); }

    // False past the end of the disk, as a device read there fails.
    bool read(std::uint64_t lba, std::uint8_t* out) const
    {
        if (lba >= sectors_)
            return false;
        const auto it = held_.find(lba);
        if (it == held_.end())
            std::memset(out, 0, 512);
        else
            std::memcpy(out, it->second, 512);
        return true;
    }

private:
    std::uint32_t sectors_ = 0;
    std::map<std::uint64_t, const std::uint8_t*> held_;
};

}  // namespace fuzzing
