#include "devices/disk_write_gate.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace win::detail {

namespace {

constexpr std::uint64_t kSector = 512;

bool covers(const std::optional<std::uint64_t>& sector, std::uint64_t first, std::uint64_t end)
{
    return sector && *sector >= first && *sector < end;
}

void appendLogLine(const machine::Machine& m, int slot, std::uint64_t at, std::uint64_t count, const char* origin)
{
    const std::string line = std::to_string(at / kSector) + " " +
                             std::to_string((at % kSector + count + kSector - 1) / kSector) + " " + origin + "\n";
    // One append per line keeps lines whole between processes.
    const int fd = ::open(writeLogPath(m, slot).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    [[maybe_unused]] const ssize_t n = ::write(fd, line.data(), line.size());
    ::close(fd);
}

// Counts a skip down; true when none was left, so the fault strikes.
bool skipSpent(machine::Machine& m, int slot)
{
    bool spent = false;
    m.update([&](machine::State& s) {
        auto& faults = machine::diskBySlot(s, slot).faults;
        if (faults.skipWrites > 0)
            --faults.skipWrites;
        else
            spent = true;
    });
    return spent;
}

}  // namespace

WritePlan planWrite(const machine::DiskFaults& faults, std::uint64_t at, std::uint64_t count)
{
    const std::uint64_t first = at / kSector;
    const std::uint64_t end = (at + count + kSector - 1) / kSector;
    // Bytes before the faulty sector, never more than asked for.
    auto upTo = [&](std::uint64_t sector) { return std::min(count, sector * kSector - std::min(at, sector * kSector)); };
    if (covers(faults.failWriteAt, first, end))
        return {0, ERROR_WRITE_FAULT, false, true};
    if (covers(faults.vanishAt, first, end))
        return {upTo(*faults.vanishAt), ERROR_DEVICE_NOT_CONNECTED, true, true};
    if (covers(faults.shortWriteAt, first, end))
        return {upTo(*faults.shortWriteAt), ERROR_SUCCESS, false, true};
    return {count, ERROR_SUCCESS, false, false};
}

WritePlan admitWrite(machine::Machine& m, const machine::Disk& disk, std::uint64_t at, std::uint64_t count,
                     const char* origin)
{
    if (disk.faults.writeLog && count > 0)
        appendLogLine(m, disk.slot, at, count, origin);
    WritePlan plan = planWrite(disk.faults, at, count);
    if (plan.struck && disk.faults.skipWrites > 0 && !skipSpent(m, disk.slot))
        plan = {count, ERROR_SUCCESS, false, false};
    return plan;
}

machine::fs::path writeLogPath(const machine::Machine& m, int slot)
{
    return m.dir() / ("disk" + std::to_string(slot) + "-writes.log");
}

void vanishDisk(machine::Machine& m, int slot)
{
    m.update([slot](machine::State& s) { machine::detachDisk(s, machine::diskBySlot(s, slot)); });
}

std::uint64_t DirectWriteGate::admit(std::uint64_t at, std::uint64_t size)
{
    const auto state = m_.readWithoutNames();
    const machine::Disk& disk = state->disks.at(static_cast<std::size_t>(slot_));
    if (!disk.present || disk.arrival != arrival_) {
        refusal_ = "the disk went away";
        return 0;
    }
    const WritePlan plan = admitWrite(m_, disk, at, size, "format");
    if (plan.struck) {
        refusal_ = plan.vanish                    ? "the disk went away"
                   : plan.error != ERROR_SUCCESS ? "the disk reported a write fault"
                                                  : "the disk took only part of a write";
        vanish_ = plan.vanish;
    }
    return plan.bytes;
}

std::string DirectWriteGate::settle()
{
    if (vanish_) {
        vanish_ = false;
        vanishDisk(m_, slot_);
    }
    return refusal_;
}

}  // namespace win::detail
