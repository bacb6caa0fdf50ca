#include "processes/program_image.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "machine/machine_open.h"
#include "machine/owned_fd.h"
#include "platform/win_api.h"

namespace win::detail {

namespace {

void refuse(const std::filesystem::path& file, const char* why)
{
    std::fprintf(stderr, "machine: %s %s; it is not run\n", machine::shownPath(file).c_str(), why);
}

// Who may change the file, judged on the open descriptor.
bool onlyOwnerMayChange(const std::filesystem::path& file, const struct stat& st)
{
    if (st.st_uid != ::geteuid() && st.st_uid != 0) {
        refuse(file, "belongs to another user");
        return false;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        refuse(file, "may be changed by other users");
        return false;
    }
    return true;
}

bool isElf(int fd)
{
    char magic[4] = {};
    return ::pread(fd, magic, sizeof magic, 0) == 4 && std::memcmp(magic, "\x7F" "ELF", 4) == 0;
}

// The "#!" line's interpreter (an absolute path) and its one optional
// argument, as the kernel splits it; none when the file is no script.
std::optional<std::vector<std::string>> interpreterOf(int fd)
{
    char line[256] = {};
    const ssize_t got = ::pread(fd, line, sizeof line - 1, 0);
    if (got < 3 || line[0] != '#' || line[1] != '!')
        return std::nullopt;
    std::string text(line + 2, static_cast<size_t>(got - 2));
    text = text.substr(0, text.find('\n'));
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos || text[first] != '/')
        return std::nullopt;
    const auto end = text.find_first_of(" \t", first);
    std::vector<std::string> words{text.substr(first, end == std::string::npos ? std::string::npos : end - first)};
    if (end != std::string::npos) {
        const auto argStart = text.find_first_not_of(" \t", end);
        const auto argEnd = text.find_last_not_of(" \t\r");
        if (argStart != std::string::npos && argEnd >= argStart)
            words.push_back(text.substr(argStart, argEnd - argStart + 1));
    }
    return words;
}

bool copyAll(int from, int to)
{
    char buffer[1 << 16];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(from, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!writeFully(to, buffer, static_cast<std::size_t>(n)))
            return false;
        at += n;
    }
}

}  // namespace

std::optional<ProgramImage> ProgramImage::load(const std::filesystem::path& file, DWORD* error)
{
    const Fd in(machine::openWithoutLinks(file, O_RDONLY));
    struct stat st {};
    if (in.get() < 0 && errno == ELOOP)
        refuse(file, "is reached through a symbolic link");
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode) || !onlyOwnerMayChange(file, st)) {
        *error = ERROR_ACCESS_DENIED;
        return std::nullopt;
    }
    std::optional<std::vector<std::string>> words;
    if (!isElf(in.get()) && !(words = interpreterOf(in.get()))) {
        *error = ERROR_BAD_FORMAT;
        return std::nullopt;
    }
    const int image = ::memfd_create(file.filename().c_str(), MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (image < 0) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return std::nullopt;
    }
    const std::string copy = "/proc/self/fd/" + std::to_string(image);
    std::optional<ProgramImage> loaded;
    if (words) {
        // The interpreter reads the sealed copy: the file's path may lead
        // elsewhere by the time it opens it.
        words->push_back(copy);
        const std::string interpreter = words->front();
        loaded.emplace(ProgramImage(image, interpreter, std::move(*words)));
    } else {
        loaded.emplace(ProgramImage(image, copy, {file.string()}));
    }
    if (!copyAll(in.get(), image) ||
        ::fcntl(image, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL) != 0) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return std::nullopt;
    }
    return loaded;
}

ProgramImage::~ProgramImage()
{
    if (fd_ >= 0)
        ::close(fd_);
}

ProgramImage::ProgramImage(ProgramImage&& other) noexcept
    : fd_(other.fd_), execPath_(std::move(other.execPath_)), leading_(std::move(other.leading_))
{
    other.fd_ = -1;
}

}  // namespace win::detail
