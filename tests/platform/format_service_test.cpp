// fmifs.dll's FormatEx formats partitions for real: progress through the
// callback, volumes the host's own tools accept, and the volume answers
// that follow.
#include <algorithm>
#include <cstring>

#include "volume_testing.h"

using namespace win;
using namespace volume_testing;

namespace {

class FormatService : public VolumeTest {
protected:
    void SetUp() override
    {
        VolumeTest::SetUp();
        layOutTwoVolumes();
    }

    static void expectRisingThenDone(bool success)
    {
        const auto& log = callbackLog();
        ASSERT_GE(log.percents.size(), 3u) << "progress must come as the work goes";
        EXPECT_TRUE(std::is_sorted(log.percents.begin(), log.percents.end()));
        EXPECT_EQ(std::adjacent_find(log.percents.begin(), log.percents.end()), log.percents.end()) << "repeats";
        EXPECT_LE(log.percents.back(), 100u);
        EXPECT_EQ(log.doneCount, 1);
        EXPECT_EQ(log.doneValue, success);
        ASSERT_FALSE(log.commands.empty());
        EXPECT_EQ(log.commands.back(), static_cast<DWORD>(DONE)) << "DONE comes last";
    }

    bool isMounted(const char* device)
    {
        HANDLE h = CreateFileA(device, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        DWORD got = 0;
        const BOOL ok = DeviceIoControl(h, FSCTL_IS_VOLUME_MOUNTED, nullptr, 0, nullptr, 0, &got, nullptr);
        CloseHandle(h);
        return ok;
    }
};

TEST_F(FormatService, NtfsVolumeThatTheHostToolsAcceptAndWindowsAnswersFor)
{
    ASSERT_FALSE(isMounted("\\\\.\\D:")) << "a blank partition is RAW";
    formatEx("D:\\", u"NTFS", u"Public1");
    expectRisingThenDone(true);

    EXPECT_EQ(blkidField(kNtfsStart, "TYPE"), "ntfs");
    EXPECT_EQ(blkidField(kNtfsStart, "LABEL"), "Public1");
    std::string info;
    ASSERT_EQ(testing_support::runCommand("ntfsinfo -m " + extract(kNtfsStart, kNtfsSectors), &info), 0) << info;
    EXPECT_NE(info.find("Volume Name: Public1"), std::string::npos) << info;
    const long long cluster = numberAfter(info, "Cluster Size");
    const long long clusters = numberAfter(info, "Volume Size in Clusters");
    const long long freeClusters = numberAfter(info, "Free Clusters");
    ASSERT_GT(cluster, 0) << info;
    ASSERT_GT(freeClusters, 0) << info;

    const auto v = volumeInfo("D:\\");
    ASSERT_TRUE(v.ok) << v.error;
    EXPECT_EQ(v.label, u"Public1");
    EXPECT_EQ(v.fileSystem, u"NTFS");
    const std::string uuid = blkidField(kNtfsStart, "UUID");  // the 64-bit serial; Windows shows its low half
    ASSERT_EQ(uuid.size(), 16u);
    EXPECT_EQ(v.serial, std::stoul(uuid.substr(8), nullptr, 16));

    ULARGE_INTEGER toCaller{}, total{}, free{};
    ASSERT_TRUE(GetDiskFreeSpaceExA("D:\\", &toCaller, &total, &free));
    EXPECT_EQ(total.QuadPart, static_cast<ULONGLONG>(clusters * cluster));
    EXPECT_EQ(free.QuadPart, static_cast<ULONGLONG>(freeClusters * cluster));
    EXPECT_LT(free.QuadPart, total.QuadPart);
    EXPECT_TRUE(isMounted("\\\\.\\D:"));
}

TEST_F(FormatService, Fat32VolumeWithItsLabelInUpperCase)
{
    formatEx("E:\\", u"FAT32", u"Data", true, 4096);
    expectRisingThenDone(true);

    EXPECT_EQ(blkidField(kFatStart, "TYPE"), "vfat");
    EXPECT_EQ(blkidField(kFatStart, "VERSION"), "FAT32");
    EXPECT_EQ(blkidField(kFatStart, "LABEL"), "DATA");
    std::string fsck;
    ASSERT_EQ(testing_support::runCommand("fsck.fat -n -v " + extract(kFatStart, kFatSectors), &fsck), 0) << fsck;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(fsck, m, std::regex(R"((\d+)/(\d+) clusters)"))) << fsck;
    const ULONGLONG used = std::stoull(m[1]), clusters = std::stoull(m[2]);
    EXPECT_NE(fsck.find("4096 bytes per cluster"), std::string::npos) << fsck;

