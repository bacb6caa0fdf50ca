#include "crypto/volume_header.h"

#include <algorithm>
#include <chrono>

#include "crypto/crc32.h"

namespace kx::crypto {

using namespace header;

HeaderFields PlainHeader::fields() const
{
    const auto b = bytes();
    HeaderFields f;
    f.version = Version::get(b);
    f.requiredProgramVersion = RequiredProgramVersion::get(b);
    f.keyAreaCrc = KeyAreaCrc::get(b);
    f.creationTime = CreationTime::get(b);
    f.modificationTime = ModificationTime::get(b);
    f.hiddenVolumeSize = HiddenVolumeSize::get(b);
    f.dataAreaSize = DataAreaSize::get(b);
    return f;
}

void PlainHeader::setFields(const HeaderFields& f)
{
    const auto b = bytes();
    std::copy(magic.begin(), magic.end(), Magic::in(b).begin());
    Version::set(b, f.version);
    RequiredProgramVersion::set(b, f.requiredProgramVersion);
    KeyAreaCrc::set(b, f.keyAreaCrc);
    CreationTime::set(b, f.creationTime);
    ModificationTime::set(b, f.modificationTime);
    HiddenVolumeSize::set(b, f.hiddenVolumeSize);
    DataAreaSize::set(b, f.dataAreaSize);
    std::ranges::fill(Reserved::in(b), 0);
}

bool PlainHeader::hasMagic() const
{
    return std::ranges::equal(Magic::view(bytes()), magic);
}

bool PlainHeader::keyAreaIntact() const
{
    return crc32(KeyArea::view(bytes())) == KeyAreaCrc::get(bytes());
}

std::uint64_t fileTimeNow()
{
    using namespace std::chrono;
    // 1601-01-01 to 1970-01-01 in 100 ns ticks.
    constexpr std::uint64_t epochOffset = 116444736000000000ULL;
    const auto sinceUnix = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return epochOffset + static_cast<std::uint64_t>(sinceUnix / 100);
}

}  // namespace kx::crypto
