// Formats a partition's volume: the host formatter makes the volume in a
// sparse file of the partition's size, which then goes into the disk.
#include "platform/volume_format.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "crypt/encrypted_view.h"
#include "crypt/loaded_volume_guard.h"
#include "crypt/encrypted_view_device.h"
#include "devices/device_resolve.h"
#include "devices/disk_write_gate.h"
#include "files/share_mode.h"
#include "format/fat_label_write.h"
#include "format/formatter_command.h"
#include "format/host_tool.h"
#include "format/volume_serial.h"
#include "format/volume_write.h"
#include "machine/owned_fd.h"
#include "volumes/volume_labels.h"

namespace machine {

namespace {

using win::detail::DeviceTarget;

// Percent bands: the formatter's run, then the write into the disk.
constexpr int kToolFrom = 2, kWriteFrom = 30, kWriteTo = 98;

// Passes percentages on only when they rise, and remembers a stop.
class Progress {
public:
    explicit Progress(const FormatProgress& report) : report_(report) {}
    bool to(int percent)
    {
        if (stopped_ || percent <= last_)
            return !stopped_;
        last_ = percent;
        stopped_ = report_ && !report_(percent);
        return !stopped_;
    }
    bool stopped() const { return stopped_; }

private:
    const FormatProgress& report_;
    int last_ = 0;
    bool stopped_ = false;
};

class TempVolume {
public:
    explicit TempVolume(const fs::path& dir)
    {
        path_ = (fs::absolute(dir) / "format-XXXXXX").string();
        fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
        if (fd_ < 0)
            path_.clear();
    }
    ~TempVolume()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TempVolume(const TempVolume&) = delete;
    TempVolume& operator=(const TempVolume&) = delete;
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

using win::detail::Fd;

FormatOutcome fail(FormatFailure failure, std::string message) { return {failure, std::move(message)}; }

const PublishedPartition* partitionOf(const State& state, const DeviceTarget& t)
{
    for (const auto& p : state.disks[static_cast<std::size_t>(t.slot)].partitions)
        if (p.number == t.partition)
            return &p;
    return nullptr;
}

// The partition (or encrypted volume) behind the letter now; the same one,
// unmoved, is what the format may write.
std::optional<DeviceTarget> volumeOf(const State& state, char letter)
{
    auto t = win::detail::resolveDeviceName(state, state.dosDevices, std::string(1, letter) + ":");
    if (!t || (!t->cryptLetter && (t->partition == 0 || !partitionOf(state, *t))))
        return std::nullopt;
    return t;
}

bool sameVolume(const DeviceTarget& a, const DeviceTarget& b)
{
    return a.slot == b.slot && a.partition == b.partition && a.offset == b.offset && a.length == b.length &&
           a.arrival == b.arrival && a.cryptMount == b.cryptMount;
}

std::uint32_t hiddenSectorsOf(const State& state, const DeviceTarget& t)
{
    const PublishedPartition* p = partitionOf(state, t);
    return p && !t.cryptLetter ? p->hiddenSectors : 0;
}

int lockFileOf(const Machine& m, const DeviceTarget& t)
{
    return t.cryptLetter ? win::detail::openCryptVolumeLockFile(m, t.cryptLetter, t.cryptMount)
                         : win::detail::openDeviceLockFile(m.dir().string(), t.slot, t.partition);
}

FormatOutcome runFormatter(const win::detail::VolumePlacement& where, const FormatRequest& r, const TempVolume& temp,
                           Progress& progress)
{
    std::string why;
    const auto command = win::detail::formatterCommand(r.fileSystem, where, r.clusterSize, r.label, temp.path(), &why);
    if (command.tool.empty())
        return fail(FormatFailure::BadRequest, why);
    const auto tool = win::detail::findHostTool(command.tool);
    if (!tool)
        return fail(FormatFailure::ToolFailed, command.tool + " is not installed");
    int lines = 0;
    const auto result = win::detail::runHostTool(*tool, command.args, [&](const std::string&) {
        lines = std::min(lines + 1, command.expectedLines);
        return progress.to(kToolFrom + (kWriteFrom - kToolFrom) * lines / command.expectedLines);
    });
    if (result.stopped)
        return fail(FormatFailure::Cancelled, "the format was stopped");
    if (!result.started || result.exitCode != 0)
        return fail(FormatFailure::ToolFailed, command.tool + " failed: " + result.lastLines);
    if (r.fileSystem != FileSystemKind::Ntfs && !r.label.empty() &&
        !win::detail::writeFatLabel(temp.fd(), where.bytes, win::detail::fatLabelField(r.label)))
        return fail(FormatFailure::ToolFailed, "the label could not be written into the new volume");
    if (!win::detail::giveFreshSerial(temp.fd(), r.fileSystem, where.bytes))
        return fail(FormatFailure::ToolFailed, "the new volume's serial number could not be written");
    return {};
}

}  // namespace

FormatOutcome formatVolume(Machine& m, const FormatRequest& r, const FormatProgress& report)
{
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(r.letter)));
    auto state = m.read();
    const auto target = volumeOf(*state, letter);
    if (!target)
        return fail(FormatFailure::NoVolume, std::string("there is no volume ") + letter + ": on a disk");
    const Disk& disk = state->disks[static_cast<std::size_t>(target->slot)];
    if (disk.system)
        return fail(FormatFailure::NoVolume, std::string(1, letter) + ": is on the system disk");
    const CryptVolume* encrypted = target->cryptLetter ? cryptVolumeOn(*state, target->cryptLetter) : nullptr;
    if (disk.readOnly || disk.writeProtect || (encrypted && encrypted->readOnly))
        return fail(FormatFailure::WriteProtected, "the disk is write-protected");
    if (!encrypted && win::detail::refusedBesideLoadedVolume(*state, target->slot, disk.arrival, target->partition))
        return fail(FormatFailure::InUse, "a private volume of the disk is loaded");
    // An encrypted volume takes only what its view encrypted.
    const auto view = encrypted ? win::detail::EncryptedView::create(m, *encrypted) : nullptr;
    if (encrypted && !view)
        return fail(FormatFailure::NoVolume, std::string("the encrypted volume ") + letter + ": cannot be opened");
    if (auto problem = labelProblem(r.fileSystem, r.label))
        return fail(FormatFailure::BadRequest, *problem);

