// orvane-machine set: machine and disk settings reach machine.json.
#include "support/temp_machine.h"
#include "tool_run.h"

namespace {

using tools_testing::runTool;

class OrvaneMachineSet : public testing_support::TempMachine {
protected:
    // A fresh view of machine.json, as another process would see it.
    std::shared_ptr<const machine::State> reopened() { return machine::Machine::open(dir_)->read(); }
};

TEST_F(OrvaneMachineSet, MachineSettings)
{
    auto run = runTool("orvane-machine", {"set", "time_scale=0.5", "os=xp", "admin=false", "lang_id=zh-CN",
                                          "wow64=yes", "os.csd=Service Pack 2"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(run.out.empty());
    const auto s = reopened()->settings;
    EXPECT_EQ(s.timeScale, 0.5);
    EXPECT_EQ(s.os.major, 5u);
    EXPECT_EQ(s.os.minor, 1u);
    EXPECT_EQ(s.os.csd, "Service Pack 2");  // applied after the preset, in order
    EXPECT_FALSE(s.admin);
    EXPECT_TRUE(s.wow64);
    EXPECT_EQ(s.langId, 0x0804);
}

TEST_F(OrvaneMachineSet, DiskSettingsGoToTheNamedDiskOnly)
{
    auto run = runTool("orvane-machine", {"set", "--disk", "1", "restart_new_number=true", "fail_read_at=2048",
                                          "publish_delay_ms=1500", "friendly_name=My Disk"});
    ASSERT_EQ(run.code, 0) << run.err;
    run = runTool("orvane-machine", {"set", "read_only=on", "--disk=1"});
    ASSERT_EQ(run.code, 0) << run.err;

    const auto s = reopened();
    const machine::Disk& d = s->disks[1];
    EXPECT_TRUE(d.restartNewNumber);
    EXPECT_EQ(d.faults.failReadAt, 2048u);
    EXPECT_EQ(d.publishDelayMs, 1500u);
    EXPECT_EQ(d.friendlyName, "My Disk");
    EXPECT_TRUE(d.readOnly);
    EXPECT_FALSE(s->disks[0].readOnly);
    EXPECT_FALSE(s->disks[0].faults.failReadAt);

    // The listing shows the faults in force, as set takes them, and nothing once they are gone.
    EXPECT_NE(runTool("orvane-machine", {"list"}).out.find("    faults: fail_read_at=2048\n"), std::string::npos);
    ASSERT_EQ(runTool("orvane-machine", {"set", "--disk", "1", "fail_read_at=none"}).code, 0);
    EXPECT_FALSE(reopened()->disks[1].faults.failReadAt);
    EXPECT_EQ(runTool("orvane-machine", {"list"}).out.find("faults:"), std::string::npos);
}

TEST_F(OrvaneMachineSet, NumbersAreDecimalOrHex)
{
    ASSERT_EQ(runTool("orvane-machine", {"set", "--disk", "1", "fail_write_at=0100", "vanish_at=0x20"}).code, 0);
    EXPECT_EQ(reopened()->disks[1].faults.failWriteAt, 100u);  // not octal
    EXPECT_EQ(reopened()->disks[1].faults.vanishAt, 0x20u);
    ASSERT_EQ(runTool("orvane-machine", {"set", "lang_id=0x0404"}).code, 0);
    EXPECT_EQ(reopened()->settings.langId, 0x0404);
    for (const char* bad : {"fail_read_at= 5", "fail_read_at=-1", "fail_read_at=12abc", "fail_read_at=0x"})
        EXPECT_EQ(runTool("orvane-machine", {"set", "--disk", "1", bad}).code, 1) << bad;
    EXPECT_FALSE(reopened()->disks[1].faults.failReadAt);
}

TEST_F(OrvaneMachineSet, OneRefusedPairLeavesEveryOtherUnapplied)
{
    const double scale = state()->settings.timeScale;
    auto run = runTool("orvane-machine", {"set", "time_scale=0.25", "os=bogus"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("unknown os 'bogus'"), std::string::npos) << run.err;
    EXPECT_EQ(reopened()->settings.timeScale, scale);

    run = runTool("orvane-machine", {"set", "--disk", "1", "read_only=1", "restart_returns=perhaps"});
    EXPECT_EQ(run.code, 1);
    EXPECT_FALSE(reopened()->disks[1].readOnly);

    run = runTool("orvane-machine", {"set", "--disk", "0", "vanish_at=5"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("system disk"), std::string::npos) << run.err;
    EXPECT_FALSE(reopened()->disks[0].faults.vanishAt);
}

}  // namespace
