// The user information block in sector 0: round trip, the marker, field
// limits, and every other byte of the sector left alone.
#include <cstring>

#include "disk_api_fixture.h"

namespace kx_test {
namespace {

constexpr size_t kBlock = 216;
constexpr size_t kMarker = 432;

class UserInfo : public DiskApiTest {
protected:
    static kx_user_info info(const std::string& t1, const std::string& t2, const std::string& t3,
                             const std::string& t4)
    {
        kx_user_info u{};
        std::memcpy(u.text1, t1.data(), std::min(t1.size(), sizeof u.text1));
        std::memcpy(u.text2, t2.data(), std::min(t2.size(), sizeof u.text2));
        std::memcpy(u.text3, t3.data(), std::min(t3.size(), sizeof u.text3));
        std::memcpy(u.text4, t4.data(), std::min(t4.size(), sizeof u.text4));
        return u;
    }

    // A sector 0 with a table, a signature and boot code in every byte the
    // block does not own.
    void fillSectorZero()
    {
        layTable("start=131136, size=2048, type=7\\n");
        std::vector<std::uint8_t> boot(kBlock);
        for (size_t i = 0; i < boot.size(); ++i)
            boot[i] = static_cast<std::uint8_t>(i * 7 + 1);
        putImageBytes(1, 0, boot);
        putImageBytes(1, 440, {0x12, 0x34, 0x56, 0x78, 0xAB, 0xCD});
    }
};

TEST_F(UserInfo, RoundTripKeepsEveryOtherByteOfSectorZero)
{
    fillSectorZero();
    const auto before = sectorZero();
    const kx_user_info written = info("serial-42", "Orvane lab", "rack 7", "a longer note about this appliance");
    ASSERT_EQ(kx_disk_set_userinfo(disk(), &written), 1);

    const auto after = sectorZero();
    for (size_t i = 0; i < 512; ++i) {
        if (i < kBlock || i >= kMarker + 4) {
            ASSERT_EQ(after[i], before[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + kMarker, after.begin() + kMarker + 4),
              (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(std::memcmp(after.data() + kBlock, &written, sizeof written), 0) << "fields not zero-padded";

    kx_user_info read;
    std::memset(&read, 'x', sizeof read);
    ASSERT_EQ(kx_disk_get_userinfo(disk(), &read), 1);
    EXPECT_STREQ(read.text1, "serial-42");
    EXPECT_STREQ(read.text2, "Orvane lab");
    EXPECT_STREQ(read.text3, "rack 7");
    EXPECT_STREQ(read.text4, "a longer note about this appliance");
    // The table is still read the same way.
    EXPECT_EQ(dump(), (std::vector<DumpEntry>{{1, 131136, 2048, 0x07}}));
}

TEST_F(UserInfo, WithoutTheMarkerTheTextsAreEmpty)
{
    std::vector<std::uint8_t> block(220, 'A');
    block[216] = block[217] = block[218] = 0xFF;  // one marker byte short
    putImageBytes(1, kBlock, block);

    kx_user_info read;
    std::memset(&read, 'x', sizeof read);
    ASSERT_EQ(kx_disk_get_userinfo(disk(), &read), 1);
    EXPECT_EQ(std::string(read.text1, sizeof read.text1), std::string(sizeof read.text1, '\0'));
    EXPECT_EQ(std::string(read.text2, sizeof read.text2), std::string(sizeof read.text2, '\0'));
    EXPECT_EQ(std::string(read.text3, sizeof read.text3), std::string(sizeof read.text3, '\0'));
    EXPECT_EQ(std::string(read.text4, sizeof read.text4), std::string(sizeof read.text4, '\0'));
}

TEST_F(UserInfo, FullFieldsStayInsideTheirFieldsAndReadBackTerminated)
{
    // No terminator anywhere: each text fills its field to the last byte.
    kx_user_info full;
    std::memset(full.text1, '1', sizeof full.text1);
    std::memset(full.text2, '2', sizeof full.text2);
    std::memset(full.text3, '3', sizeof full.text3);
    std::memset(full.text4, '4', sizeof full.text4);
    ASSERT_EQ(kx_disk_set_userinfo(disk(), &full), 1);

    const auto sector = sectorZero();
    EXPECT_EQ(std::string(sector.begin() + kBlock, sector.begin() + kBlock + 16), std::string(16, '1'));
    EXPECT_EQ(std::string(sector.begin() + kBlock + 16, sector.begin() + kBlock + 48), std::string(32, '2'));
    EXPECT_EQ(std::string(sector.begin() + kBlock + 64, sector.begin() + kMarker), std::string(152, '4'));

    kx_user_info read{};
    ASSERT_EQ(kx_disk_get_userinfo(disk(), &read), 1);
    EXPECT_EQ(std::string(read.text1), std::string(15, '1'));
    EXPECT_EQ(std::string(read.text2), std::string(31, '2'));
    EXPECT_EQ(std::string(read.text3), std::string(15, '3'));
    EXPECT_EQ(std::string(read.text4), std::string(151, '4'));
}

TEST_F(UserInfo, TransferFailuresAreReportedAndLogged)
{
    const kx_user_info written = info("a", "b", "c", "d");
    machine::setDiskSetting(m(), 1, "fail_write_at", "0");
    EXPECT_EQ(kx_disk_set_userinfo(disk(), &written), 0);
    // The transfer's own message ends without a line feed, so the summary
    // follows it on the same line.
    EXPECT_NE(logText().find("Fail to WriteFile()LOG:[.\\parted\\kx_part:kx_disk_set_userinfo:"), std::string::npos);
    EXPECT_NE(logText().find("]: Set user information: " + devpath() + ", ret = 0\n"), std::string::npos);

    machine::setDiskSetting(m(), 1, "fail_read_at", "0");
    kx_user_info read{};
    EXPECT_EQ(kx_disk_get_userinfo(disk(), &read), 0);
    EXPECT_NE(logText().find("]: Get user information: " + devpath() + ", ret = 0\n"), std::string::npos);
    EXPECT_EQ(sectorZero(), std::vector<std::uint8_t>(512, 0)) << "a failed write left bytes behind";
}

}  // namespace
}  // namespace kx_test
