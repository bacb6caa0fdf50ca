#include "app/core/jobs/DiskJobLock.h"

#include <cctype>
#include <map>
#include <mutex>
#include <utility>

#include "kx/kx.h"
#include "platform/win_api.h"

namespace {

struct HeldLock {
    win::HANDLE handle = win::INVALID_HANDLE_VALUE;
    win::HANDLE device = win::INVALID_HANDLE_VALUE;  // the disk, locked for the job
    int takers = 0;
};

// This process's locks by file, each with how many takers hold it.
std::mutex& RegistryMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, HeldLock>& Registry()
{
    static std::map<std::string, HeldLock> locks;
    return locks;
}

// "disk N" for "\\Device\\HarddiskN\\...", else the path itself.
std::string DiskName(const std::string& devPath)
{
    const std::string prefix = "\\Device\\Harddisk";
    std::size_t end = prefix.size();
    while (end < devPath.size() && std::isdigit(static_cast<unsigned char>(devPath[end])))
        ++end;
    if (devPath.compare(0, prefix.size(), prefix) != 0 || end == prefix.size())
        return devPath;
    return "disk " + devPath.substr(prefix.size(), end - prefix.size());
}

// <templates>\DiskJobs, made when missing; empty when there is no such folder.
std::string LockFolder()
{
    char folder[win::MAX_PATH] = {};
    if (!win::SHGetSpecialFolderPathA(nullptr, folder, win::CSIDL_COMMON_TEMPLATES, win::FALSE) || !folder[0])
        return {};
    std::string path = std::string(folder) + "\\DiskJobs";
    win::CreateDirectoryA(path.c_str(), nullptr);  // there already, most times
    return path;
}

// <folder>\<the USB id, one character a byte, safe in a name>.lock
std::string LockFileOf(const std::string& usbId)
{
    const std::string path = LockFolder();
    if (path.empty())
        return {};
    std::string name;
    for (char c : usbId)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return path + "\\" + name + ".lock";
}

// The disk itself locked for the job, so that a job of another machine
// folder or program on the same disk, and the host's own device manager,
// keep off it. Opened for no access: the handle takes no part in the sharing
// checks of the job's own opens.
win::HANDLE LockDevice(const std::string& devPath, std::string& refusal, bool& busy)
{
    const std::string name = DiskName(devPath);
    const std::string drive = "\\\\.\\PhysicalDrive" + name.substr(name.find(' ') + 1);
    const win::HANDLE h = win::CreateFileA(drive.c_str(), 0, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                           win::OPEN_EXISTING, 0, nullptr);
    win::DWORD returned = 0;
    if (h != win::INVALID_HANDLE_VALUE &&
        win::DeviceIoControl(h, win::FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr))
        return h;
    const win::DWORD error = win::GetLastError();
    if (h != win::INVALID_HANDLE_VALUE)
        win::CloseHandle(h);
    busy = error == win::ERROR_LOCK_VIOLATION;
    refusal = busy ? name + " is busy: another job or program holds its device"
                                                  : name + " cannot be held for the job (error " +
                                                        std::to_string(error) + ")";
    return win::INVALID_HANDLE_VALUE;
}

std::string HolderOf(const std::string& file)
{
    const win::HANDLE h = win::CreateFileA(file.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                           nullptr, win::OPEN_EXISTING, 0, nullptr);
    if (h == win::INVALID_HANDLE_VALUE)
        return {};
    char text[256] = {};
    win::DWORD read = 0;
    win::ReadFile(h, text, sizeof text - 1, &read, nullptr);
    win::CloseHandle(h);
    std::string holder(text, read);
    while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\r'))
        holder.pop_back();
    return holder;
}

}  // namespace

