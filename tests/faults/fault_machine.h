// The machine of the fault runs: disk 1 is the appliance and the only disk
// the product may write; a second USB disk with data of its own stands by;
// every disk keeps a write log. Disk 1 can be put back as it was, so one test
// fails the writes of an operation one after another.
#pragma once

#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "support/temp_machine.h"

namespace faults {

namespace fs = std::filesystem;

struct Write {
    std::uint64_t sector = 0, sectors = 0;
    std::string origin;  // io or format
    bool operator==(const Write&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Write& w);

enum class Fault { Fails, Vanishes };
const char* FaultName(Fault fault);
inline void PrintTo(Fault fault, std::ostream* out) { *out << FaultName(fault); }

// What a run of a command-line tool left.
struct ToolRun {
    int code = -1;  // 124: it hung and was stopped
    std::string out, err;
};

// Longest an operation may take before it counts as hung.
constexpr std::chrono::seconds kHangLimit{120};

class FaultMachine : public testing_support::TempMachine {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string DevPath(int slot = 1);
    std::vector<Write> Writes(int slot = 1);

    // Keeps disk 1 as it is now; Restore puts those bytes back, the disk
    // plugged in with its table read, no fault armed and an empty log.
    void SaveDisk();
    void RestoreDisk();

    // The fault strikes write `index` of a clean run's writes: at its middle
    // sector, once the earlier writes covering that sector have passed.
    void Arm(Fault fault, const std::vector<Write>& clean, size_t index);
    // The writes of a faulty run must be the clean run's up to the struck
    // one; a format tried again repeats some of them, up to the struck one.
    void ExpectStruckAt(const std::vector<Write>& clean, size_t index);

    // orvane on this machine, stopped after kHangLimit.
    ToolRun Orvane(const std::vector<std::string>& args);

    // Disk 1 set up for the appliance: its system partition alone.
    void LayApplianceTable();

    // The application log and the library, as the application runs them,
    // and their end with the selection cleared.
    void StartApplication();
    void StopApplication();

    fs::path Work() const { return dir_.parent_path(); }
    fs::path Templates() const;

private:
    fs::path saved_;
};

// Which of a piece's writes a run tests: every one of a few (all), else the
// first, the middle and the last one.
std::vector<size_t> Picks(const std::vector<size_t>& piece, bool all);

}  // namespace faults
