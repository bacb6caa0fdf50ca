// A file written whole under a fresh name beside it, then renamed over the
// old one: readers see the old file or the new one, and a link planted at
// the name is replaced, never followed. The new file gets exactly the mode
// asked for, whatever the umask.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace machine {

class NewFileBeside {
public:
    // Throws MachineError when no file can be made in the folder.
    NewFileBeside(const std::filesystem::path& file, mode_t mode);
    // Removes the new file unless it was put in place.
    ~NewFileBeside();
    NewFileBeside(const NewFileBeside&) = delete;
    NewFileBeside& operator=(const NewFileBeside&) = delete;

    int fd() const { return fd_; }
    // Throws MachineError on a failed write.
    void write(std::string_view bytes);
    // Renames it over the file; throws MachineError on failure.
    void putInPlace();

private:
    std::filesystem::path file_;
    std::filesystem::path temp_;
    mode_t mode_;
    int fd_ = -1;
};

// The whole of a file replaced by contents.
void replaceFile(const std::filesystem::path& file, std::string_view contents, mode_t mode);

}  // namespace machine
