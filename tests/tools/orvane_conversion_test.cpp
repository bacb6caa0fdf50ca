// orvane where text conversion is short: image names that are not UTF-8,
// a code page this system has no converter for, and a system without
// glibc's gconv modules at all (hidden in a mount namespace of the child's
// own, as on a minimal system). What can be converted without a converter
// still works; what cannot is said, never reported as a missing file.
#include <fstream>

#include "firmware_cli.h"

namespace {

using namespace firmware_testing;

class OrvaneConversion : public FirmwareCli {
protected:
    // glibc's converter modules, where this system keeps them.
    static fs::path gconvFolder()
    {
        for (const char* base : {"/usr/lib", "/usr/lib64", "/lib", "/lib64"}) {
            std::error_code ec;
            if (fs::exists(fs::path(base) / "gconv/gconv-modules", ec))
                return fs::path(base) / "gconv";
            for (const auto& entry : fs::directory_iterator(base, ec))
                if (fs::exists(entry.path() / "gconv/gconv-modules", ec))
                    return entry.path() / "gconv";
        }
        return {};
    }
    // The env words that run a program with the modules folder covered by
    // an empty one; empty when this test may not do that here.
    std::string withoutGconv()
    {
        const fs::path modules = gconvFolder();
        if (modules.empty())
            return {};
        const fs::path empty = work() / "no-gconv";
        fs::create_directories(empty);
        const std::string words = "unshare -m sh -c " +
                                  shellQuote("mount --bind " + shellQuote(empty.string()) + " " +
                                             shellQuote(modules.string()) + " && exec \"$@\"") +
                                  " sh";
        // The hiding must really leave glibc without converters.
        std::string out;
        if (shell(words + " true 2>/dev/null") != 0 ||
            shell("printf 'caf\\351' | " + words + " iconv -f CP1252 -t UTF-8", &out) == 0)
            return {};
        return words;
    }
    tools_testing::ToolRun orvaneVia(const std::string& words, std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--machine", dir_.string()});
        return runTool("orvane", args, "-u KX_MACHINE " + words);
    }
};

TEST_F(OrvaneConversion, AnImageNameThatIsNotUtf8IsSaidToBeSoNotMissing)
{
    const fs::path image = makeImage("firmware-\xE5\x9B\xBA\xE4\xBB\xB6-\xC3\xA9.bin");
    auto run = orvane({"image", "verify", image.string()});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("checksum: holds"), std::string::npos) << run.out;

    const fs::path latin1 = work() / "firmware-\xE9.bin";  // ISO 8859-1, as an old tool may name it
    fs::copy_file(image, latin1);
    for (const char* command : {"verify", "upgrade"}) {
        run = std::string(command) == "verify" ? orvane({"image", "verify", latin1.string()})
                                               : orvane({"upgrade", latin1.string(), "--yes"});
        EXPECT_EQ(run.code, 1) << command;
        EXPECT_NE(run.err.find("is not UTF-8 text, so the file functions (UTF-16 names) cannot open it"),
                  std::string::npos)
            << command << ": " << run.err;
        EXPECT_EQ(run.err.find("no such file"), std::string::npos) << run.err;
    }
    run = orvane({"image", "verify", (work() / "missing.bin").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("no such file"), std::string::npos) << run.err;
}

// 720 is a Windows code page glibc has no converter for.
TEST_F(OrvaneConversion, ALabelTheCodePageCannotConvertHereIsSaidToBeSo)
{
    machine_->update([](machine::State& s) { s.settings.acp = 720; });
    auto run = orvane({"format", "2", "--label", "\xC3\x89t\xC3\xA9", "--yes"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("the label cannot be converted to this system's code page 720: there is no converter"),
              std::string::npos)
        << run.err;
    // ASCII needs no converter: the command goes on to the disk, which has
    // no partition 2 yet.
    run = orvane({"format", "2", "--label", "Photos", "--yes"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("there is no partition 2"), std::string::npos) << run.err;
}

TEST_F(OrvaneConversion, WithoutAnyConverterModuleImagesVerifyAndTheUpgradeWrites)
{
    const std::string words = withoutGconv();
    if (words.empty())
        GTEST_SKIP() << "glibc's converter modules could not be hidden here (needs root and mount namespaces)";
    chooseDisk(1);
    const fs::path image = makeImage("windows.bin");
    const fs::path named = work() / "firmware-\xC3\xA9.bin";
    fs::copy_file(image, named);
    for (const fs::path& path : {image, named}) {
        const auto run = orvaneVia(words, {"image", "verify", path.string()});
        EXPECT_EQ(run.code, 0) << path << ": " << run.err;
        EXPECT_NE(run.out.find("checksum: holds"), std::string::npos) << run.out;
    }

    // The whole upgrade of a blank disk: the system partition first, the
    // regions, the flags and the device's restart, over 1252 and UTF-8 paths.
    const auto run = orvaneVia(words, {"upgrade", named.string(), "--yes"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Result 0: upgrade done"), std::string::npos) << run.out;
    EXPECT_TRUE(sameBytes(diskImage(1), kKernelAt, kernel_, 0, fs::file_size(kernel_)));
    EXPECT_TRUE(sameBytes(diskImage(1), kRootfsAt, rootfs_, 0, fs::file_size(rootfs_)));

    // Chinese labels need the GBK module that is not there; the message says so.
    machine::setSetting(m(), "lang_id", "zh-CN");
    const auto label = orvaneVia(words, {"format", "2", "--label", "\xE4\xB8\xAD\xE6\x96\x87", "--yes"});
    EXPECT_EQ(label.code, 1);
    EXPECT_NE(label.err.find("code page 936: there is no converter for it here"), std::string::npos) << label.err;
}

}  // namespace
