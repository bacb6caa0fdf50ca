// Volumes made by another program open and decrypt as their maker wrote
// them, and what we write reads in the tests' second reader of the format
// (which shares no code with ours) for every algorithm and mode.
#include <fstream>
#include <iterator>

#include "crypto_reference.h"
#include "crypto/volume_keys.h"
#include "volume_reader.h"

namespace {

using namespace crypto_test;
using namespace kx::crypto;

Bytes readVolume(const std::string& name)
{
    std::ifstream in(std::string(ORVANE_VOLUMES_DIR) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool allZero(std::span<const std::uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

TEST(MadeElsewhere, EveryVolumeOpensAndDecryptsInBothReaders)
{
    const struct {
        const char* file;
        int algorithm;
        Mode mode;
        Prf prf;
        int version;
        bool bootSectorKept;
    } volumes[] = {
        {"tc_2-ripemd160-cbc-aes", 1, Mode::Cbc, Prf::RipeMd160, 2, true},
        {"tc_2-ripemd160-lrw-aes", 1, Mode::Lrw, Prf::RipeMd160, 2, true},
        {"tc_2-ripemd160-cbc-aes-twofish", 7, Mode::OuterCbc, Prf::RipeMd160, 2, false},
        {"tc_2-ripemd160-cbc-aes-blowfish", 12, Mode::InnerCbc, Prf::RipeMd160, 2, false},
        {"tc_1-sha1-cbc-blowfish", 2, Mode::Cbc, Prf::Sha1, 1, false},
    };
    for (const auto& v : volumes) {
        SCOPED_TRACE(v.file);
        const Bytes volume = readVolume(v.file);
        ASSERT_EQ(volume.size(), 38u * 512);
        const OpenResult opened = openHeader(passwordBytes("aaaaaaaaaaaa"), std::span<const std::uint8_t, 512>(volume.data(), 512));
        ASSERT_EQ(opened.error, HeaderError::None);
        EXPECT_EQ(opened.volume->algorithm->id, v.algorithm);
        EXPECT_EQ(opened.volume->mode, v.mode);
        EXPECT_EQ(opened.volume->prf, v.prf);
        EXPECT_EQ(opened.volume->fields.version, v.version);
        EXPECT_EQ(opened.volume->fields.dataAreaSize, 0u) << "no size field before version 3";
        EXPECT_EQ(openHeader(passwordBytes("aaaaaaaaaaab"), std::span<const std::uint8_t, 512>(volume.data(), 512)).error,
                  HeaderError::WrongPassword);

        const auto second = volume_reader::Volume::open(volume, "aaaaaaaaaaaa");
        ASSERT_TRUE(second);
        EXPECT_EQ(second->parameters().algorithm, v.algorithm);
        EXPECT_EQ(second->parameters().mode, static_cast<int>(v.mode));

        Bytes ours(volume.begin() + 512, volume.end());
        Bytes theirs = ours;
        ASSERT_TRUE(opened.volume->cipher->decryptData(0, ours));
        second->decrypt(0, theirs);
        EXPECT_EQ(ours, theirs);
        // Volume sector 35 lies in the root folder: its plain bytes are zero.
        EXPECT_TRUE(allZero(std::span(ours).subspan(34 * 512, 512)));
        if (v.bootSectorKept) {
            EXPECT_EQ(ours[510], 0x55);
            EXPECT_EQ(ours[511], 0xAA);
            EXPECT_EQ(Bytes(ours.begin() + 39, ours.begin() + 43), hex("bebaadde")) << "volume serial DEAD-BABE";
            EXPECT_EQ(std::string(ours.begin() + 54, ours.begin() + 59), "FAT12");
        } else {
            EXPECT_TRUE(allZero(std::span(volume).subspan(512, 512))) << "the publisher wiped the boot sector";
        }
    }
}

// A small FAT image made by mkfs.fat, in the clear.
Bytes fatImage(const std::string& path)
{
    const std::string command = "rm -f " + path + " && mkfs.fat -C -n OURS -i C0FFEE11 " + path + " 256 >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(MadeElsewhere, OurVolumesOfEveryAlgorithmAndModeReadInTheSecondReader)
{
    const std::string dir = testing::TempDir();
    const Bytes plain = fatImage(dir + "/plain.img");
    ASSERT_EQ(plain.size(), 256u * 1024);
    std::uint8_t counter = 0;
    const RandomSource random = [&counter](std::span<std::uint8_t> out) {
        for (std::uint8_t& b : out)
            b = static_cast<std::uint8_t>(counter++ * 73 + 11);
        return true;
    };
    for (const EncryptionAlgorithm& algorithm : allAlgorithms())
        for (Mode mode : algorithm.modes()) {
            SCOPED_TRACE(std::to_string(algorithm.id) + " " + modeName(mode));
            CreateOptions options;
            options.algorithm = algorithm.id;
            options.mode = mode;
            options.volumeSize = 512 + plain.size();
            options.allowLegacy = true;
            CreateResult created = createHeader(passwordBytes("shared secret"), options, random);
            ASSERT_EQ(created.error, HeaderError::None);
            Bytes volume(created.header.begin(), created.header.end());
            Bytes data = plain;
            ASSERT_TRUE(created.volume->cipher->encryptData(0, data));
            volume.insert(volume.end(), data.begin(), data.end());

            const std::string file = dir + "/volume.img", inside = dir + "/inside.img";
            std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(volume.data()), static_cast<std::streamsize>(volume.size()));
            volume_reader::Parameters found;
            ASSERT_EQ(volume_reader::decryptToFile(file, 0, volume.size(), "shared secret", inside, &found), "");
            EXPECT_EQ(found.algorithm, algorithm.id);
            EXPECT_EQ(found.mode, static_cast<int>(mode));
            std::ifstream in(inside, std::ios::binary);
            EXPECT_TRUE(Bytes(std::istreambuf_iterator<char>(in), {}) == plain);
            EXPECT_EQ(std::system(("fsck.fat -n " + inside + " >/dev/null").c_str()), 0);
        }
}

}  // namespace
