// Checking and changing a private volume's password on the raw partition:
// a right password rewrites the header under itself, a wrong one writes
// nothing, a change keeps the volume's keys.
#include "private_fixture.h"

namespace kx_test {
namespace {

class PrivatePassword : public PrivateTest {
protected:
    void SetUp() override
    {
        PrivateTest::SetUp();
        ASSERT_EQ(kx_part_format(privatePartition(KX_FS_PRIVATE_FAT32, 600 * kMiB), kPassword, "Vault", 1, 0), 0);
    }

    // Only the header's 36 passes may be written, all at the partition's start.
    std::vector<std::string> headerWrites()
    {
        std::vector<std::string> writes;
        for (const std::string& line : linesOf(readFile(dir_ / "disk1-writes.log")))
            writes.push_back(line);
        return writes;
    }
};

TEST_F(PrivatePassword, RightPasswordRewritesTheHeaderUnderItself)
{
    const auto before = header();
    EXPECT_EQ(kx_part_chk_pwd(partition(1), kPassword), 1);
    EXPECT_NE(header(), before) << "a fresh salt";
    EXPECT_TRUE(opensWith(kPassword));
    EXPECT_EQ(fsckProblems(decryptedInside(kPassword)), "") << "the keys stay";
    EXPECT_FALSE(tempNameDefined());
}

TEST_F(PrivatePassword, HeaderIsWrittenInThirtySixFlushedPasses)
{
    machine::setDiskSetting(m(), 1, "write_log", "true");
    ASSERT_EQ(kx_part_chk_pwd(partition(1), kPassword), 1);
    const auto writes = headerWrites();
    ASSERT_EQ(writes.size(), 36u);
    for (const std::string& w : writes)
        EXPECT_EQ(w, headerWrites().front());
}

TEST_F(PrivatePassword, WrongPasswordWritesNothing)
{
    const std::string print = imagePrint();
    EXPECT_EQ(kx_part_chk_pwd(partition(1), "wrong"), 0);
    EXPECT_EQ(kx_part_modify_pwd(partition(1), "wrong", "new one"), 0);
    EXPECT_EQ(kx_part_modify_pwd(partition(1), kPassword, std::string(65, 'n').c_str()), 0)
        << "a new password too long to keep";
    EXPECT_EQ(kx_part_modify_pwd(partition(1), kPassword, ""), 0);
    EXPECT_EQ(imagePrint(), print);
    EXPECT_TRUE(opensWith(kPassword));
}

TEST_F(PrivatePassword, ChangeMakesTheOldFailAndTheNewOpen)
{
    ASSERT_EQ(kx_part_modify_pwd(partition(1), kPassword, "n3w secret"), 1);
    EXPECT_FALSE(opensWith(kPassword));
    EXPECT_EQ(kx_part_chk_pwd(partition(1), kPassword), 0);
    EXPECT_EQ(kx_part_chk_pwd(partition(1), "n3w secret"), 1);
    EXPECT_EQ(fsckProblems(decryptedInside("n3w secret")), "");
}

TEST_F(PrivatePassword, FailedWriteIsNoSuccess)
{
    machine::setDiskSetting(m(), 1, "short_write_at", std::to_string(partitionOffset() / 512));
    EXPECT_EQ(kx_part_chk_pwd(partition(1), kPassword), 0);
}

TEST_F(PrivatePassword, MissingArgumentsAreReported)
{
    EXPECT_EQ(kx_part_chk_pwd(nullptr, kPassword), 0);
    EXPECT_EQ(kx_part_chk_pwd(partition(1), nullptr), 0);
    EXPECT_EQ(kx_part_modify_pwd(partition(1), nullptr, "x"), 0);
    EXPECT_EQ(kx_part_modify_pwd(partition(1), "x", nullptr), 0);
    const std::string log = logText();
    for (const char* text : {"part == NULL", "pwd == NULL", "oldpwd == NULL", "newpwd == NULL"})
        EXPECT_NE(log.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace kx_test
