// Shared by the format and volume tests: a machine with partitions to
// format, FormatEx reached as the product reaches it, and the host's own
// file-system tools to judge the result.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "platform/win_api.h"
#include "support/temp_machine.h"

namespace volume_testing {

// What the FormatEx callback was told, in order.
struct CallbackLog {
    std::vector<win::DWORD> percents;
    std::vector<win::DWORD> commands;
    int doneCount = 0;
    bool doneValue = false;
    bool stopAtFirstProgress = false;
};

inline CallbackLog& callbackLog()
{
    static CallbackLog log;
    return log;
}

inline win::BOOLEAN recordCallback(win::DWORD command, win::DWORD, win::PVOID info)
{
    auto& log = callbackLog();
    log.commands.push_back(command);
    if (command == win::PROGRESS && info)
        log.percents.push_back(*static_cast<win::DWORD*>(info));
    if (command == win::DONE && info) {
        ++log.doneCount;
        log.doneValue = *static_cast<win::BOOLEAN*>(info) != 0;
    }
    return log.stopAtFirstProgress && command == win::PROGRESS ? 0 : 1;
}

class VolumeTest : public testing_support::TempMachine {
protected:
    static constexpr std::uint64_t kNtfsStart = 2048, kNtfsSectors = 524288;   // 256 MiB, D:
    static constexpr std::uint64_t kFatStart = 526336, kFatSectors = 614400;   // 300 MiB, E:

    // An NTFS-typed and a FAT32-typed partition on the appliance disk.
    void layOutTwoVolumes()
    {
        partitionWithSfdisk(1, "label: dos\\nstart=2048, size=524288, type=7\\nstart=526336, size=614400, type=c\\n");
    }

    // FormatEx as the product calls it: looked up in fmifs.dll.
    void formatEx(const char* root, const char16_t* fileSystem, const char16_t* label, bool quick = true,
                  win::DWORD clusterSize = 0)
    {
        callbackLog() = CallbackLog{};
        win::HMODULE fmifs = win::LoadLibraryA("fmifs.dll");
        ASSERT_NE(fmifs, nullptr);
        auto format = reinterpret_cast<win::PFORMATEX>(win::GetProcAddress(fmifs, "FormatEx"));
        ASSERT_NE(format, nullptr);
        std::u16string rootText(root, root + std::strlen(root));
        std::u16string fs(fileSystem), name(label);
        format(rootText.data(), win::FMIFS_HARDDISK, fs.data(), name.data(), quick, clusterSize, recordCallback);
        EXPECT_TRUE(win::FreeLibrary(fmifs));
    }

    // The partition's bytes in a file of their own, for tools without an
    // offset option.
    std::string extract(std::uint64_t startSector, std::uint64_t sectors, int slot = 1)
    {
        const std::string out = (dir_.parent_path() / ("part-" + std::to_string(startSector) + ".img")).string();
        std::string text;
        EXPECT_EQ(testing_support::runCommand("dd if=" + diskImage(slot).string() + " of=" + out +
                                                  " bs=1M conv=sparse iflag=skip_bytes,count_bytes skip=" +
                                                  std::to_string(startSector * 512) +
                                                  " count=" + std::to_string(sectors * 512),
                                              &text),
                  0)
            << text;
        return out;
    }

    // One field of blkid's low-level probe of the partition at startSector.
    std::string blkidField(std::uint64_t startSector, const std::string& field, int slot = 1)
    {
        std::string out;
        testing_support::runCommand("blkid -p -O " + std::to_string(startSector * 512) + " -o value -s " + field +
                                        " " + diskImage(slot).string(),
                                    &out);
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }

    struct VolumeInfo {
        bool ok = false;
        win::DWORD error = 0;
        std::u16string label, fileSystem;
        win::DWORD serial = 0;
    };

    VolumeInfo volumeInfo(const char* root)
    {
        VolumeInfo v;
        std::u16string rootText(root, root + std::strlen(root));
        char16_t name[64] = {}, fs[16] = {};
        v.ok = win::GetVolumeInformationW(rootText.c_str(), name, 64, &v.serial, nullptr, nullptr, fs, 16);
        v.error = v.ok ? 0 : win::GetLastError();
        v.label = name;
        v.fileSystem = fs;
        return v;
    }

    // Bytes of the appliance disk's image, behind the machine's back.
    void writeAt(std::uint64_t at, const std::string& bytes)
    {
        FILE* f = std::fopen(diskImage(1).c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(::fseeko(f, static_cast<off_t>(at), SEEK_SET), 0);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
    }

    std::string readAt(std::uint64_t at, std::size_t size)
    {
        std::string bytes(size, '\0');
        FILE* f = std::fopen(diskImage(1).c_str(), "rb");
        if (!f)
            return {};
        ::fseeko(f, static_cast<off_t>(at), SEEK_SET);
        bytes.resize(std::fread(bytes.data(), 1, size, f));
        std::fclose(f);
        return bytes;
    }

    std::uint64_t allocatedBytes(const std::string& file)
    {
        struct stat st {};
        EXPECT_EQ(::stat(file.c_str(), &st), 0);
        return static_cast<std::uint64_t>(st.st_blocks) * 512;
    }
};

// The number after "key:" in a tool's output, or -1.
inline long long numberAfter(const std::string& text, const std::string& key)
{
    std::smatch m;
    if (!std::regex_search(text, m, std::regex(key + R"(:?\s*(\d+))")))
        return -1;
    return std::stoll(m[1]);
}

}  // namespace volume_testing
