#include "support/foreign_job_lock.h"

#include <cctype>
#include <filesystem>

#include "platform/win_api.h"

namespace testing_support {

ForeignJobLock::ForeignJobLock(machine::Machine& m, int slot, const std::string& holderLine)
{
    // <templates>\DiskJobs\<USB instance id, other than letters and digits as _>.lock
    std::string name;
    for (char c : machine::usbInstanceId(m.read()->disks.at(static_cast<std::size_t>(slot))))
        name += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::toupper(c)) : '_';
    const auto folder = m.driveC() / "ProgramData/Microsoft/Windows/Templates/DiskJobs";
    std::filesystem::create_directories(folder);
    handle_ = win::CreateFileA((folder / (name + ".lock")).c_str(), win::GENERIC_READ | win::GENERIC_WRITE,
                               win::FILE_SHARE_READ, nullptr, win::OPEN_ALWAYS, 0, nullptr);
    win::DWORD written = 0;
    if (held())
        win::WriteFile(handle_, holderLine.data(), static_cast<win::DWORD>(holderLine.size()), &written, nullptr);
}

ForeignJobLock::~ForeignJobLock()
{
    if (held())
        win::CloseHandle(handle_);
}

}  // namespace testing_support
