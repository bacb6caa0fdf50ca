// orvane-machine put-file and get-file: files in the NTFS of a mounted
// encrypted volume go in and come out whole, and are stored only encrypted.
#include <sys/stat.h>
#include <unistd.h>

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

// get-file makes its output itself: a file another user made at the name
// (and may be reading) or a link planted there is refused and left as it
// was; a new or replaced file is the owner's alone, whatever the umask.
TEST_F(VolumeFiles, GetFileWritesOnlyAFileOfItsOwnNeverThroughALinkOrIntoAnotherUsersFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "files of another user need root to be made";
    const std::string text = "the decrypted ledger\n";
    ASSERT_EQ(runTool("orvane-machine", {"put-file", "X:", hostFile("ledger.txt", text), "ledger.txt"}).code, 0);
    const auto get = [&](const fs::path& out) { return runTool("orvane-machine", {"get-file", "X:", "ledger.txt", out.string()}); };
    const auto nobodys = [&](const std::string& name, const std::string& contents) {
        const fs::path path = hostFile(name, contents);
        EXPECT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        EXPECT_EQ(::chmod(path.c_str(), 0666), 0);
        return fs::path(path);
    };

    const fs::path precreated = nobodys("precreated.txt", "");
    auto run = get(precreated);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("belongs to uid 65534"), std::string::npos) << run.err;
    EXPECT_EQ(contents(precreated), "");

    const fs::path theirs = nobodys("theirs.txt", "theirs");
    ASSERT_EQ(::lchown(theirs.c_str(), 65534, 65534), 0);
    for (const fs::path& target : {theirs, scratch() / "not-yet.txt"}) {
        const fs::path link = scratch() / ("link-to-" + target.filename().string());
        fs::create_symlink(target, link);
        ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
        run = get(link);
        EXPECT_EQ(run.code, 1) << link;
        EXPECT_NE(run.err.find("is a symbolic link; it is not written through"), std::string::npos) << run.err;
        EXPECT_TRUE(fs::is_symlink(link));
    }
    EXPECT_EQ(contents(theirs), "theirs");
    EXPECT_FALSE(fs::exists(scratch() / "not-yet.txt"));

    // New, and an own file replaced: 0600 with the umask of 022 the tool
    // runs under here.
    const fs::path fresh = scratch() / "fresh.txt";
    const fs::path own = hostFile("own.txt", "older and longer contents of my own");
    ::chmod(own.c_str(), 0644);
    for (const fs::path& out : {fresh, own}) {
        const mode_t before = ::umask(022);
        run = get(out);
        ::umask(before);
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(contents(out), text);
        struct stat st {};
        ASSERT_EQ(::lstat(out.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0600u) << out;
        EXPECT_EQ(st.st_uid, ::geteuid());
    }

    // A name the volume lacks leaves nothing behind, not even a part.
    run = runTool("orvane-machine", {"get-file", "X:", "absent.txt", (scratch() / "absent-out.txt").string()});
    EXPECT_EQ(run.code, 1);
    for (const auto& entry : fs::directory_iterator(scratch()))
        EXPECT_EQ(entry.path().filename().string().find(".get-"), std::string::npos) << entry.path();
    EXPECT_FALSE(fs::exists(scratch() / "absent-out.txt"));
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
