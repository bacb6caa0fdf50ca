// The DOS name journal: a header line that changes with every rewrite, then
// one line per change, "+" (define) or "-" (remove), name and target
// separated by tabs. Readers take no lock: the file only grows between
// rewrites, a rewrite replaces it by a rename, and a line still being
// written is not read until its newline is there.
#include "machine/dos_name_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <string_view>

#include "machine/file_replace.h"
#include "platform/machine.h"

namespace machine {

namespace {

constexpr std::uint64_t kRewriteAt = 64 * 1024;         // bytes of lines before a rewrite
constexpr std::uint64_t kLargestJournal = 64ull << 20;  // beyond this it is not a journal of ours
constexpr const char* kHeaderStart = "orvane dos names ";

std::string escape(const std::string& field)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : field) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> unescape(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out += field[i];
            continue;
        }
        if (i + 2 >= field.size())
            return std::nullopt;
        const int hi = hexDigit(field[i + 1]), lo = hexDigit(field[i + 2]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::string line(char op, const std::string& name, const std::string& target)
{
    return std::string(1, op) + '\t' + escape(name) + '\t' + escape(target) + '\n';
}

std::string newHeader()
{
    std::random_device device;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::mt19937_64 mix(device() ^ static_cast<std::uint64_t>(now) ^ (static_cast<std::uint64_t>(::getpid()) << 32));
    char id[17];
    std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(mix()));
    return std::string(kHeaderStart) + id + '\n';
}

void writeAll(int fd, const std::string& text, off_t at, const std::filesystem::path& file)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pwrite(fd, text.data() + done, text.size() - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw MachineError("cannot write " + file.string());
        done += static_cast<std::size_t>(n);
    }
}

std::string readRange(int fd, std::uint64_t from, std::uint64_t to, const std::filesystem::path& file)
{
    std::string text(to - from, '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pread(fd, text.data() + done, text.size() - done, static_cast<off_t>(from + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw MachineError("cannot read " + file.string());
        if (n == 0)
            break;  // cut short since the size was taken
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    return text;
}

}  // namespace

void DosNameChanges::define(const std::string& name, const std::string& target)
{
    auto& targets = names_[name];
    targets.insert(targets.begin(), target);
    journal_ += line('+', name, target);
}

bool DosNameChanges::remove(const std::string& name, const std::string& target)
{
    auto it = names_.find(name);
    if (it == names_.end())
        return false;
    auto& targets = it->second;
    auto found = std::find(targets.begin(), targets.end(), target);
    if (found == targets.end())
        return false;
    targets.erase(found);
    if (targets.empty())
        names_.erase(it);
    journal_ += line('-', name, target);
    return true;
}

DosNameJournal::~DosNameJournal() { close(); }

void DosNameJournal::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

// Read and write where the user may, as a writer needs it under the lock.
void DosNameJournal::reopen()
{
    close();
    fd_ = ::open(file_.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    writable_ = fd_ >= 0;
    if (fd_ < 0 && (errno == EACCES || errno == EROFS))
        fd_ = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
}

std::shared_ptr<const DosNames> DosNameJournal::read()
{
    std::lock_guard guard(mutex_);
    struct stat st {};
    const bool there = ::stat(file_.c_str(), &st) == 0;
    if (!there && errno != ENOENT)
        throw MachineError("cannot read " + file_.string());
    // Between rewrites the file only grows, and a writer cuts only bytes
    // beyond the last whole line: an unchanged size after whole lines
    // means nothing new.
    if (there && fd_ >= 0 && names_ && st.st_dev == device_ && st.st_ino == inode_ &&
        static_cast<std::uint64_t>(st.st_size) == size_ && size_ == consumed_)
        return names_;
    if (!there || st.st_dev != device_ || st.st_ino != inode_ || fd_ < 0) {
        reopen();
        if (fd_ < 0) {
            if (errno != ENOENT)
                throw MachineError("cannot read " + file_.string());
            names_.reset();
            header_.clear();
            return nullptr;
        }
    }
    // The size and identity of what is open, which a rename since the stat
    // above may have made another file than the one stat saw.
    if (::fstat(fd_, &st) != 0)
        throw MachineError("cannot read " + file_.string());
    device_ = st.st_dev;
    inode_ = st.st_ino;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > kLargestJournal)
        throw MachineError(file_.string() + " is damaged: " + std::to_string(size) + " bytes is too large");
    const std::string head = readRange(fd_, 0, std::min<std::uint64_t>(size, 64), file_);
    const auto end = head.find('\n');
    if (end == std::string::npos || head.rfind(kHeaderStart, 0) != 0)
        throw MachineError(file_.string() + " is damaged: it does not start with its header");
    const std::string header = head.substr(0, end + 1);
    if (!names_ || header != header_ || size < consumed_) {
        header_ = header;
        consumed_ = header.size();
        names_ = std::make_shared<const DosNames>();
    }
    if (size > consumed_)
        replayFrom(fd_, size);
    size_ = size;
    return names_;
}