std::string DiskJobLock::AnyHolder()
{
    const std::string folder = LockFolder();
    if (folder.empty())
        return {};
    win::WIN32_FIND_DATAA found{};
    const win::HANDLE find = win::FindFirstFileA((folder + "\\*.lock").c_str(), &found);
    if (find == win::INVALID_HANDLE_VALUE)
        return {};
    std::string holder;
    do {
        const std::string file = folder + "\\" + found.cFileName;
        const win::HANDLE h = win::CreateFileA(file.c_str(), win::GENERIC_WRITE, win::FILE_SHARE_READ, nullptr,
                                               win::OPEN_EXISTING, 0, nullptr);
        if (h != win::INVALID_HANDLE_VALUE)
            win::CloseHandle(h);
        else if (win::GetLastError() == win::ERROR_SHARING_VIOLATION)
            holder = HolderOf(file);
    } while (holder.empty() && win::FindNextFileA(find, &found));
    win::FindClose(find);
    return holder;
}

std::string DiskJobDescription(DiskJobKind kind, unsigned long processId)
{
    return std::string(kind == DiskJobKind::Upgrade ? "an upgrade" : "a disk setup") + " started by process " +
           std::to_string(processId);
}

DiskJobLock DiskJobLock::Take(const char* devPath, DiskJobKind kind)
{
    DiskJobLock lock;
    const std::string path = devPath ? devPath : "";
    char usbId[KX_USB_ID_SIZE] = {};
    if (path.empty() || !kx_dev_get_vid_info(path.c_str(), usbId)) {
        lock.refusal_ = DiskName(path) + " is not connected";
        return lock;
    }
    const std::string file = LockFileOf(usbId);
    if (file.empty()) {
        lock.refusal_ = "the shared templates folder, where jobs lock their disks, cannot be had";
        return lock;
    }
    std::lock_guard guard(RegistryMutex());
    if (auto it = Registry().find(file); it != Registry().end()) {
        ++it->second.takers;
        lock.key_ = file;
        return lock;
    }
    const win::HANDLE h = win::CreateFileA(file.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, win::FILE_SHARE_READ,
                                           nullptr, win::OPEN_ALWAYS, 0, nullptr);
    if (h == win::INVALID_HANDLE_VALUE) {
        if (win::GetLastError() == win::ERROR_SHARING_VIOLATION) {
            const std::string holder = HolderOf(file);
            lock.busy_ = true;
            lock.refusal_ = DiskName(path) + " is busy: " + (holder.empty() ? "another job holds it" : holder);
        } else {
            lock.refusal_ = "the job lock " + file + " cannot be opened";
        }
        return lock;
    }
    const win::HANDLE device = LockDevice(path, lock.refusal_, lock.busy_);
    if (device == win::INVALID_HANDLE_VALUE) {
        win::CloseHandle(h);
        return lock;
    }
    const std::string line = DiskJobDescription(kind, win::GetCurrentProcessId()) + "\n";
    win::DWORD written = 0;
    win::WriteFile(h, line.data(), static_cast<win::DWORD>(line.size()), &written, nullptr);
    win::SetEndOfFile(h);
    Registry()[file] = HeldLock{h, device, 1};
    lock.key_ = file;
    return lock;
}

void DiskJobLock::Release()
{
    if (key_.empty())
        return;
    std::lock_guard guard(RegistryMutex());
    auto it = Registry().find(key_);
    if (it != Registry().end() && --it->second.takers == 0) {
        win::CloseHandle(it->second.device);
        win::CloseHandle(it->second.handle);
        Registry().erase(it);
    }
    key_.clear();
}

DiskJobLock::~DiskJobLock()
{
    Release();
}

DiskJobLock::DiskJobLock(DiskJobLock&& other) noexcept
    : key_(std::exchange(other.key_, {})), refusal_(std::move(other.refusal_)), busy_(other.busy_)
{
}

DiskJobLock& DiskJobLock::operator=(DiskJobLock&& other) noexcept
{
    if (this != &other) {
        Release();
        key_ = std::exchange(other.key_, {});
        refusal_ = std::move(other.refusal_);
        busy_ = other.busy_;
    }
    return *this;
}
