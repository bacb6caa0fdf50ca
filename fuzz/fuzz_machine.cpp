#include "fuzz_machine.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>

#include "platform/machine.h"

namespace fuzzing {

namespace fs = std::filesystem;

namespace {

fs::path& scratchRoot()
{
    static fs::path root;
    return root;
}

void removeScratch()
{
    std::error_code ec;
    fs::remove_all(scratchRoot(), ec);
}

}  // namespace

const fs::path& scratchMachine()
{
    static const fs::path dir = [] {
        char pattern[] = "/tmp/orvane-fuzz-XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        scratchRoot() = pattern;
        std::atexit(removeScratch);
        const fs::path machineDir = scratchRoot() / "machine";
        auto m = machine::Machine::create(machineDir);
        machine::setSetting(*m, "time_scale", "0.001");
        machine::select(machineDir);
        ::setenv("KX_MACHINE", machineDir.c_str(), 1);
        return machineDir;
    }();
    return dir;
}

const fs::path& writeScratchFile(const std::uint8_t* data, std::size_t size)
{
    static const fs::path file = scratchMachine().parent_path() / "input";
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return file;
}

}  // namespace fuzzing
