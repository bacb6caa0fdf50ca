// Volume headers as they come from a partition. The first byte picks how
// the rest is used: as the 512 raw bytes, or as the plain area that is then
// encrypted under a known password (magic and key-area CRC made right when
// asked), so the fields after a successful decryption get fuzzed too.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "crypto/crc32.h"
#include "crypto/volume_keys.h"

namespace {

using namespace kx::crypto;

constexpr std::uint8_t kPassword[] = {'f', 'u', 'z', 'z'};

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// The header key of the fixed password and an all-zero salt, made once.
const SecureBytes& headerKey()
{
    static const SecureBytes key = [] {
        SecureBytes k(largestKeyMaterial());
        const std::uint8_t salt[header::Salt::size] = {};
        check(pbkdf2(Prf::RipeMd160, kPassword, salt, headerIterations(Prf::RipeMd160), k.span()));
        return k;
    }();
    return key;
}

void fuzzRaw(const std::uint8_t* data, std::size_t size)
{
    HeaderBytes header{};
    std::memcpy(header.data(), data, std::min(size, header.size()));
    const OpenResult result = openHeader(kPassword, header);
    check(result.error != HeaderError::None || result.volume.has_value());
}

void fuzzPlain(bool fixUp, const std::uint8_t* data, std::size_t size)
{
    PlainHeader plain;
    auto bytes = plain.bytes();
    std::memcpy(bytes.data() + header::EncryptedArea::offset, data, std::min(size, header::EncryptedArea::size));
    if (fixUp) {
        std::ranges::copy(header::magic, bytes.begin() + header::Magic::offset);
        header::KeyAreaCrc::set(bytes, crc32(header::KeyArea::view(bytes)));
    }
    const EncryptionAlgorithm* aes = findAlgorithm(1);
    const auto cipher = VolumeCipher::create(*aes, Mode::Lrw, headerKey().span().first(secondaryKeySize + aes->keySize()));
    check(cipher && cipher->encryptHeaderArea(header::EncryptedArea::in(bytes)));
    HeaderBytes header{};
    std::ranges::copy(bytes, header.begin());

    const OpenResult result = openHeader(kPassword, header);
    if (!fixUp)
        return;
    // A header whose magic and CRC hold opens, or asks for a newer program.
    if (result.error == HeaderError::NewerProgramRequired)
        return;
    check(result.error == HeaderError::None && result.volume);
    check(result.volume->fields.requiredProgramVersion <= header::newestReadableProgramVersion);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t how = data[0];
    if (how & 1)
        fuzzPlain((how & 2) != 0, data + 1, size - 1);
    else
        fuzzRaw(data + 1, size - 1);
    return 0;
}