void DosNameJournal::replayFrom(int fd, std::uint64_t size)
{
    const std::string text = readRange(fd, consumed_, size, file_);
    const auto last = text.rfind('\n');
    if (last == std::string::npos)
        return;  // a line still being written
    DosNameChanges changes(*names_);
    std::size_t at = 0;
    while (at <= last) {
        const std::size_t end = text.find('\n', at);
        const std::string_view entry(text.data() + at, end - at);
        const auto damaged = [&](const std::string& why) {
            return MachineError(file_.string() + " is damaged at byte " + std::to_string(consumed_ + at) + ": " + why);
        };
        const auto tab1 = entry.find('\t');
        const auto tab2 = tab1 == std::string_view::npos ? tab1 : entry.find('\t', tab1 + 1);
        if (tab1 != 1 || tab2 == std::string_view::npos || entry.find('\t', tab2 + 1) != std::string_view::npos)
            throw damaged("a line is not an operation, a name and a target");
        const auto name = unescape(entry.substr(2, tab2 - 2));
        const auto target = unescape(entry.substr(tab2 + 1));
        if (!name || !target || name->empty())
            throw damaged("a name or target is badly escaped or empty");
        if (entry[0] == '+')
            changes.define(*name, *target);
        else if (entry[0] != '-')
            throw damaged("unknown operation");
        else if (!changes.remove(*name, *target))
            throw damaged("it removes " + *name + " -> " + *target + ", which is not defined");
        at = end + 1;
    }
    names_ = std::make_shared<const DosNames>(changes.names());
    consumed_ += last + 1;
}

void DosNameJournal::append(const DosNameChanges& changes)
{
    std::lock_guard guard(mutex_);
    if (!names_)
        throw MachineError("no journal to add DOS names to in " + file_.parent_path().string());
    // read() just opened or checked the file under the same lock, so the
    // descriptor held is the journal's.
    if (fd_ < 0 || !writable_)
        throw MachineError("cannot write " + file_.string());
    // Only a writer that died mid-line leaves bytes beyond the last whole
    // line: nobody else writes under the machine lock.
    if (size_ > consumed_ && ::ftruncate(fd_, static_cast<off_t>(consumed_)) != 0)
        throw MachineError("cannot write " + file_.string());
    writeAll(fd_, changes.journal(), static_cast<off_t>(consumed_), file_);
    consumed_ += changes.journal().size();
    size_ = consumed_;
    names_ = std::make_shared<const DosNames>(changes.names());
    if (consumed_ > kRewriteAt)
        rewrite(DosNames(*names_));
}

void DosNameJournal::replace(const DosNames& names)
{
    std::lock_guard guard(mutex_);
    rewrite(names);
}

void DosNameJournal::rewrite(const DosNames& names)
{
    std::string text = newHeader();
    const std::size_t headerSize = text.size();
    for (const auto& [name, targets] : names)
        for (auto t = targets.rbegin(); t != targets.rend(); ++t)
            text += line('+', name, *t);
    replaceFile(file_, text, 0600);
    close();  // the next read() opens the new file and finds its header known
    header_ = text.substr(0, headerSize);
    consumed_ = size_ = text.size();
    names_ = std::make_shared<const DosNames>(names);
}

}  // namespace machine
