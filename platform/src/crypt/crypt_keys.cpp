#include "crypt/crypt_keys.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "crypto/secure_bytes.h"
#include "machine/folder_trust.h"
#include "machine/owned_fd.h"

namespace win::detail {

namespace {

std::filesystem::path keyFile(const machine::Machine& m, std::uint64_t mountStamp)
{
    return m.dir() / "keys" / (std::to_string(mountStamp) + ".key");
}

// Zeros over the keys before the name goes: the blocks the file leaves
// behind hold none of them.
void wipeAndRemove(const std::filesystem::path& file)
{
    {
        const Fd fd(::open(file.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (fd.get() >= 0 && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)) {
            std::vector<std::uint8_t> zeros(static_cast<std::size_t>(st.st_size));
            if (writeFully(fd.get(), zeros.data(), zeros.size()))
                ::fsync(fd.get());
        }
    }
    ::unlink(file.c_str());
}

}  // namespace

void storeVolumeKeys(const machine::Machine& m, std::uint64_t mountStamp, std::span<const std::uint8_t> keyArea)
{
    machine::makeOwnFolders(m.dir() / "keys");
    const auto file = keyFile(m, mountStamp);
    // A stamp is never reused, so a file already there was planted.
    const Fd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0 || ::fchmod(fd.get(), 0600) != 0 || !writeFully(fd.get(), keyArea.data(), keyArea.size()) || ::fsync(fd.get()) != 0) {
        const std::string why = std::strerror(errno);
        if (fd.get() >= 0)
            ::unlink(file.c_str());
        throw machine::MachineError("cannot write the volume's keys to " + file.string() + ": " + why);
    }
}

bool loadVolumeKeys(const machine::Machine& m, std::uint64_t mountStamp, std::span<std::uint8_t> out)
{
    const Fd fd(::open(keyFile(m, mountStamp).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 077) ||
        (st.st_uid != ::geteuid() && st.st_uid != 0) || static_cast<std::size_t>(st.st_size) != out.size())
        return false;
    return ::pread(fd.get(), out.data(), out.size(), 0) == static_cast<ssize_t>(out.size());
}

void removeVolumeKeys(const machine::Machine& m, std::uint64_t mountStamp)
{
    wipeAndRemove(keyFile(m, mountStamp));
}

void removeStrayVolumeKeys(const machine::Machine& m, const machine::State& state)
{
    std::set<std::string> owned;
    for (const machine::CryptVolume& v : state.cryptVolumes)
        owned.insert(std::to_string(v.mountStamp) + ".key");
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(m.dir() / "keys", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".key") && !owned.count(name))
            wipeAndRemove(entry.path());
    }
}

void removeStrayVolumeKeysOnce(machine::Machine& m)
{
    static std::mutex lock;
    static std::set<std::string> swept;
    {
        std::lock_guard guard(lock);
        if (!swept.insert(m.dir().string()).second)
            return;
    }
    std::error_code ec;
    if (!std::filesystem::exists(m.dir() / "keys", ec))
        return;
    m.update([&](machine::State& s) { removeStrayVolumeKeys(m, s); });
}

}  // namespace win::detail

