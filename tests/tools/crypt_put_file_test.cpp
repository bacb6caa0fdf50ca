// orvane-machine put-file and get-file: files in the NTFS of a mounted
// encrypted volume go in and come out whole, and are stored only encrypted.
#include <algorithm>

#include "platform/crypt_testing.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using tools_testing::runTool;

class VolumeFiles : public crypt_testing::CryptVolumeTest {
protected:
    void SetUp() override
    {
        CryptVolumeTest::SetUp();
        mountedVolume('X');
        formatEx("X:\\", u"NTFS", u"Vault");
        ASSERT_TRUE(volume_testing::callbackLog().doneValue);
    }
    fs::path scratch() { return dir_.parent_path(); }
    std::string hostFile(const std::string& name, const std::string& text)
    {
        const auto path = scratch() / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    static std::string contents(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_F(VolumeFiles, AFilePutInComesBackOutAndItsTextIsNowhereOnTheDisk)
{
    std::string text;
    for (int i = 0; text.size() < 200000; ++i)
        text += "ledger entry " + std::to_string(i) + " stays private\n";
    const auto put = runTool("orvane-machine", {"put-file", "X:", hostFile("ledger.txt", text), "ledger.txt"});
    ASSERT_EQ(put.code, 0) << put.err;
    // An image of the partition as it lies on the disk.
    const std::string raw = readAt(kStart, static_cast<std::size_t>(kLength));
    const std::string needle = "stays private";
    EXPECT_EQ(std::search(raw.begin(), raw.end(), needle.begin(), needle.end()), raw.end());

    const auto out = scratch() / "ledger-back.txt";
    const auto get = runTool("orvane-machine", {"get-file", "x:", "\\ledger.txt", out.string()});
    ASSERT_EQ(get.code, 0) << get.err;
    EXPECT_EQ(contents(out), text);
    for (const auto& entry : fs::directory_iterator(dir_))  // no plain copy is left behind
        EXPECT_FALSE(entry.path().filename().string().starts_with("volume-")) << entry.path();
    // Still a sound volume to the machine after the rewrite.
    win::ULARGE_INTEGER freeBytes{};
    EXPECT_TRUE(win::GetDiskFreeSpaceExA("X:\\", &freeBytes, nullptr, nullptr));
}

TEST_F(VolumeFiles, MissingFilesAndLettersAreRefusedWithAReason)
{
    const auto noFile = runTool("orvane-machine", {"get-file", "X:", "absent.txt", (scratch() / "o").string()});
    EXPECT_EQ(noFile.code, 1);
    EXPECT_NE(noFile.err.find("ntfscat failed"), std::string::npos) << noFile.err;
    const auto noVolume = runTool("orvane-machine", {"put-file", "Q:", hostFile("a.txt", "a"), "a.txt"});
    EXPECT_EQ(noVolume.code, 1);
    EXPECT_NE(noVolume.err.find("no encrypted volume is mounted on Q:"), std::string::npos) << noVolume.err;
    EXPECT_EQ(runTool("orvane-machine", {"put-file", "QQ", "a", "b"}).code, 2);
}

}  // namespace
