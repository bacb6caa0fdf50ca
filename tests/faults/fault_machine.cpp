#include "fault_machine.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "app/core/jobs/SelectedDevice.h"
#include "app/core/log/ComnLog.h"
#include "core/core_test_files.h"
#include "kx/kx.h"

namespace faults {

namespace {

std::string Quote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Write& w)
{
    return out << "{" << w.sector << "+" << w.sectors << " " << w.origin << "}";
}

const char* FaultName(Fault fault) { return fault == Fault::Fails ? "fails" : "vanishes"; }

void FaultMachine::SetUp()
{
    TempMachine::SetUp();
    machine::DiskOptions bystander;
    bystander.size = 1ull << 30;
    bystander.vendor = "ACME";
    bystander.product = "Bystander";
    bystander.serial = "BYSTANDER";
    ASSERT_EQ(machine::addDisk(m(), bystander), 2);
    partitionWithSfdisk(2, "label: dos\\nstart=2048, size=204800, type=7\\n");
    core_test::WriteHostRange(diskImage(2), 1 << 20, core_test::RandomBytes(1 << 20, 7));
    chooseDisk(1);
    for (int slot : {0, 1, 2})
        machine::setDiskSetting(m(), slot, "write_log", "on");

    fs::create_directories(Templates());
    ASSERT_TRUE(fs::exists(testing_support::buildDir() + "/cmddev")) << "build the cmddev target first";
    fs::copy_file(testing_support::buildDir() + "/cmddev", Templates() / "cmddev.exe");
    fs::permissions(Templates() / "cmddev.exe", fs::perms::owner_exec, fs::perm_options::add);
}

void FaultMachine::TearDown()
{
    for (int slot : {0, 2})
        EXPECT_TRUE(Writes(slot).empty()) << "disk " << slot << " got writes: " << testing::PrintToString(Writes(slot));
    TempMachine::TearDown();
}

fs::path FaultMachine::Templates() const { return dir_ / "drive_c/ProgramData/Microsoft/Windows/Templates"; }

void FaultMachine::LayApplianceTable()
{
    partitionWithSfdisk(1, "label: dos\\nstart=131136, size=1966016, type=82\\n");
    core_test::WriteHostRange(diskImage(1), 436, "\xff\xff\xff\xff");
    rescan(1);
}

void FaultMachine::StartApplication()
{
    fs::create_directories(Work() / "logs");
    CComnLog::GetInstance().Init(true, core_test::Wide(Work() / "logs"));
    ASSERT_EQ(kx_soft_init(), 1);
}

void FaultMachine::StopApplication()
{
    SetSelectedDevice(nullptr);
    kx_dev_destroy();
    kx_soft_exit();
    CComnLog::GetInstance().Init(false, u"");
}

std::string FaultMachine::DevPath(int slot)
{
    return "\\Device\\Harddisk" + std::to_string(state()->disks.at(static_cast<size_t>(slot)).number) + "\\Partition0";
}

std::vector<Write> FaultMachine::Writes(int slot)
{
    std::ifstream in(dir_ / ("disk" + std::to_string(slot) + "-writes.log"));
    std::vector<Write> writes;
    for (Write w; in >> w.sector >> w.sectors >> w.origin;)
        writes.push_back(w);
    return writes;
}

void FaultMachine::SaveDisk()
{
    saved_ = Work() / "saved-disk1.img";
    std::string out;
    ASSERT_EQ(testing_support::runCommand("cp --sparse=always " + Quote(diskImage(1).string()) + " " +
                                              Quote(saved_.string()),
                                          &out),
              0)
        << out;
}

void FaultMachine::RestoreDisk()
{
    for (const char* key : {"fail_write_at", "vanish_at", "short_write_at"})
        machine::setDiskSetting(m(), 1, key, "none");
    machine::setDiskSetting(m(), 1, "fault_skip_writes", "0");
    std::string out;
    ASSERT_EQ(testing_support::runCommand("cp --sparse=always " + Quote(saved_.string()) + " " +
                                              Quote(diskImage(1).string()),
                                          &out),
              0)
        << out;
    if (state()->disks.at(1).present)
        rescan(1);
    else
        machine::plug(m(), 1);
    fs::remove(dir_ / "disk1-writes.log");
}

void FaultMachine::Arm(Fault fault, const std::vector<Write>& clean, size_t index)
{
    const Write& struck = clean.at(index);
    const std::uint64_t sector = struck.sector + struck.sectors / 2;
    unsigned skip = 0;
    for (size_t i = 0; i < index; ++i)
        skip += clean[i].sector <= sector && sector < clean[i].sector + clean[i].sectors;
    machine::setDiskSetting(m(), 1, fault == Fault::Fails ? "fail_write_at" : "vanish_at", std::to_string(sector));
    machine::setDiskSetting(m(), 1, "fault_skip_writes", std::to_string(skip));
}

void FaultMachine::ExpectStruckAt(const std::vector<Write>& clean, size_t index)
{
    const auto upTo = clean.begin() + static_cast<std::ptrdiff_t>(index) + 1;
    const std::vector<Write> writes = Writes(1);
    ASSERT_GE(writes.size(), index + 1);
    EXPECT_TRUE(std::equal(clean.begin(), upTo, writes.begin())) << "not the clean run's writes up to the struck one";
    for (size_t i = index + 1; i < writes.size(); ++i)
        EXPECT_NE(std::find(clean.begin(), upTo, writes[i]), upTo) << "written after the failure: " << writes[i];
    EXPECT_EQ(writes.back(), clean[index]) << "the run went on after the struck write";
}

ToolRun FaultMachine::Orvane(const std::vector<std::string>& args)
{
    const fs::path errFile = Work() / "orvane-stderr.txt";
    std::string command = "timeout -k 5 " + std::to_string(kHangLimit.count()) + " " +
                          Quote(testing_support::buildDir() + "/orvane") + " --machine " + Quote(dir_.string());
    for (const auto& a : args)
        command += " " + Quote(a);
    ToolRun run;
    run.code = testing_support::runCommand("{ " + command + " 2>" + Quote(errFile.string()) + "; }", &run.out);
    std::ifstream in(errFile);
    std::stringstream text;
    text << in.rdbuf();
    run.err = text.str();
    return run;
}

std::vector<size_t> Picks(const std::vector<size_t>& piece, bool all)
{
    if (all || piece.size() <= 3)
        return piece;
    return {piece.front(), piece[piece.size() / 2], piece.back()};
}

}  // namespace faults