    const auto v = volumeInfo("E:\\");
    ASSERT_TRUE(v.ok) << v.error;
    EXPECT_EQ(v.label, u"DATA");
    EXPECT_EQ(v.fileSystem, u"FAT32");
    ULARGE_INTEGER toCaller{}, total{}, free{};
    ASSERT_TRUE(GetDiskFreeSpaceExA("E:", &toCaller, &total, &free));
    EXPECT_EQ(total.QuadPart, clusters * 4096);
    EXPECT_EQ(free.QuadPart, (clusters - used) * 4096);
    EXPECT_TRUE(isMounted("\\\\.\\E:"));
    EXPECT_EQ(blkidField(kNtfsStart, "TYPE"), "") << "the neighbour was touched";
}

TEST_F(FormatService, FatMeansFat16HereAndFormatsAgainOverAnotherFileSystem)
{
    formatEx("E:\\", u"NTFS", u"First");
    ASSERT_TRUE(callbackLog().doneValue);
    formatEx("E:\\", u"fat", u"");
    expectRisingThenDone(true);
    EXPECT_EQ(blkidField(kFatStart, "VERSION"), "FAT16");
    const auto v = volumeInfo("E:\\");
    ASSERT_TRUE(v.ok);
    EXPECT_EQ(v.fileSystem, u"FAT");
    EXPECT_EQ(v.label, u"");
    std::string fsck;
    EXPECT_EQ(testing_support::runCommand("fsck.fat -n " + extract(kFatStart, kFatSectors), &fsck), 0) << fsck;
}

TEST_F(FormatService, WritesOnlyItsOwnPartitionAndFullFormatClearsOldData)
{
    const std::string junk(1 << 20, 'J');
    const std::uint64_t ntfsAt = kNtfsStart * 512, fatAt = kFatStart * 512;
    const std::uint64_t junkAt = ntfsAt + (200ull << 20);
    writeAt(ntfsAt - 512, std::string(512, 'M'));  // just before D:
    writeAt(fatAt, std::string(512, 'N'));         // just after it
    writeAt(junkAt, junk);

    formatEx("D:\\", u"NTFS", u"Quick");
    ASSERT_TRUE(callbackLog().doneValue);
    EXPECT_EQ(readAt(junkAt, junk.size()), junk) << "a quick format leaves free space as it was";

    formatEx("D:\\", u"NTFS", u"Full", false);
    expectRisingThenDone(true);
    EXPECT_EQ(readAt(junkAt, junk.size()), std::string(junk.size(), '\0'));
    EXPECT_EQ(readAt(ntfsAt - 512, 512), std::string(512, 'M'));
    EXPECT_EQ(readAt(fatAt, 512), std::string(512, 'N'));
    EXPECT_EQ(volumeInfo("D:\\").label, u"Full");
    EXPECT_LT(allocatedBytes(diskImage(1).string()), 64ull << 20) << "zeroing must keep the image sparse";
}

TEST_F(FormatService, RefusedFormatsReportDoneWithFailureAndWriteNothing)
{
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    struct Case {
        const char* root;
        const char16_t* fileSystem;
        const char16_t* label;
        DWORD clusterSize;
        const char* why;
    };
    for (const Case& c : {Case{"Q:\\", u"NTFS", u"", 0, "no such drive"},
                          Case{"C:\\", u"NTFS", u"", 0, "the system volume"},
                          Case{"D", u"NTFS", u"", 0, "not a drive root"},
                          Case{"D:\\", u"EXFAT", u"", 0, "file system not offered"},
                          Case{"D:\\", u"NTFS", u"ThirtyThreeCharactersIsTooLong!!!", 0, "label too long"},
                          Case{"D:\\", u"NTFS", u"a?b", 0, "label character"},
                          Case{"E:\\", u"FAT32", u"TWELVE CHARS", 0, "FAT label too long"},
                          Case{"E:\\", u"FAT32", u"A.B", 0, "FAT label character"},
                          Case{"D:\\", u"NTFS", u"", 3000, "cluster size"},
                          Case{"E:\\", u"FAT32", u"", 128 << 10, "FAT cluster size"}}) {
        formatEx(c.root, c.fileSystem, c.label, true, c.clusterSize);
        EXPECT_EQ(callbackLog().doneCount, 1) << c.why;
        EXPECT_FALSE(callbackLog().doneValue) << c.why;
        const auto& commands = callbackLog().commands;
        if (std::u16string(c.fileSystem) == u"EXFAT") {
            EXPECT_NE(std::find(commands.begin(), commands.end(), DWORD{FSNOTSUPPORTED}), commands.end());
        }
    }
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);
}

