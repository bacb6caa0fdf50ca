// Password changes: 36 complete headers under the new password, the keys
// and the volume's identity kept, nothing written on a wrong password.
#include <gtest/gtest.h>

#include <set>

#include "crypto/volume_keys.h"
#include "crypto_reference.h"

namespace {

using namespace crypto_test;
using namespace kx::crypto;

struct Written {
    std::vector<HeaderBytes> passes;
    HeaderWriter writer()
    {
        return [this](std::span<const std::uint8_t, headerSize> bytes, int pass) {
            EXPECT_EQ(pass, static_cast<int>(passes.size()) + 1);
            HeaderBytes copy;
            std::copy(bytes.begin(), bytes.end(), copy.begin());
            passes.push_back(copy);
            return true;
        };
    }
};

CreateResult createWith(std::string_view password, int algorithm, Prf prf)
{
    CreateOptions options;
    options.algorithm = algorithm;
    options.prf = prf;
    options.volumeSize = 1024 * 1024;
    options.now = 1000;
    return createHeader(passwordBytes(password), options, gcryptRandom(false));
}

TEST(ChangePassword, EveryPassIsAWholeHeaderUnderTheNewPassword)
{
    const CreateResult created = createWith("old", 4, Prf::Whirlpool);
    ASSERT_EQ(created.error, HeaderError::None);
    Written written;
    ASSERT_EQ(changePassword(created.header, passwordBytes("old"), passwordBytes("new"), gcryptRandom(false), written.writer(), 2000),
              HeaderError::None);
    ASSERT_EQ(written.passes.size(), static_cast<std::size_t>(headerRewritePasses));

    std::set<HeaderBytes> distinct(written.passes.begin(), written.passes.end());
    EXPECT_EQ(distinct.size(), written.passes.size());
    // A change cut short after any pass leaves a volume the new password opens.
    for (std::size_t pass : {std::size_t{0}, std::size_t{17}, std::size_t{35}}) {
        const OpenResult opened = openHeader(passwordBytes("new"), written.passes[pass]);
        ASSERT_EQ(opened.error, HeaderError::None) << pass;
        EXPECT_EQ(opened.volume->algorithm->id, 4);
        EXPECT_EQ(opened.volume->prf, Prf::Whirlpool);
        EXPECT_TRUE(std::ranges::equal(opened.volume->keyArea.span(), created.volume->keyArea.span()));
        EXPECT_EQ(opened.volume->fields.creationTime, 1000u);
        EXPECT_EQ(opened.volume->fields.modificationTime, 2000u);
    }
    EXPECT_EQ(openHeader(passwordBytes("old"), written.passes.back()).error, HeaderError::WrongPassword);
}

// As a password check does it; a legacy header stays legacy.
TEST(ChangePassword, ToItselfKeepsTheVolumeAndItsMode)
{
    CreateOptions options;
    options.algorithm = 12;
    options.mode = Mode::InnerCbc;
    options.prf = Prf::RipeMd160;
    options.volumeSize = 1024 * 1024;
    options.allowLegacy = true;
    const CreateResult created = createHeader(passwordBytes("same"), options, gcryptRandom(false));
    ASSERT_EQ(created.error, HeaderError::None);
    Written written;
    ASSERT_EQ(changePassword(created.header, passwordBytes("same"), passwordBytes("same"), gcryptRandom(false), written.writer()),
              HeaderError::None);
    EXPECT_NE(written.passes.back(), created.header);
    const OpenResult opened = openHeader(passwordBytes("same"), written.passes.back());
    ASSERT_EQ(opened.error, HeaderError::None);
    EXPECT_EQ(opened.volume->algorithm->id, 12);
    EXPECT_EQ(opened.volume->mode, Mode::InnerCbc);
    EXPECT_EQ(opened.volume->prf, Prf::RipeMd160);
}

TEST(ChangePassword, RefusalsWriteNothingAndAFailedWriteStops)
{
    const CreateResult created = createWith("old", 1, Prf::Sha1);
    Written written;
    EXPECT_EQ(changePassword(created.header, passwordBytes("wrong"), passwordBytes("new"), gcryptRandom(false), written.writer()),
              HeaderError::WrongPassword);
    EXPECT_EQ(changePassword(created.header, passwordBytes("old"), passwordBytes(""), gcryptRandom(false), written.writer()),
              HeaderError::BadPassword);
    EXPECT_EQ(changePassword(created.header, passwordBytes("old"), passwordBytes(std::string(65, 'n')), gcryptRandom(false),
                             written.writer()),
              HeaderError::BadPassword);
    EXPECT_TRUE(written.passes.empty());

    int calls = 0;
    const HeaderWriter failsAtFive = [&calls](std::span<const std::uint8_t, headerSize>, int pass) {
        ++calls;
        return pass < 5;
    };
    EXPECT_EQ(changePassword(created.header, passwordBytes("old"), passwordBytes("new"), gcryptRandom(false), failsAtFive),
              HeaderError::WriteFailed);
    EXPECT_EQ(calls, 5);
}

}  // namespace
