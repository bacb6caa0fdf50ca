// What the firmware tests of orvane share: a temporary machine, parts and
// images made as a user would make them, and coreutils to look at bytes.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/temp_machine.h"
#include "tool_run.h"

namespace firmware_testing {

namespace fs = std::filesystem;
using tools_testing::runTool;
using tools_testing::shellQuote;

constexpr std::uint64_t kKernelAt = 0x24400, kKernelRegion = 0x400000;
constexpr std::uint64_t kFlagAt = 0x424400;
constexpr std::uint64_t kRootfsAt = 0x824400, kRootfsRegion = 0x2000000;

class FirmwareCli : public testing_support::TempMachine {
protected:
    tools_testing::ToolRun orvane(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--machine", dir_.string()});
        return runTool("orvane", args, "-u KX_MACHINE");
    }
    // A shell command line; its status, with stdout and stderr in out.
    int shell(const std::string& command, std::string* out = nullptr)
    {
        std::string text;
        const int code = testing_support::runCommand(command, &text);
        if (out)
            *out = text;
        return code;
    }
    std::string shellOut(const std::string& command)
    {
        std::string out;
        EXPECT_EQ(shell(command, &out), 0) << command << "\n" << out;
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }

    fs::path work() { return dir_.parent_path(); }
    std::string devpath(int slot)
    {
        return "\\Device\\Harddisk" + std::to_string(state()->disks.at(static_cast<size_t>(slot)).number) +
               "\\Partition0";
    }
    // The appliance's system partition and its marker, as a set-up disk has.
    void layApplianceTable(int slot)
    {
        partitionWithSfdisk(slot, "label: dos\\nstart=131136, size=1966016, type=82\\n");
        patch(diskImage(slot), 436, "\\377\\377\\377\\377");
        rescan(slot);
    }
    // The upgrade flag word, as od prints it.
    std::string flagWord(int slot)
    {
        const std::string out =
            shellOut("od -An -tx4 -j " + std::to_string(kFlagAt) + " -N4 " + shellQuote(diskImage(slot).string()));
        return out.substr(out.find_first_not_of(' '));
    }
    // A file of pseudo-random bytes under the work folder.
    fs::path randomFile(const std::string& name, std::size_t size, unsigned seed)
    {
        std::mt19937 engine(seed);
        std::string bytes(size, '\0');
        for (auto& c : bytes)
            c = static_cast<char>(engine() & 0xFF);
        const fs::path file = work() / name;
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }
    // Overwrites bytes of a file in place with dd.
    void patch(const fs::path& file, std::uint64_t offset, const std::string& printfBytes)
    {
        shellOut("printf '" + printfBytes + "' | dd of=" + shellQuote(file.string()) + " bs=1 seek=" +
                 std::to_string(offset) + " conv=notrunc status=none");
    }
    void flipByte(const fs::path& file, std::uint64_t offset)
    {
        std::ifstream in(file, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(offset));
        const int byte = in.get();
        char text[8];
        std::snprintf(text, sizeof text, "\\%03o", (byte ^ 0xFF) & 0xFF);
        patch(file, offset, text);
    }
    // True when count bytes of a at offsetA equal those of b at offsetB.
    bool sameBytes(const fs::path& a, std::uint64_t offsetA, const fs::path& b, std::uint64_t offsetB,
                   std::uint64_t count)
    {
        return shell("cmp -s -n " + std::to_string(count) + " -i " + std::to_string(offsetA) + ":" +
                     std::to_string(offsetB) + " " + shellQuote(a.string()) + " " + shellQuote(b.string())) == 0;
    }
    // coreutils cksum over count bytes of a file from offset.
    std::string cksumOf(const fs::path& file, std::uint64_t offset, std::uint64_t count)
    {
        const std::string out = shellOut("tail -c +" + std::to_string(offset + 1) + " " + shellQuote(file.string()) +
                                         " | head -c " + std::to_string(count) + " | cksum");
        return out.substr(0, out.find(' '));
    }

    fs::path kernel_, rootfs_;
    // An image of a kernel and rootfs of awkward sizes, made by orvane.
    fs::path makeImage(const std::string& name = "windows.bin")
    {
        kernel_ = randomFile("kernel.part", 1024 * 1024 + 517, 1);
        rootfs_ = randomFile("rootfs.part", 3 * 1024 * 1024 + 99, 2);
        const fs::path image = work() / name;
        const auto run = orvane({"image", "create", "--kernel", kernel_.string(), "--rootfs", rootfs_.string(), "-o",
                                 image.string()});
        EXPECT_EQ(run.code, 0) << run.err;
        return image;
    }
};

}  // namespace firmware_testing
