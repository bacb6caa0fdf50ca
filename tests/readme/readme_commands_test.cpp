// Which README lines the walk-through takes for commands, which it runs, and
// what it expects of them.
#include <sstream>

#include <gtest/gtest.h>

#include "readme_commands.h"

namespace {

using readme::classify;
using Kind = readme::Verdict::Kind;

TEST(ReadmeCommands, IndentedBlocksInDocumentOrderWithTheirLines)
{
    std::istringstream markdown("# Title\n"
                                "\n"
                                "    first\n"
                                "    second  # a comment\n"
                                "\n"
                                "    third, the same block on\n"
                                "A paragraph\n"
                                "    that goes on indented\n"
                                "\n"
                                "    fourth\n");
    const auto commands = readme::exampleCommands(markdown);
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[0].line, 3);
    EXPECT_EQ(commands[0].text, "first");
    EXPECT_EQ(commands[1].text, "second  # a comment");
    EXPECT_EQ(commands[2].line, 6);
    EXPECT_EQ(commands[3].line, 10);
    EXPECT_EQ(commands[3].text, "fourth");
}

TEST(ReadmeCommands, SkipsTheBuildTheDisplayAndUsageLinesOnly)
{
    for (const char* line : {"./dev run     # set up, build", "./dev test --sanitize thread",
                             "build/orvane-config [--machine DIR]", "# only a comment",
                             "build/orvane format M --label LABEL [--fs ntfs|fat|fat32]",
                             "build/orvane usbfilter install DIR",
                             "build/orvane-machine put-file X: HOSTFILE NAME   # a host file"})
        EXPECT_EQ(classify(line).kind, Kind::skip) << line;
    EXPECT_NE(classify("build/orvane-config --screenshot x.png").skipReason,
              classify("build/orvane setup --partitions N").skipReason);

    // Capitals that are values, and brackets or capitals inside quotes, are
    // what the user types.
    for (const char* line : {"build/orvane-machine add-disk --size 16G --vendor ACME --product \"Stick 16\"",
                             "printf 'label: dos\\nstart=2048, size=2097152, type=82\\n' | /sbin/sfdisk x",
                             "echo 'N [x] DIR' | build/orvane private check 3", "build/cmddev restart \"USB\\VID_1209\""})
        EXPECT_EQ(classify(line).kind, Kind::run) << line;
}

TEST(ReadmeCommands, FailsOnlyWhereItsCommentSaysSo)
{
    auto v = classify("build/orvane upgrade windows.bin --yes   # fails with \"Result 29\"");
    EXPECT_EQ(v.kind, Kind::fails);
    EXPECT_EQ(v.failText, "Result 29");
    v = classify("build/orvane upgrade windows.bin   # fails");
    EXPECT_EQ(v.kind, Kind::fails);
    EXPECT_EQ(v.failText, "");

    for (const char* line : {"build/orvane-machine set --disk 1 fail_write_at=none   # undo the fault",
                             "echo '# fails' > note", "echo a#fails"})
        EXPECT_EQ(classify(line).kind, Kind::run) << line;
}

TEST(ReadmeCommands, RewritesBuildAndTmpAtTheStartOfAWordOnly)
{
    auto rewrite = [](const std::string& line) { return readme::rewritePaths(line, "/b", "/t"); };
    EXPECT_EQ(rewrite("build/orvane devices"), "/b/orvane devices");
    EXPECT_EQ(rewrite("sfdisk \"$(build/orvane-machine disk-path 1)\""), "sfdisk \"$(/b/orvane-machine disk-path 1)\"");
    EXPECT_EQ(rewrite("build/orvane-machine create /tmp/m1"), "/b/orvane-machine create /t/m1");
    EXPECT_EQ(rewrite("export KX_MACHINE=/tmp/m1"), "export KX_MACHINE=/t/m1");
    EXPECT_EQ(rewrite("cp rebuild/x app/build/y /var/tmp/z"), "cp rebuild/x app/build/y /var/tmp/z");
    // A clone under /tmp: its build folder is not rewritten a second time.
    EXPECT_EQ(readme::rewritePaths("build/orvane-machine create /tmp/m1", "/tmp/x/build", "/t"),
              "/tmp/x/build/orvane-machine create /t/m1");
}

}  // namespace
