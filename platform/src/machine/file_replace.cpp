#include "machine/file_replace.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "machine/owned_fd.h"
#include "platform/machine.h"

namespace machine {

namespace {

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path)
{
    throw MachineError("cannot " + what + " " + path.string() + ": " + std::strerror(errno));
}

}  // namespace

NewFileBeside::NewFileBeside(const std::filesystem::path& file, mode_t mode) : file_(file), mode_(mode)
{
    std::string pattern = file.string() + ".XXXXXX";
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0)
        fail("write", file);
    temp_ = pattern;
}

NewFileBeside::~NewFileBeside()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!temp_.empty())
        ::unlink(temp_.c_str());
}

void NewFileBeside::write(std::string_view bytes)
{
    if (!win::detail::writeFully(fd_, bytes.data(), bytes.size()))
        fail("write", temp_);
}

void NewFileBeside::putInPlace()
{
    if (::fchmod(fd_, mode_) != 0)
        fail("set the mode of", temp_);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        fail("write", temp_);
    if (::rename(temp_.c_str(), file_.c_str()) != 0)
        fail("replace", file_);
    temp_.clear();
}

void replaceFile(const std::filesystem::path& file, std::string_view contents, mode_t mode)
{
    NewFileBeside out(file, mode);
    out.write(contents);
    out.putInPlace();
}

}  // namespace machine
