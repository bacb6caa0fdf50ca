// The machine directory: machine.json read through a cache, written whole
// under a file lock so that several processes can share one machine.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "machine/dos_name_journal.h"
#include "machine/file_replace.h"
#include "machine/folder_trust.h"
#include "machine/machine_json.h"
#include "machine/owned_fd.h"
#include "platform/machine.h"

namespace machine {

namespace {

// Serialises updates inside the process; flock() serialises processes.
std::mutex& processLock()
{
    static std::mutex m;
    return m;
}

// The machine lock, taken through a descriptor the process keeps: a device
// search takes it a few hundred times, and an open and close for each cost
// more than the lock. Callers hold processLock(), which makes the one
// descriptor safe to share.
class FileLock {
public:
    FileLock(int folder, const char* name, const fs::path& path, int& kept) : fd_(kept)
    {
        for (;;) {
            if (fd_ < 0) {
                fd_ = ::openat(folder, name, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
                if (fd_ < 0)
                    throw MachineError("cannot open lock file " + path.string());
            }
            while (::flock(fd_, LOCK_EX) != 0)
                if (errno != EINTR)
                    throw MachineError("cannot lock " + path.string());
            // A lock file removed and made again is another file: only a
            // lock on the one at the path excludes the others.
            struct stat held {}, named {};
            if (::fstat(fd_, &held) == 0 && ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                held.st_ino == named.st_ino &&
                held.st_dev == named.st_dev)
                return;
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~FileLock() { ::flock(fd_, LOCK_UN); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int& fd_;
};

struct StatKey {
    ino_t inode = 0;
    std::int64_t mtimeNs = 0;
    off_t size = -1;
    bool operator==(const StatKey&) const = default;
};

// The state is reached beneath the held folder, never through a link.
constexpr const char* kStateName = "machine.json";

std::optional<StatKey> statKey(int folder)
{
    struct stat st {};
    if (::fstatat(folder, kStateName, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return StatKey{st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec, st.st_size};
}

std::string readText(int folder, const fs::path& file)
{
    const win::detail::Fd in(::openat(folder, kStateName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (in.get() < 0)
        throw MachineError("cannot read " + file.string());
    std::string text;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw MachineError("cannot read " + file.string());
        if (n == 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

State parse(const fs::path& file, const std::string& text)
{
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        throw MachineError(file.string() + " is not valid JSON: " + e.what());
    }
    try {
        return fromJson(doc);
    } catch (const MachineError& e) {
        throw MachineError(file.string() + " is damaged: " + damageOf(e));
    }
}

std::string serialise(const State& state) { return toJson(state).dump(2) + '\n'; }

// The owner's alone (0600 whatever the umask), on every rewrite.
void save(const fs::path& file, const std::string& text)
{
    replaceFile(file, text, 0600);
}

}  // namespace

// The state as last read or written, with the file's text and identity:
// an update starts from it instead of parsing the file again, and an
// update that changes nothing writes nothing. Once the DOS name journal
// exists it alone holds the names; machine.json keeps none.
struct Machine::Cache {
    explicit Cache(const fs::path& dir) : journal(dir / "dos_devices.journal") {}
    ~Cache()
    {
        if (lockFd >= 0)
            ::close(lockFd);
    }
    Cache(const Cache&) = delete;
    Cache& operator=(const Cache&) = delete;
    int lockFd = -1;  // machine.lock, used under processLock()
    std::mutex mutex;
    std::optional<StatKey> key;
    std::shared_ptr<const State> state;
    std::string text;
    DosNameJournal journal;
    // The state with the journal's names, and what it was made from.
    std::shared_ptr<const State> withNames;
    std::shared_ptr<const State> withNamesBase;
    std::shared_ptr<const DosNames> withNamesNames;
};

Machine::Machine(std::shared_ptr<const PinnedFolder> folder, fs::path shown)
    : folder_(std::move(folder)), shown_(std::move(shown)), dir_(folder_->path), cache_(std::make_shared<Cache>(dir_))
{
}

int Machine::folderFd() const { return folder_->fd; }

namespace {

// A folder handed down as /proc/self/fd/N is shown by where it is now.
fs::path shownName(const fs::path& dir, const PinnedFolder& folder)
{
    const std::string named = dir.string();
    if (named.rfind("/proc/self/fd/", 0) != 0 && named.rfind("/dev/fd/", 0) != 0)
        return fs::absolute(dir);
    std::error_code ec;
    const fs::path now = fs::read_symlink(folder.path, ec);
    return ec ? dir : now;
}

}  // namespace

std::shared_ptr<Machine> Machine::open(const fs::path& dir)
{
    auto folder = pinFolder(dir, false);
    if (!folder || !statKey(folder->fd))
        throw MachineError("no emulated machine in " + dir.string() + " (create one with: orvane-machine create DIR)");
    const fs::path shown = shownName(dir, *folder);
    checkInnerFolders(*folder, shown);
    // Made here, 0700, before any part of the product makes it otherwise.
    makeFoldersBeneath(folder->fd, "locks");
    auto m = std::shared_ptr<Machine>(new Machine(folder, shown));
    m->read();  // fail early on a damaged state
    return m;
}

std::shared_ptr<const State> Machine::readFile() const
{
    std::lock_guard guard(cache_->mutex);
    auto key = statKey(folderFd());
    if (!key)
        throw MachineError("machine state " + (shown_ / kStateName).string() + " is gone");
    if (cache_->state && cache_->key == key)
        return cache_->state;
    std::string text = readText(folderFd(), shown_ / kStateName);
    cache_->state = std::make_shared<const State>(parse(shown_ / kStateName, text));
    cache_->key = key;
    cache_->text = std::move(text);
    return cache_->state;
}

std::shared_ptr<const State> Machine::readWithoutNames() const { return readFile(); }

std::shared_ptr<const DosNames> Machine::readDosNames() const
{
    if (auto names = cache_->journal.read())
        return names;
    auto base = readFile();
    return std::shared_ptr<const DosNames>(base, &base->dosDevices);
}

std::shared_ptr<const State> Machine::read() const
{
    auto base = readFile();
    auto names = cache_->journal.read();
    if (!names)
        return base;
    std::lock_guard guard(cache_->mutex);
    if (cache_->withNames && cache_->withNamesBase == base && cache_->withNamesNames == names)
        return cache_->withNames;
    auto state = std::make_shared<State>(*base);
    state->dosDevices = *names;
    cache_->withNames = state;
    cache_->withNamesBase = std::move(base);
    cache_->withNamesNames = std::move(names);
    return state;
}

bool Machine::updateDosNames(const std::function<bool(DosNameChanges&)>& change)
{
    std::lock_guard inProcess(processLock());
    FileLock lock(folderFd(), "machine.lock", shown_ / "machine.lock", cache_->lockFd);
    auto names = cache_->journal.read();
    DosNameChanges changes(names ? *names : readFile()->dosDevices);
    const bool result = change(changes);
    if (changes.journal().empty())
        return result;
    if (names)
        cache_->journal.append(changes);
    else
        cache_->journal.replace(changes.names());  // the first change moves the names out of machine.json
    return result;
}

void Machine::update(const std::function<void(State&)>& change)
{
    std::lock_guard inProcess(processLock());
    FileLock lock(folderFd(), "machine.lock", shown_ / "machine.lock", cache_->lockFd);
    const fs::path file = dir_ / kStateName;
    // Under the file lock nobody else writes. The text is compared, not the
    // file's identity: a quick rewrite elsewhere can reuse inode and time.
    std::string before = statKey(folderFd()) ? readText(folderFd(), shown_ / kStateName) : std::string();
    State state;
    {
        std::lock_guard guard(cache_->mutex);
        if (cache_->state && !before.empty() && cache_->text == before)
            state = *cache_->state;
        else if (!before.empty())
            state = parse(shown_ / kStateName, before);
    }
    auto names = cache_->journal.read();
    if (names)
        state.dosDevices = *names;
    const DosNames namesBefore = state.dosDevices;
    change(state);
    if (names || state.dosDevices != namesBefore) {
        if (state.dosDevices != namesBefore)
            cache_->journal.replace(state.dosDevices);
        state.dosDevices.clear();
    }
    std::string text = serialise(state);
    if (text == before)
        return;
    save(file, text);
    std::lock_guard guard(cache_->mutex);
    cache_->state = std::make_shared<const State>(std::move(state));
    cache_->key = statKey(folderFd());
    cache_->text = std::move(text);
}

fs::path Machine::backingPath(const Disk& disk) const
{
    fs::path p(disk.backing);
    return p.is_absolute() ? p : dir_ / p;
}

namespace {

// HOME when it is an absolute folder of the user's own that nobody else may
// write: root started with another user's HOME (as sudo often leaves it)
// must not keep its machine there.
std::optional<fs::path> ownHome()
{
    const char* home = std::getenv("HOME");
    struct stat st {};
    if (!home || home[0] != '/' || ::stat(home, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & (S_IWGRP | S_IWOTH)))
        return std::nullopt;
    return fs::path(home);
}

// The user's home folder from the password database.
std::optional<fs::path> recordedHome()
{
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir ||
        found->pw_dir[0] != '/')
        return std::nullopt;
    return fs::path(found->pw_dir);
}

}  // namespace

fs::path defaultDir()
{
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/')
        return fs::path(xdg) / "orvane-config" / "machine";
    auto home = ownHome();
    if (!home)
        home = recordedHome();
    if (!home)
        throw MachineError("no home folder for the default machine: HOME is not an absolute folder of yours and uid " +
                           std::to_string(::geteuid()) +
                           " has none in the password database; name a machine with --machine DIR or KX_MACHINE");
    return *home / ".local" / "share" / "orvane-config" / "machine";
}

namespace {

std::mutex& selectionLock()
{
    static std::mutex m;
    return m;
}

std::shared_ptr<Machine>& selected()
{
    static std::shared_ptr<Machine> m;
    return m;
}

}  // namespace

void select(const fs::path& dir)
{
    auto m = Machine::open(dir);
    std::lock_guard guard(selectionLock());
    selected() = m;
}

std::shared_ptr<Machine> current()
{
    std::lock_guard guard(selectionLock());
    if (!selected()) {
        const char* env = std::getenv("KX_MACHINE");
        if (env && *env) {
            selected() = Machine::open(env);
        } else {
            fs::path dir = defaultDir();
            selected() = fs::exists(dir / kStateName) ? Machine::open(dir) : Machine::create(dir);
        }
    }
    return selected();
}

}  // namespace machine
