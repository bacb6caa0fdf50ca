// Loading and unloading private partitions through the encryption driver:
// files written through the drive come back after a reload, never show in
// the clear on the disk, and passwords never reach the log.
#include "private_fixture.h"

namespace kx_test {
namespace {

class PrivateMount : public PrivateTest {
protected:
    void SetUp() override
    {
        PrivateTest::SetUp();
        ASSERT_EQ(kx_load_crypto_driver(driverFolder().c_str()), 1);
    }

    // A private NTFS partition 2, formatted with kPassword.
    void formattedNtfs()
    {
        ASSERT_EQ(kx_part_format(privatePartition(KX_FS_PRIVATE_NTFS, 300 * kMiB), kPassword, "Secret", 1, 0), 0);
        EXPECT_EQ(kx_part_format_progress(partition(1)), 100.0);
        EXPECT_EQ(win::GetLogicalDrives() & ~(1u << 2), 0u) << "the format's drive is gone again";
    }

    std::string umountLine(char letter)
    {
        return "]: umount:" + partitionPath(diskNumber(1), 2) + ", " + letter;
    }
};

TEST_F(PrivateMount, FileSurvivesUnloadAndReloadAndStaysEncrypted)
{
    formattedNtfs();
    EXPECT_EQ(kx_part_load(partition(1), "wrong", nullptr), 1);
    ASSERT_EQ(kx_part_load(partition(1), kPassword, nullptr), 0);
    PedWinPart* part = partition(1);
    ASSERT_NE(part->mountpoint, nullptr);
    EXPECT_STREQ(part->mountpoint, "D:") << "the first letter Windows does not use";
    EXPECT_EQ(part->loaded, 1);
    EXPECT_GT(part->free, 100 * kMiB);

    const std::string marker = "plain text that must never reach the disk " + std::string(64, '#');
    const auto host = dir_.parent_path() / "note.txt";
    writeFile(host, marker);
    machine::putVolumeFile(m(), 'D', host, "note.txt");
    ASSERT_EQ(kx_part_unload(partition(1)), 0);
    EXPECT_TRUE(hasLocatedLine(logText(), "[.\\fs\\pedfilesys:ped_file_system_umount:", umountLine('D')));
    EXPECT_EQ(partition(1)->mountpoint, nullptr);

    const auto raw = imageBytes(1, partitionOffset(), placed(2).size * 512);
    const std::string plain = "plain text that must never";
    EXPECT_EQ(std::search(raw.begin(), raw.end(), plain.begin(), plain.end()), raw.end());

    ASSERT_EQ(kx_part_load(partition(1), kPassword, "k:"), 0);
    EXPECT_STREQ(partition(1)->mountpoint, "K:");
    const auto back = dir_.parent_path() / "back.txt";
    machine::getVolumeFile(m(), 'K', "note.txt", back);
    EXPECT_EQ(readFile(back), marker);
    EXPECT_EQ(kx_part_load(partition(1), kPassword, "L:"), 1) << "mounted already";
    ASSERT_EQ(kx_part_unload(partition(1)), 0);

    EXPECT_EQ(kx_part_chk_pwd(partition(1), kPassword), 1);
    EXPECT_EQ(kx_part_modify_pwd(partition(1), kPassword, "other words"), 1);
    EXPECT_EQ(logText().find(kPassword), std::string::npos) << "passwords are never logged";
    EXPECT_EQ(logText().find("other words"), std::string::npos);
}

// What the shell and every top-level window are told, newest last.
std::vector<machine::Announcement> announcedSince(const machine::State& state, std::uint64_t count)
{
    const auto fresh = static_cast<std::size_t>(state.announcementCount - count);
    const auto& all = state.announcements;
    return {all.end() - static_cast<std::ptrdiff_t>(std::min(fresh, all.size())), all.end()};
}

machine::Announcement shell(std::uint32_t event, const std::string& path) { return {"shell", event, path, 0, 0}; }
machine::Announcement broadcast(std::uint32_t event, char letter, std::uint32_t timeoutMs)
{
    return {"broadcast", event, "", 1u << (letter - 'A'), timeoutMs};
}

TEST_F(PrivateMount, LoadAndUnloadAreAnnouncedToTheShellAndEveryWindow)
{
    formattedNtfs();
    auto count = state()->announcementCount;
    ASSERT_EQ(kx_part_load(partition(1), kPassword, "K:"), 0);
    EXPECT_EQ(announcedSince(*state(), count),
              (std::vector{shell(0x100, "K:\\"), broadcast(0x8000, 'K', 100)}));
    count = state()->announcementCount;
    ASSERT_EQ(kx_part_unload(partition(1)), 0);
    EXPECT_EQ(announcedSince(*state(), count), (std::vector{shell(0x80, "K:\\"), broadcast(0x8003, 'K', 100),
                                                            shell(0x80, "K:\\"), broadcast(0x8004, 'K', 100)}));

    // Windows XP waits longer, and is told of an arrival twice.
    machine::setSetting(m(), "os", "xp");
    kx::resetOsForTests();
    count = state()->announcementCount;
    ASSERT_EQ(kx_part_load(partition(1), kPassword, "M:"), 0);
    EXPECT_EQ(announcedSince(*state(), count),
              (std::vector{shell(0x100, "M:\\"), broadcast(0x8000, 'M', 1000), broadcast(0x8000, 'M', 200)}));
    count = state()->announcementCount;
    ASSERT_EQ(kx_part_unload(partition(1)), 0);
    EXPECT_EQ(announcedSince(*state(), count), (std::vector{shell(0x80, "M:\\"), broadcast(0x8003, 'M', 1000),
                                                            shell(0x80, "M:\\"), broadcast(0x8004, 'M', 1000)}));
}

TEST_F(PrivateMount, NoFreeLetterFailsTheLoad)
{
    formattedNtfs();
    for (char letter = 'D'; letter <= 'Z'; ++letter) {
        const char name[3] = {letter, ':', '\0'};
        ASSERT_TRUE(win::DefineDosDeviceA(win::DDD_RAW_TARGET_PATH, name, "\\Device\\HarddiskVolume1"));
    }
    EXPECT_EQ(kx_part_load(partition(1), kPassword, nullptr), 1);
    EXPECT_EQ(kx_part_load(partition(1), kPassword, "C:"), 1) << "a letter in use";
    EXPECT_EQ(kx_part_format(partition(1), kPassword, "Again", 1, 0), KX_FORMAT_NO_FREE_LETTER);
    EXPECT_TRUE(opensWith(kPassword)) << "refused before anything was written";
}

TEST_F(PrivateMount, NtfsFormatByAUserWithoutAdministratorRightsUnderUacIsNoSuccess)
{
    // The driver is already loaded; the format service then needs an administrator.
    machine::setSetting(m(), "admin", "false");
    EXPECT_EQ(kx_part_format(privatePartition(KX_FS_PRIVATE_NTFS, 300 * kMiB), kPassword, "Secret", 1, 0),
              KX_FORMAT_PRIVATE_NOT_FORMATTED);
    EXPECT_EQ(win::GetLogicalDrives() & ~(1u << 2), 0u) << "the volume was dismounted again";
}

TEST_F(PrivateMount, BusyVolumeGetsTenForcedRequestsThenFails)
{
    formattedNtfs();
    ASSERT_EQ(kx_part_load(partition(1), kPassword, "Q:"), 0);
    machine::setSetting(m(), "crypt_busy", "Q:10");
    EXPECT_EQ(kx_part_unload(partition(1)), 1);
    EXPECT_EQ(state()->settings.cryptBusyCount, 0u) << "ten requests";
    EXPECT_TRUE(hasLocatedLine(logText(), "[.\\fs\\pedfilesys:ped_file_system_umount:",
                               "]: fail to umount:" + partitionPath(diskNumber(1), 2) + ", Q"));

    machine::setSetting(m(), "crypt_busy", "Q:9");
    EXPECT_EQ(kx_part_unload(partition(1)), 0) << "the tenth request gets through";
}

TEST_F(PrivateMount, DeleteAllClosesLoadedVolumesFirst)
{
    formattedNtfs();
    ASSERT_EQ(kx_part_load(partition(1), kPassword, nullptr), 0);
    ASSERT_EQ(kx_part_delete_all(disk()), 1);
    EXPECT_TRUE(state()->cryptVolumes.empty());
}

TEST_F(PrivateMount, MissingPartitionIsNoSuccess)
{
    EXPECT_EQ(kx_part_load(nullptr, kPassword, nullptr), 1);
    EXPECT_EQ(kx_part_unload(nullptr), 1);
    EXPECT_NE(logText().find("part == NULL"), std::string::npos);
}

}  // namespace
}  // namespace kx_test
