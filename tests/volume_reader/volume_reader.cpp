#include "volume_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "modes.h"

namespace volume_reader {

namespace {

constexpr std::size_t kSector = 512;
constexpr std::size_t kSeedSize = 32;  // IV seed or tweak key, before the cipher keys

const CipherKind kAes{GCRY_CIPHER_AES256, 16, 32, false};
const CipherKind kBlowfish{GCRY_CIPHER_BLOWFISH, 8, 56, true};
const CipherKind kCast5{GCRY_CIPHER_CAST5, 8, 16, false};
const CipherKind kSerpent{GCRY_CIPHER_SERPENT256, 16, 32, false};
const CipherKind kTripleDes{GCRY_CIPHER_3DES, 8, 24, false};
const CipherKind kTwofish{GCRY_CIPHER_TWOFISH, 16, 32, false};

struct Algorithm {
    int id;
    std::vector<CipherKind> ciphers;
    std::vector<int> modes;
};

const std::vector<Algorithm>& algorithms()
{
    static const std::vector<Algorithm> table = {
        {1, {kAes}, {1, 2}},
        {2, {kBlowfish}, {1, 2}},
        {3, {kCast5}, {1, 2}},
        {4, {kSerpent}, {1, 2}},
        {5, {kTripleDes}, {1, 2}},
        {6, {kTwofish}, {1, 2}},
        {7, {kTwofish, kAes}, {1, 3}},
        {8, {kSerpent, kTwofish, kAes}, {1, 3}},
        {9, {kAes, kSerpent}, {1, 3}},
        {10, {kAes, kTwofish, kSerpent}, {1, 3}},
        {11, {kSerpent, kTwofish}, {1, 3}},
        {12, {kBlowfish, kAes}, {4}},
        {13, {kSerpent, kBlowfish, kAes}, {4}},
    };
    return table;
}

struct PrfKind {
    int id;
    int hash;
    unsigned long iterations;
};

constexpr PrfKind kPrfs[] = {
    {1, GCRY_MD_RMD160, 2000},
    {2, GCRY_MD_SHA1, 2000},
    {3, GCRY_MD_WHIRLPOOL, 1000},
};

Cascade keyed(const Algorithm& algorithm, std::span<const std::uint8_t> material)
{
    Cascade ciphers;
    std::size_t at = kSeedSize;
    for (const CipherKind& kind : algorithm.ciphers) {
        ciphers.push_back(std::make_shared<const Ecb>(kind, material.subspan(at, kind.keySize)));
        at += kind.keySize;
    }
    return ciphers;
}

// Undoes one mode over sectors or the header area. sector: the first
// sector's number from the volume's start, or none for the header area.
void undoMode(int mode, const Cascade& ciphers, std::span<const std::uint8_t> seed, std::optional<std::uint64_t> sector,
              std::span<std::uint8_t> data)
{
    const std::size_t n = ciphers.front()->blockSize();
    if (mode == 1) {
        const std::uint64_t first = sector ? (*sector - 1) * (kSector / n) + 1 : 1;
        lrwDecrypt(ciphers, seed, first, data);
        return;
    }
    const std::size_t unit = sector ? kSector : data.size();
    for (std::size_t at = 0; at < data.size(); at += unit) {
        const std::span<std::uint8_t> part = data.subspan(at, unit);
        const std::uint64_t number = sector ? *sector + at / kSector : 0;
        if (mode != 4) {
            cbcDecrypt(ciphers, sector ? sectorStart(seed, n, number) : headerStart(seed, n), part);
            continue;
        }
        // Inner CBC: each cipher chained on its own, the last one undone first.
        for (auto it = ciphers.rbegin(); it != ciphers.rend(); ++it) {
            const std::size_t size = (*it)->blockSize();
            cbcDecrypt({*it}, sector ? sectorStart(seed, size, number) : headerStart(seed, size), part);
        }
    }
}

class OpenVolume : public Volume {
public:
    OpenVolume(Parameters parameters, const Algorithm& algorithm, Bytes keyArea)
        : parameters_(parameters), keyArea_(std::move(keyArea)), ciphers_(keyed(algorithm, keyArea_))
    {
    }

    Parameters parameters() const override { return parameters_; }