    // Shared with ordinary handles, refused while one holds the volume alone.
    win::detail::ShareClaim claim;
    const int lockFd = lockFileOf(m, *target);
    if (lockFd < 0 || claim.claim(lockFd, win::GENERIC_READ | win::GENERIC_WRITE,
                                  win::FILE_SHARE_READ | win::FILE_SHARE_WRITE) != win::ERROR_SUCCESS)
        return fail(FormatFailure::InUse, "the volume is in use by another program");

    Progress progress(report);
    if (!progress.to(1))
        return fail(FormatFailure::Cancelled, "the format was stopped");
    win::detail::VolumePlacement where;
    where.bytes = target->length;
    where.hiddenSectors = hiddenSectorsOf(*state, *target);
    TempVolume temp(m.dir());
    if (temp.fd() < 0 || ::ftruncate(temp.fd(), static_cast<off_t>(where.bytes)) != 0)
        return fail(FormatFailure::IoFailed, std::string("no room for the new volume: ") + std::strerror(errno));
    if (auto made = runFormatter(where, r, temp, progress); !made.ok())
        return made;

    // The disk may have left or been re-partitioned while the tool ran.
    state = m.read();
    const auto now = volumeOf(*state, letter);
    if (!now || !sameVolume(*now, *target))
        return fail(FormatFailure::NoVolume, std::string("the volume ") + letter + ": went away during the format");
    const Fd image(machine::openBacking(m, state->disks[static_cast<std::size_t>(target->slot)], O_RDWR));
    if (image.get() < 0)
        return fail(FormatFailure::IoFailed, std::string("cannot open the disk: ") + std::strerror(errno));
    std::string why;
    win::detail::DirectWriteGate gate(m, target->slot, target->arrival);
    win::detail::VolumeWrite write;
    write.source = temp.fd();
    write.disk = image.get();
    write.offset = target->offset;
    write.length = target->length;
    write.full = !r.quick;
    write.admit = [&gate](std::uint64_t at, std::uint64_t size) { return gate.admit(at, size); };
    if (view)
        write.encrypt = [&view, &target](std::uint64_t at, std::span<std::uint8_t> units) {
            return view->encrypt(at - target->offset, units);
        };
    const bool written = win::detail::writeVolume(write, [&](std::uint64_t done, std::uint64_t total) {
        return progress.to(kWriteFrom + static_cast<int>((kWriteTo - kWriteFrom) * done / std::max<std::uint64_t>(total, 1)));
    }, &why);
    if (const std::string refused = gate.settle(); !refused.empty())
        return fail(FormatFailure::IoFailed, "writing the disk failed: " + refused);
    if (!written)
        return fail(progress.stopped() ? FormatFailure::Cancelled : FormatFailure::IoFailed, why);
    progress.to(100);
    return {};
}

}  // namespace machine
