// What a disk's fault settings make of one write, and the write log that
// lists every write. Raw device writes and the format service's copy into
// the disk both pass here, so a fault hits whichever of them reaches it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/machine.h"
#include "platform/win_types.h"

namespace win::detail {

// A cut write (short_write_at) ends without an error, as WriteFile may.
struct WritePlan {
    std::uint64_t bytes = 0;         // what reaches the disk
    DWORD error = ERROR_SUCCESS;     // how the write ends
    bool vanish = false;             // after those bytes the disk leaves
    bool struck = false;             // a fault covers the write
};

// A write of count bytes at byte `at` of the disk, by the faults alone.
WritePlan planWrite(const machine::DiskFaults& faults, std::uint64_t at, std::uint64_t count);

// The same for a write about to be made: logged when the disk keeps a
// write log (origin "io" or "format"), and a fault still to skip lets it
// through, counting its skip down in the machine.
WritePlan admitWrite(machine::Machine& m, const machine::Disk& disk, std::uint64_t at, std::uint64_t count,
                     const char* origin);

// The file the write log of a disk goes to: one "first-sector sectors
// origin" line per write.
machine::fs::path writeLogPath(const machine::Machine& m, int slot);

// The disk leaves, as a vanishing write makes it.
void vanishDisk(machine::Machine& m, int slot);

// The disk's side of a copy written straight into its image (the format
// service's): its faults and write log apply, and the copy dies with the
// disk, as a device handle would.
class DirectWriteGate {
public:
    DirectWriteGate(machine::Machine& m, int slot, std::uint64_t arrival) : m_(m), slot_(slot), arrival_(arrival) {}
    // How many of the bytes of a write the disk takes.
    std::uint64_t admit(std::uint64_t at, std::uint64_t size);
    // After the copy stopped: a vanishing disk leaves now that the bytes
    // before its fault are in. Why a write was refused; empty when none was.
    std::string settle();

private:
    machine::Machine& m_;
    int slot_;
    std::uint64_t arrival_;
    std::string refusal_;
    bool vanish_ = false;
};

}  // namespace win::detail
