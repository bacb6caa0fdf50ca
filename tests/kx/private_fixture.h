// Set-up of the private partition tests: a private partition beside the
// system partition, its header opened with the crypto layer's own code and
// its inside read with the tests' second reader of the format.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "arch/pedwin_usbfilter.h"
#include "crypto/volume_keys.h"
#include "format_fixture.h"
#include "volume_reader.h"

namespace kx_test {

inline constexpr std::uint64_t kMiB = 1ull << 20;
inline constexpr const char* kPassword = "Tr1cky pass-phrase";

class PrivateTest : public FormatTest {
protected:
    void SetUp() override
    {
        kx::resetWindows64ForTests();
        FormatTest::SetUp();
    }
    void TearDown() override
    {
        FormatTest::TearDown();
        kx::resetWindows64ForTests();
    }

    // A folder holding both driver files, each with its own bytes.
    std::string driverFolder()
    {
        const auto folder = dir_.parent_path() / "drivers";
        writeFile(folder / "kxcrypt.sys", "32-bit crypt");
        writeFile(folder / "kxcrypt-x64.sys", "64-bit crypt");
        return folder.string();
    }

    std::filesystem::path windowsFile(const std::string& relative) { return m().driveC() / "Windows" / relative; }

    static bool driverAnswers()
    {
        const win::HANDLE h = win::CreateFileA("\\\\.\\TrueCrypt", 0, 0, nullptr, win::OPEN_EXISTING, 0, nullptr);
        if (h == win::INVALID_HANDLE_VALUE)
            return false;
        win::CloseHandle(h);
        return true;
    }

    // The system partition and, as partition 2, one of the kind and size.
    PedWinPart* privatePartition(int kind, std::uint64_t bytes)
    {
        EXPECT_EQ(kx_part_create_pnum(disk(), 0, 0, 0, 0, kGiB), 1);
        EXPECT_EQ(kx_part_create(disk(), KX_PART_PRIMARY, kind, bytes), 1);
        return partition(1);
    }

    std::uint64_t partitionOffset(int number = 2) { return placed(number).start * 512; }

    std::vector<std::uint8_t> header(int number = 2) { return imageBytes(1, partitionOffset(number), 512); }

    kx::crypto::OpenResult openWith(const std::string& password, int number = 2)
    {
        const auto bytes = header(number);
        return kx::crypto::openHeader(kx::crypto::passwordBytes(password),
                                      std::span<const std::uint8_t, 512>(bytes.data(), 512));
    }

    bool opensWith(const std::string& password, int number = 2)
    {
        return openWith(password, number).error == kx::crypto::HeaderError::None;
    }

    // The volume's inside in the clear, as a sparse file of its own, read by
    // the tests' second reader of the format: it shares no code with the
    // product, so what the product wrote must follow the format itself.
    std::string decryptedInside(const std::string& password, int number = 2)
    {
        const std::string out = (dir_.parent_path() / ("inside" + std::to_string(number) + ".img")).string();
        const std::string error = volume_reader::decryptToFile(diskImage(1).string(), partitionOffset(number),
                                                              placed(number).size * 512, password, out);
        EXPECT_EQ(error, "");
        return error.empty() ? out : std::string{};
    }

    // fsck.fat's verdict on a file, without repairing anything.
    std::string fsckProblems(const std::string& file)
    {
        std::string out;
        const int status = testing_support::runCommand("fsck.fat -n " + file, &out);
        return status == 0 ? std::string{} : out;
    }
};

}  // namespace kx_test
