// A mounted encrypted volume as the machine's programs see it: transfers
// through \\.\X: decrypt and encrypt on the fly, the file system formatted
// inside is only ever stored encrypted, and the mount outlives its process.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/crypt_testing.h"
#include "support/temp_machine.h"

using namespace win;
using namespace crypt_testing;
namespace fs = std::filesystem;

namespace {

class EncryptedVolume : public CryptVolumeTest {
protected:
    HANDLE openVolume(DWORD access = GENERIC_READ | GENERIC_WRITE)
    {
        return CreateFileA("\\\\.\\X:", access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    static bool contains(const std::string& haystack, const std::string& needle)
    {
        return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
    }
};

TEST_F(EncryptedVolume, WritesThroughTheLetterLandEncryptedUnderTheVolumesUnitNumbers)
{
    const auto made = mountedVolume('X');
    ASSERT_TRUE(made.volume);
    HANDLE volume = openVolume();
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    std::string plain;
    for (int i = 0; plain.size() < 4096; ++i)
        plain += "private line " + std::to_string(i) + "\n";
    plain.resize(4096);
    OVERLAPPED at{};
    at.Offset = 8192;
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(volume, plain.data(), 4096, &done, &at));
    EXPECT_EQ(done, 4096u);

    // On the disk: ciphertext, after the header, as data unit 8192 / 512.
    std::string stored = readAt(kStart + 512 + 8192, 4096);
    EXPECT_FALSE(contains(stored, "private line"));
    std::vector<std::uint8_t> units(stored.begin(), stored.end());
    ASSERT_TRUE(made.volume->cipher->decryptData(8192 / 512, units));
    EXPECT_EQ(std::string(units.begin(), units.end()), plain);

    std::string back(4096, '\0');
    ASSERT_TRUE(ReadFile(volume, back.data(), 4096, &done, &at));
    EXPECT_EQ(back, plain);
    // The volume ends where the partition ends, the header not counted.
    LARGE_INTEGER size{};
    ASSERT_TRUE(GetFileSizeEx(volume, &size));
    EXPECT_EQ(static_cast<std::uint64_t>(size.QuadPart), kLength - 512);
    at.Offset = static_cast<DWORD>(kLength - 512);
    EXPECT_FALSE(WriteFile(volume, plain.data(), 512, &done, &at));
    CloseHandle(volume);
    EXPECT_EQ(readAt(kStart + kLength, 512), std::string(512, '\0'));
}

TEST_F(EncryptedVolume, NtfsFormattedThroughTheLetterIsReadableInsideAndNeverStoredPlain)
{
    mountedVolume('X');
    formatEx("X:\\", u"NTFS", u"Vault");
    ASSERT_EQ(volume_testing::callbackLog().doneCount, 1);
    ASSERT_TRUE(volume_testing::callbackLog().doneValue);

    ULARGE_INTEGER freeBytes{}, total{}, totalFree{};
    ASSERT_TRUE(GetDiskFreeSpaceExA("X:\\", &freeBytes, &total, &totalFree));
    EXPECT_GT(total.QuadPart, kLength * 9 / 10);
    EXPECT_LE(total.QuadPart, kLength);
    EXPECT_GT(freeBytes.QuadPart, total.QuadPart / 2);
    EXPECT_LT(freeBytes.QuadPart, total.QuadPart);
    const auto info = volumeInfo("X:\\");
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.fileSystem, u"NTFS");
    EXPECT_EQ(info.label, u"Vault");
    HANDLE volume = openVolume(GENERIC_READ);
    DWORD got = 0;
    EXPECT_TRUE(DeviceIoControl(volume, FSCTL_IS_VOLUME_MOUNTED, nullptr, 0, nullptr, 0, &got, nullptr));
    CloseHandle(volume);

