// Files in the NTFS of a mounted encrypted volume, for the control side:
// ntfs-3g's tools work on a decrypted scratch copy of the volume, and the
// units they changed go back encrypted.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "crypt/data_units.h"
#include "crypt/encrypted_view.h"
#include "crypto/secure_bytes.h"
#include "devices/device_resolve.h"
#include "format/host_tool.h"
#include "machine/owned_fd.h"
#include "platform/machine.h"

namespace machine {

namespace {

using win::detail::dataUnits;
using win::detail::EncryptedView;
using Range = win::detail::UnitRange;

constexpr std::uint64_t kUnit = win::detail::kDataUnit;
constexpr std::uint64_t kChunk = 1 << 20;

using win::detail::Fd;

struct OpenVolume {
    std::unique_ptr<EncryptedView> view;
    std::unique_ptr<Fd> disk;
};

OpenVolume openVolume(const Machine& m, char letter, bool forWriting)
{
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    const auto state = m.readWithoutNames();
    const CryptVolume* v = cryptVolumeOn(*state, letter);
    const std::string drive = std::string(1, letter) + ":";
    if (!v)
        throw MachineError("no encrypted volume is mounted on " + drive);
    if (!win::detail::cryptVolumeTarget(*state, letter))
        throw MachineError("the disk under " + drive + " is gone");
    if (forWriting && v->readOnly)
        throw MachineError(drive + " is mounted read-only");
    OpenVolume out;
    out.view = EncryptedView::create(m, *v);
    if (!out.view)
        throw MachineError("the encrypted volume " + drive + " cannot be opened");
    const Disk& disk = state->disks[static_cast<std::size_t>(v->slot)];
    out.disk = std::make_unique<Fd>(openBacking(m, disk, forWriting ? O_RDWR : O_RDONLY));
    if (out.disk->get() < 0) {
        const std::string problem = backingProblem(m, disk);
        throw MachineError(problem.empty() ? "cannot open " + m.backingPath(disk).string() + ": " + std::strerror(errno)
                                           : problem);
    }
    return out;
}

// A plain copy of the volume, removed when done with. Its data is the
// decrypted volume: it is overwritten with zeros first, so the blocks it
// leaves to the host's file system hold none of it.
class ScratchCopy {
public:
    ScratchCopy(const fs::path& dir, std::uint64_t length) : length_(length)
    {
        path_ = (dir / "volume-XXXXXX").string();
        fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
        if (fd_ < 0 || ::ftruncate(fd_, static_cast<off_t>(length)) != 0) {
            const int error = errno;
            release();
            throw MachineError(std::string("no room for a scratch copy of the volume: ") + std::strerror(error));
        }
    }
    ~ScratchCopy() { release(); }
    ScratchCopy(const ScratchCopy&) = delete;
    ScratchCopy& operator=(const ScratchCopy&) = delete;
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

private:
    void release()
    {
        if (fd_ >= 0) {
            win::detail::wipeDataUnits(fd_, length_);
            ::close(fd_);
            ::unlink(path_.c_str());
        }
        fd_ = -1;
    }

