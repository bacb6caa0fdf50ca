// A program of the machine as it will run. It is opened without following
// a link and checked: a regular file of a format Windows runs (ELF or "#!"
// here), that nobody but its owner, the running user or root, may change.
// Inside the machine it is reached beneath the folder the machine holds,
// no part of the path a link. It is copied into a sealed memory file and
// the child runs that copy, so what was checked is what runs: an ELF
// program directly, a script by handing its interpreter the copy as
// /proc/self/fd/N instead of the file's path. Neither needs an execute bit
// on disk.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace win::detail {

class ProgramImage {
public:
    // The image, or none with *error set (and a refusal for a link or a
    // file others may change reported on stderr).
    static std::optional<ProgramImage> load(const std::filesystem::path& file, DWORD* error);
    ~ProgramImage();
    ProgramImage(ProgramImage&& other) noexcept;

    ProgramImage(const ProgramImage&) = delete;
    ProgramImage& operator=(const ProgramImage&) = delete;
    ProgramImage& operator=(ProgramImage&&) = delete;

    // The memory file (close-on-exec here; the child gets it under the same
    // number).
    int fd() const { return fd_; }
    // What the child execs, and the words its argument list starts with
    // (the program's own path, or for a script the
    // copy's, last); the command line's arguments follow.
    const std::string& execPath() const { return execPath_; }
    const std::vector<std::string>& leadingArgs() const { return leading_; }

private:
    ProgramImage(int fd, std::string execPath, std::vector<std::string> leading)
        : fd_(fd), execPath_(std::move(execPath)), leading_(std::move(leading))
    {
    }
    int fd_ = -1;
    std::string execPath_;
    std::vector<std::string> leading_;
};

}  // namespace win::detail