    // The raw partition: no boot sector text anywhere, the header still opens.
    const std::string raw = readAt(kStart, static_cast<std::size_t>(kLength));
    EXPECT_FALSE(contains(raw, "NTFS    "));
    EXPECT_FALSE(contains(raw, "$MFTMirr"));
    std::array<std::uint8_t, 512> header{};
    std::copy_n(raw.begin(), 512, header.begin());
    EXPECT_EQ(kx::crypto::openHeader(kx::crypto::passwordBytes(kPassword), header).error, kx::crypto::HeaderError::None);
    EXPECT_EQ(volumeInfo("D:\\").error, static_cast<DWORD>(ERROR_UNRECOGNIZED_VOLUME));  // outside, only noise
}

TEST_F(EncryptedVolume, AnotherProcessSeesTheMountAndAfterDismountTheLetterIsGone)
{
    mountedVolume('X');
    std::string out;
    ASSERT_EQ(testing_support::runCommand(testing_support::buildDir() + "/orvane-machine list", &out), 0) << out;
    EXPECT_NE(out.find("encrypted volume X: on " + partitionPath()), std::string::npos) << out;

    ASSERT_EQ(dismount('X', false), cd::RESULT_SUCCESS);
    EXPECT_EQ(openVolume(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(GetLogicalDrives() & (1u << driveNumber('X')));
    ULARGE_INTEGER total{};
    EXPECT_FALSE(GetDiskFreeSpaceExA("X:\\", nullptr, &total, nullptr));
    // A machine file that claims a volume on a disk it does not have is refused.
    std::ifstream in(dir_ / "machine.json");
    auto doc = nlohmann::json::parse(in);
    doc["crypt_volumes"] = nlohmann::json::array({{{"letter", "X"}, {"slot", 7}}});
    const auto damaged = dir_.parent_path() / "damaged";
    std::filesystem::create_directories(damaged);
    std::ofstream(damaged / "machine.json") << doc.dump();
    EXPECT_THROW(machine::Machine::open(damaged), machine::MachineError);
}

}  // namespace

namespace {

TEST_F(EncryptedVolume, ADiskPluggedInLaterNeverGetsAMountedVolumesLetter)
{
    const char first = state()->disks.at(1).partitions.at(0).letter;
    const char mounted = static_cast<char>(first + 1);
    mountedVolume(mounted);
    machine::DiskOptions options;
    options.size = 256ull << 20;
    const int slot = machine::addDisk(m(), options);
    partitionWithSfdisk(slot, "label: dos\\nstart=2048, size=100000, type=7\\n");
    const char given = state()->disks.at(static_cast<size_t>(slot)).partitions.at(0).letter;
    EXPECT_NE(given, 0);
    EXPECT_NE(given, mounted);
    EXPECT_NE(given, first);
}

}  // namespace

namespace {

// The key area of a mounted volume lives in the machine's state, which only
// its owner may read, whatever the umask and the file's earlier mode; the
// dismount takes it out again.
// Every file of the machine is searched for the key area, raw and as hex.
// Keys no mounted volume owns (a dismount killed between its steps, by an
// older order of them) are wiped and removed by the next mount or dismount,
// and the loaded volume keeps its own.
TEST_F(EncryptedVolume, KeysNoMountOwnsAreWipedByTheNextMountOrDismount)
{
    ASSERT_TRUE(mountedVolume('X').volume);
    const std::string secret(64, 'k');
    const fs::path held = dir_.parent_path() / "held";  // the same file under a second name
    auto plant = [&](const std::string& name) {
        const fs::path stray = dir_ / "keys" / name;
        std::ofstream(stray, std::ios::binary) << secret;
        fs::permissions(stray, fs::perms::owner_read | fs::perms::owner_write);
        fs::remove(held);
        fs::create_hard_link(stray, held);
        return stray;
    };
    auto keyFiles = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_ / "keys"))
            names.push_back(entry.path().filename().string());
        return names;
    };
    auto readFile = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    ASSERT_EQ(keyFiles().size(), 1u);

    fs::path stray = plant("999999.key");
    ASSERT_EQ(dismount('X', false), cd::RESULT_SUCCESS);
    EXPECT_FALSE(fs::exists(stray));
    EXPECT_EQ(readFile(held), std::string(secret.size(), '\0'));
    EXPECT_TRUE(keyFiles().empty());

    stray = plant("999998.key");
    ASSERT_EQ(mount(partitionPath(), 'Y'), cd::RESULT_SUCCESS);
    EXPECT_FALSE(fs::exists(stray));
    EXPECT_EQ(readFile(held), std::string(secret.size(), '\0'));
    EXPECT_EQ(keyFiles().size(), 1u);
    ASSERT_EQ(dismount('Y', false), cd::RESULT_SUCCESS);
}

TEST_F(EncryptedVolume, KeysLiveOnlyInTheirOwnFileWhileMountedAndTheOwnersAlone)
{
    const mode_t saved = ::umask(0);
    const auto made = mountedVolume('X');
    ::umask(saved);
    ASSERT_TRUE(made.volume);
    const std::span<const std::uint8_t> key = made.volume->keyArea.span().first(32);
    const std::string raw(key.begin(), key.end());
    std::string hex;
    for (std::uint8_t b : key) {
        static const char digits[] = "0123456789abcdef";
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    auto holders = [&] {
        std::vector<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
            if (!entry.is_regular_file() || entry.file_size() > (64u << 20))
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string text(std::istreambuf_iterator<char>(in), {});
            if (contains(text, raw) || contains(text, hex))
                found.push_back(entry.path().lexically_relative(dir_).string());
        }
        return found;
    };
    auto modeOf = [&](const fs::path& p) {
        struct stat st {};
        EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
        return st.st_mode & 0777;
    };
    const auto whileMounted = holders();
    ASSERT_EQ(whileMounted.size(), 1u) << testing::PrintToString(whileMounted);
    EXPECT_EQ(fs::path(whileMounted[0]).parent_path(), "keys");
    EXPECT_EQ(modeOf(dir_ / whileMounted[0]), 0600u);
    EXPECT_EQ(modeOf(dir_ / "keys"), 0700u);
    EXPECT_EQ(modeOf(dir_ / "machine.json"), 0600u);

    ASSERT_EQ(dismount('X', false), cd::RESULT_SUCCESS);
    EXPECT_TRUE(holders().empty());
    EXPECT_FALSE(fs::exists(dir_ / whileMounted[0]));
}

}  // namespace
