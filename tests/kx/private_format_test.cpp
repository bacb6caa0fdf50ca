// Formatting with a password: the partition becomes an encrypted volume
// whose inside, read by the tests' second reader of the format, is a clean
// FAT, FAT32 or NTFS file system; refusals write nothing.
#include "private_fixture.h"

namespace kx_test {
namespace {

class PrivateFormat : public PrivateTest {};

TEST_F(PrivateFormat, Fat32InsideIsCleanAndNothingShowsInTheClear)
{
    PedWinPart* part = privatePartition(KX_FS_PRIVATE_FAT32, 600 * kMiB);
    ASSERT_EQ(kx_part_format(part, kPassword, "Vault", 1, 0), 0);
    EXPECT_EQ(kx_part_format_progress(partition(1)), 100.0);
    EXPECT_FALSE(opensWith("Tr1cky pass-phrasE"));

    const std::string inside = decryptedInside(kPassword);
    EXPECT_EQ(fsckProblems(inside), "");
    std::string out;
    testing_support::runCommand("blkid -o export " + inside, &out);
    EXPECT_NE(out.find("TYPE=vfat"), std::string::npos) << out;
    EXPECT_NE(out.find("LABEL=VAULT"), std::string::npos) << out;

    // The raw partition shows no file system: its boot sector is encrypted.
    const auto raw = imageBytes(1, partitionOffset() + 512, 512);
    EXPECT_EQ(std::search(raw.begin(), raw.end(), std::begin("FAT32"), std::end("FAT32") - 1), raw.end());
    EXPECT_EQ(blkid(2, "TYPE"), "");
    EXPECT_EQ(logText().find(kPassword), std::string::npos);
}

TEST_F(PrivateFormat, FatInsideWithTheClusterSizeAsked)
{
    PedWinPart* part = privatePartition(KX_FS_PRIVATE_FAT, 200 * kMiB);
    ASSERT_EQ(kx_part_format(part, kPassword, "small", 1, 8192), 0);
    const std::string inside = decryptedInside(kPassword);
    EXPECT_EQ(fsckProblems(inside), "");
    std::string out;
    testing_support::runCommand("fsck.fat -n -v " + inside, &out);
    EXPECT_NE(out.find("8192 bytes per cluster"), std::string::npos) << out;
    EXPECT_NE(out.find("16 bit entries"), std::string::npos) << out;
}

TEST_F(PrivateFormat, FullFormatLeavesNoSectorInTheClear)
{
    PedWinPart* part = privatePartition(KX_FS_PRIVATE_FAT, 16 * kMiB);
    ASSERT_EQ(kx_part_format(part, kPassword, "Full", 0, 0), 0);
    const auto raw = imageBytes(1, partitionOffset(), placed(2).size * 512);
    for (std::size_t at = 0; at < raw.size(); at += 512)
        ASSERT_FALSE(std::all_of(raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + 512),
                                 [](std::uint8_t b) { return b == 0; }))
            << "sector " << at / 512 << " was left zero";
    EXPECT_EQ(fsckProblems(decryptedInside(kPassword)), "");
}

TEST_F(PrivateFormat, RefusalsWriteNothing)
{
    PedWinPart* part = privatePartition(KX_FS_PRIVATE_FAT, 3 * kGiB);
    const std::string print = imagePrint();
    EXPECT_EQ(kx_part_format(part, kPassword, "Big", 1, 0), KX_FORMAT_BAD_SIZE) << "FAT stops at 2 GiB";
    EXPECT_EQ(kx_part_format(partition(1), kPassword, "Big", 1, 3000), KX_FORMAT_BAD_SIZE);
    EXPECT_EQ(kx_part_format(partition(1), std::string(65, 'p').c_str(), "Big", 1, 0), KX_FORMAT_BAD_PASSWORD)
        << "a password is never cut short";
    EXPECT_EQ(kx_part_format(partition(1), "", "Big", 1, 0), KX_FORMAT_BAD_PASSWORD);
    EXPECT_EQ(imagePrint(), print);
}

TEST_F(PrivateFormat, NtfsTakesTheClusterSizesFatTakesAndIsCleanInside)
{
    ASSERT_EQ(kx_load_crypto_driver(driverFolder().c_str()), 1);
    privatePartition(KX_FS_PRIVATE_NTFS, 64 * kMiB);
    const std::string print = imagePrint();
    for (int cluster : {3000, 65536, 256})
        EXPECT_EQ(kx_part_format(partition(1), kPassword, "Vault", 1, cluster), KX_FORMAT_BAD_SIZE) << cluster;
    EXPECT_EQ(imagePrint(), print) << "refused before the header is written";

    ASSERT_EQ(kx_part_format(partition(1), kPassword, "Vault", 1, 32768), 0);
    const std::string inside = decryptedInside(kPassword);
    std::string out;
    EXPECT_EQ(testing_support::runCommand("ntfsfix -n " + inside, &out), 0) << out;
    testing_support::runCommand("ntfsinfo -m " + inside, &out);
    EXPECT_NE(out.find("Cluster Size: 32768"), std::string::npos) << out;
    EXPECT_NE(out.find("Volume Name: Vault"), std::string::npos) << out;
}

TEST_F(PrivateFormat, HeldDeviceIsReportedAfterTheSecondTry)
{
    PedWinPart* part = privatePartition(KX_FS_PRIVATE_FAT32, 600 * kMiB);
    const std::string print = imagePrint();
    machine::setDiskSetting(m(), 1, "refuse_exclusive", "true");
    EXPECT_EQ(kx_part_format(part, kPassword, "Vault", 1, 0), KX_FORMAT_HELD);
    EXPECT_EQ(imagePrint(), print);
    EXPECT_FALSE(tempNameDefined()) << "the retry's DOS name is removed again";
}

}  // namespace
}  // namespace kx_test