    void decrypt(std::uint64_t dataSector, std::span<std::uint8_t> sectors) const override
    {
        undoMode(parameters_.mode, ciphers_, std::span(keyArea_).first(kSeedSize), dataSector + 1, sectors);
    }

private:
    Parameters parameters_;
    Bytes keyArea_;
    Cascade ciphers_;
};

std::uint32_t bigEndian32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The process may share libgcrypt with the product: set it up only when
// nobody has, with the secure memory a product in the same process needs.
void ensureGcrypt()
{
    static const bool ready = [] {
        if (!gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) {
            gcry_check_version(nullptr);
            gcry_control(GCRYCTL_INIT_SECMEM, 256 * 1024, 0);
            gcry_control(GCRYCTL_AUTO_EXPAND_SECMEM, 256 * 1024, 0);
            gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        }
        return true;
    }();
    (void)ready;
}

}  // namespace

std::unique_ptr<Volume> Volume::open(std::span<const std::uint8_t> header, std::string_view password)
{
    if (header.size() < kSector || password.empty())
        return nullptr;
    ensureGcrypt();
    for (const PrfKind& prf : kPrfs) {
        Bytes material(kSeedSize + 3 * 56);
        if (gcry_kdf_derive(password.data(), password.size(), GCRY_KDF_PBKDF2, prf.hash, header.data(), 64,
                            prf.iterations, material.size(), material.data()) != 0)
            continue;
        for (const Algorithm& algorithm : algorithms())
            for (int mode : algorithm.modes) {
                const Cascade ciphers = keyed(algorithm, material);
                if (!std::all_of(ciphers.begin(), ciphers.end(), [](const auto& c) { return c->ok(); }))
                    continue;
                Bytes plain(header.begin() + 64, header.begin() + kSector);
                undoMode(mode, ciphers, std::span(material).first(kSeedSize), std::nullopt, plain);
                // Offsets from the start of the encrypted area (header byte 64).
                const bool magic = std::equal(plain.begin(), plain.begin() + 4, "TRUE");
                const Bytes keyArea(plain.begin() + 192, plain.end());
                if (!magic || crc32Of(keyArea) != bigEndian32(plain.data() + 8))
                    continue;
                const Parameters found{algorithm.id, mode, prf.id, plain[4] << 8 | plain[5]};
                return std::make_unique<OpenVolume>(found, algorithm, keyArea);
            }
    }
    return nullptr;
}

std::string decryptToFile(const std::string& source, std::uint64_t offset, std::uint64_t length,
                          std::string_view password, const std::string& target, Parameters* found)
{
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return "cannot open " + source;
    Bytes header(kSector);
    std::unique_ptr<Volume> volume;
    if (::pread(in, header.data(), kSector, static_cast<off_t>(offset)) == static_cast<ssize_t>(kSector))
        volume = Volume::open(header, password);
    if (!volume) {
        ::close(in);
        return "the password opens no header at " + std::to_string(offset);
    }
    if (found)
        *found = volume->parameters();
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const std::uint64_t dataLength = (length / kSector - 1) * kSector;
    std::string error = out < 0 || ::ftruncate(out, static_cast<off_t>(dataLength)) != 0 ? "cannot write " + target : "";
    Bytes chunk(1 << 20);
    for (std::uint64_t at = 0; error.empty() && at < dataLength; at += chunk.size()) {
        chunk.resize(std::min<std::uint64_t>(chunk.size(), dataLength - at));
        if (::pread(in, chunk.data(), chunk.size(), static_cast<off_t>(offset + kSector + at)) !=
            static_cast<ssize_t>(chunk.size())) {
            error = "short read at " + std::to_string(at);
            break;
        }
        // Runs of written sectors, each decrypted and written at once.
        auto blank = [&](std::size_t s) {
            return std::all_of(chunk.begin() + s, chunk.begin() + s + kSector, [](std::uint8_t b) { return b == 0; });
        };
        for (std::size_t s = 0; s < chunk.size();) {
            std::size_t end = s;
            while (end < chunk.size() && !blank(end))
                end += kSector;
            if (end == s) {
                s += kSector;
                continue;
            }
            const std::span<std::uint8_t> run(chunk.data() + s, end - s);
            volume->decrypt((at + s) / kSector, run);
            if (::pwrite(out, run.data(), run.size(), static_cast<off_t>(at + s)) != static_cast<ssize_t>(run.size()))
                error = "cannot write " + target;
            s = end;
        }
    }
    ::close(in);
    if (out >= 0)
        ::close(out);
    return error;
}

}  // namespace volume_reader