    std::string path_;
    std::uint64_t length_ = 0;
    int fd_ = -1;
};

bool readAll(int fd, std::uint8_t* out, std::size_t size, std::uint64_t at)
{
    while (size > 0) {
        const ssize_t n = ::pread(fd, out, size, static_cast<off_t>(at));
        if (n <= 0)
            return false;
        out += n;
        at += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t at)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(at));
        if (n <= 0)
            return false;
        data += n;
        at += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool zeroUnit(const std::uint8_t* p) { return p[0] == 0 && std::memcmp(p, p + 1, kUnit - 1) == 0; }

// Walks the given units chunk by chunk with the disk's ciphertext and the
// plain units beside it.
template <typename Visit>
void eachChunk(const OpenVolume& v, const std::vector<Range>& ranges, Visit visit)
{
    std::vector<std::uint8_t> sealed(kChunk), plain(kChunk);
    for (const auto& r : ranges)
        for (std::uint64_t at = r.begin; at < r.end;) {
            const std::size_t n = static_cast<std::size_t>(std::min(kChunk, r.end - at));
            if (!readAll(v.disk->get(), sealed.data(), n, v.view->diskOffset() + at))
                throw MachineError("reading the disk failed");
            visit(at, std::span(sealed.data(), n), std::span(plain.data(), n));
            at += n;
        }
    kx::crypto::secureWipe(plain);
}

// Units the disk never held (all zero) stay holes in the copy.
void exportPlain(const OpenVolume& v, int copy)
{
    eachChunk(v, dataUnits(v.disk->get(), v.view->diskOffset(), v.view->length()),
              [&](std::uint64_t at, std::span<std::uint8_t> sealed, std::span<std::uint8_t> plain) {
                  std::memcpy(plain.data(), sealed.data(), sealed.size());
                  if (!v.view->decrypt(at, plain))
                      throw MachineError("decrypting the volume failed");
                  for (std::size_t u = 0; u < sealed.size(); u += kUnit)
                      if (!zeroUnit(&sealed[u]) && !writeAll(copy, &plain[u], kUnit, at + u))
                          throw MachineError("writing the scratch copy failed");
              });
}

// Writes back, encrypted, the units of the copy that differ from the volume.
std::uint64_t importChanged(const OpenVolume& v, int copy)
{
    std::uint64_t changed = 0;
    std::vector<std::uint8_t> edited(kChunk);
    eachChunk(v, dataUnits(copy, 0, v.view->length()),
              [&](std::uint64_t at, std::span<std::uint8_t> sealed, std::span<std::uint8_t> plain) {
                  std::memcpy(plain.data(), sealed.data(), sealed.size());
                  if (!v.view->decrypt(at, plain) || !readAll(copy, edited.data(), sealed.size(), at))
                      throw MachineError("reading the volume failed");
                  for (std::size_t u = 0; u < sealed.size(); u += kUnit) {
                      const bool same = zeroUnit(&sealed[u]) ? zeroUnit(&edited[u])
                                                             : std::memcmp(&plain[u], &edited[u], kUnit) == 0;
                      if (same)
                          continue;
                      std::span<std::uint8_t> unit(&edited[u], kUnit);
                      if (!v.view->encrypt(at + u, unit) ||
                          !writeAll(v.disk->get(), unit.data(), kUnit, v.view->diskOffset() + at + u))
                          throw MachineError("writing the disk failed");
                      ++changed;
                  }
              });
    kx::crypto::secureWipe(edited);
    if (changed && ::fdatasync(v.disk->get()) != 0)
        throw MachineError(std::string("flushing the disk failed: ") + std::strerror(errno));
    return changed;
}

std::string ntfsName(const std::string& name)
{
    std::string out = name;
    std::replace(out.begin(), out.end(), '\\', '/');
    return out.starts_with('/') ? out : "/" + out;
}

void runTool(const std::string& tool, const std::string& program, const std::vector<std::string>& args)
{
    const auto result = win::detail::runHostTool(program, args, [](const std::string&) { return true; });
    if (!result.started || result.exitCode != 0)
        throw MachineError(tool + " failed: " + result.lastLines);
}

std::string hostTool(const std::string& name)
{
    const auto path = win::detail::findHostTool(name);
    if (!path)
        throw MachineError(name + " is not installed (it comes with ntfs-3g)");
    return *path;
}

// The file get-file writes: made by us alone (0600, never through a link or
// into a file another user made and may be reading), under a temporary
// name beside the target and renamed into place once whole.
class HostOutput {
public:
    explicit HostOutput(const fs::path& target)
    {
        const fs::path absolute = fs::absolute(target);
        name_ = absolute.filename().string();
        if (name_.empty() || name_ == "." || name_ == "..")
            throw MachineError(target.string() + " is not a file name");
        dir_ = ::open(absolute.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir_ < 0)
            throw MachineError("cannot open the folder of " + target.string() + ": " + std::strerror(errno));
        struct stat st {};
        if (::fstatat(dir_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(st.st_mode))
                fail(target.string() + " is a symbolic link; it is not written through");
            if (!S_ISREG(st.st_mode))
                fail(target.string() + " is not a regular file");
            if (st.st_uid != ::geteuid())
                fail(target.string() + " belongs to uid " + std::to_string(st.st_uid) + ", not to you (uid " +
                     std::to_string(::geteuid()) + "); it is not replaced");
        } else if (errno != ENOENT) {
            fail("cannot look at " + target.string() + ": " + std::strerror(errno));
        }
        for (int attempt = 0; fd_ < 0; ++attempt) {
            temp_ = "." + name_ + ".get-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
            fd_ = ::openat(dir_, temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd_ < 0 && (errno != EEXIST || attempt >= 100))
                fail("cannot create a file beside " + target.string() + ": " + std::strerror(errno));
        }
        target_ = target.string();
    }
    ~HostOutput()
    {
        if (fd_ >= 0) {
            ::close(fd_);
            ::unlinkat(dir_, temp_.c_str(), 0);
        }
        if (dir_ >= 0)
            ::close(dir_);
    }
    HostOutput(const HostOutput&) = delete;
    HostOutput& operator=(const HostOutput&) = delete;
    int fd() const { return fd_; }

    // The whole file under its name. A link or file put at the name
    // meanwhile is replaced, never written through.
    void commit()
    {
        if (::fsync(fd_) != 0 || ::renameat(dir_, temp_.c_str(), dir_, name_.c_str()) != 0)
            throw MachineError("cannot write " + target_ + ": " + std::strerror(errno));
        ::close(fd_);
        fd_ = -1;
    }

private:
    [[noreturn]] void fail(const std::string& why)
    {
        if (dir_ >= 0)
            ::close(dir_);
        dir_ = -1;
        throw MachineError(why);
    }

    std::string name_, temp_, target_;
    int dir_ = -1;
    int fd_ = -1;
};

}  // namespace

void putVolumeFile(Machine& m, char letter, const fs::path& hostFile, const std::string& name)
{
    if (!fs::is_regular_file(hostFile))
        throw MachineError("no file " + hostFile.string());
    const std::string tool = hostTool("ntfscp");
    const OpenVolume v = openVolume(m, letter, true);
    ScratchCopy copy(m.dir(), v.view->length());
    exportPlain(v, copy.fd());
    runTool("ntfscp", tool, {copy.path(), fs::absolute(hostFile).string(), ntfsName(name)});
    importChanged(v, copy.fd());
}

void getVolumeFile(Machine& m, char letter, const std::string& name, const fs::path& hostFile)
{
    const std::string tool = hostTool("ntfscat");
    HostOutput output(hostFile);
    const OpenVolume v = openVolume(m, letter, false);
    ScratchCopy copy(m.dir(), v.view->length());
    exportPlain(v, copy.fd());
    // ntfscat writes the file to its standard output, our own new file.
    const auto result = win::detail::runHostTool(tool, {copy.path(), ntfsName(name)},
                                                 [](const std::string&) { return true; }, output.fd());
    if (!result.started || result.exitCode != 0)
        throw MachineError("ntfscat failed: " + result.lastLines);
    output.commit();
}

}  // namespace machine