TEST_F(FormatService, ExclusiveHandleKeepsTheVolumeFromBeingFormatted)
{
    HANDLE shared = CreateFileA("\\\\.\\D:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(shared, INVALID_HANDLE_VALUE);
    HANDLE exclusive = CreateFileA("\\\\.\\E:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);

    formatEx("E:\\", u"FAT32", u"");
    EXPECT_FALSE(callbackLog().doneValue);
    EXPECT_NE(std::find(callbackLog().commands.begin(), callbackLog().commands.end(), DWORD{VOLUMEINUSE}),
              callbackLog().commands.end());
    formatEx("D:\\", u"NTFS", u"Shared");
    EXPECT_TRUE(callbackLog().doneValue) << "handles that share do not stand in the way";

    CloseHandle(exclusive);
    formatEx("E:\\", u"FAT32", u"");
    EXPECT_TRUE(callbackLog().doneValue);
    CloseHandle(shared);
}

TEST_F(FormatService, ReadOnlyDiskAndStoppedFormatLeaveTheDiskAlone)
{
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    machine::setDiskSetting(m(), 1, "write_protect", "true");
    formatEx("D:\\", u"NTFS", u"");
    EXPECT_FALSE(callbackLog().doneValue);
    machine::setDiskSetting(m(), 1, "write_protect", "false");

    callbackLog().stopAtFirstProgress = true;
    HMODULE fmifs = LoadLibraryA("fmifs.dll");
    auto format = reinterpret_cast<PFORMATEX>(GetProcAddress(fmifs, "FormatEx"));
    std::u16string root = u"D:\\", fs = u"NTFS", label;
    format(root.data(), FMIFS_HARDDISK, fs.data(), label.data(), TRUE, 0, recordCallback);
    FreeLibrary(fmifs);
    EXPECT_EQ(callbackLog().percents.size(), 1u);
    EXPECT_FALSE(callbackLog().doneValue);
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);
    EXPECT_EQ(volumeInfo("D:\\").error, static_cast<DWORD>(ERROR_UNRECOGNIZED_VOLUME));
}

TEST_F(FormatService, SettingDecidesWhatTheServiceDoes)
{
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    machine::setSetting(m(), "format_service", "absent");
    EXPECT_EQ(LoadLibraryA("fmifs.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    machine::setSetting(m(), "format_service", "fails");
    formatEx("D:\\", u"NTFS", u"");
    EXPECT_TRUE(callbackLog().percents.empty());
    EXPECT_EQ(callbackLog().doneCount, 1);
    EXPECT_FALSE(callbackLog().doneValue);

    machine::setSetting(m(), "format_service", "fails_at_99");
    formatEx("D:\\", u"NTFS", u"");
    expectRisingThenDone(false);
    EXPECT_EQ(callbackLog().percents.back(), 99u);
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before) << "a failing service formats nothing";

    EXPECT_EQ(machine::Machine::open(dir_)->read()->settings.formatService, machine::FormatService::FailsAt99);
    EXPECT_THROW(machine::setSetting(m(), "format_service", "sometimes"), machine::MachineError);
    machine::setSetting(m(), "format_service", "ok");
    formatEx("D:\\", u"NTFS", u"");
    EXPECT_TRUE(callbackLog().doneValue);
}

TEST_F(FormatService, LibrariesLoadCountAndExportByName)
{
    EXPECT_EQ(GetModuleHandleA("fmifs.dll"), nullptr) << "not loaded yet";
    HMODULE a = LoadLibraryA("FMIFS");
    HMODULE b = LoadLibraryA("C:\\Windows\\System32\\fmifs.dll");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(GetModuleHandleA("fmifs.dll"), a);
    EXPECT_EQ(GetProcAddress(a, "FormatEx"), reinterpret_cast<FARPROC>(&FormatEx));
    EXPECT_EQ(GetProcAddress(a, "formatex"), nullptr) << "export names are case-sensitive";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_NE(GetModuleHandleA("fmifs.dll"), nullptr) << "loaded twice, freed once";
    EXPECT_TRUE(FreeLibrary(b));
    EXPECT_EQ(GetModuleHandleA("fmifs.dll"), nullptr);
    EXPECT_FALSE(FreeLibrary(a));
    EXPECT_EQ(LoadLibraryA("shell32.dll"), nullptr);

    HMODULE kernel = GetModuleHandleA("kernel32");
    ASSERT_NE(kernel, nullptr);
    EXPECT_NE(GetProcAddress(kernel, "IsWow64Process"), nullptr);
    machine::setSetting(m(), "os", "2000");
    EXPECT_EQ(GetProcAddress(kernel, "IsWow64Process"), nullptr) << "Windows 2000 lacks it";
}

}  // namespace
