// A plain synchronous file copy with write-through, for outside callers.
#include <algorithm>
#include <vector>

#include "kx/kx.h"
#include "common/kx_message.h"
#include "platform/win_api.h"

namespace {

constexpr win::DWORD kChunkBufferSize = 130944;
constexpr win::DWORD kChunkSize = 130942;

class FileHandle {
public:
    explicit FileHandle(win::HANDLE handle) : handle_(handle) {}
    ~FileHandle()
    {
        if (valid())
            win::CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return handle_ != win::INVALID_HANDLE_VALUE && handle_ != nullptr; }
    win::HANDLE get() const { return handle_; }

private:
    win::HANDLE handle_;
};

// Returns 1 when everything was written.
int writeAll(win::HANDLE file, const win::BYTE* data, win::DWORD size)
{
    win::DWORD done = 0;
    while (done < size) {
        win::DWORD written = 0;
        // A write that succeeds without progress would loop for ever.
        if (!win::WriteFile(file, data + done, size - done, &written, nullptr) || written == 0) {
            kx_printf("ERR:[%s:%s:%d]:Could not write to file (error %d)\n", KX_WHERE(kx::source::kxPart),
                      static_cast<int>(win::GetLastError()));
            return 0;
        }
        done += written;
    }
    return 1;
}

int copyChunks(win::HANDLE source, win::HANDLE destination)
{
    std::vector<win::BYTE> buffer(kChunkBufferSize);
    for (;;) {
        std::fill(buffer.begin(), buffer.end(), 0);
        win::DWORD read = 0;
        if (!win::ReadFile(source, buffer.data(), kChunkSize, &read, nullptr)) {
            kx_printf("ERR:[%s:%s:%d]:Fail to read file(error %d)!\n", KX_WHERE(kx::source::kxPart),
                      static_cast<int>(win::GetLastError()));
            return 0;
        }
        if (read == 0)
            return 1;
        if (!writeAll(destination, buffer.data(), read))
            return 0;
    }
}

}  // namespace

extern "C" int kx_copy_file_sync(const char* source, const char* destination)
{
    if (!source || !destination)
        return 0;
    FileHandle in(win::CreateFileA(source, win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                   win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.valid()) {
        kx_printf("ERR:[%s:%s:%d]: Fail to open read file: %s\n", KX_WHERE(kx::source::kxPart), source);
        return 0;
    }
    FileHandle out(win::CreateFileA(destination, win::GENERIC_WRITE, 0, nullptr, win::CREATE_ALWAYS,
                                    win::FILE_ATTRIBUTE_NORMAL | win::FILE_FLAG_WRITE_THROUGH, nullptr));
    if (!out.valid()) {
        kx_printf("ERR:[%s:%s:%d]: Fail to create read file: %s\n", KX_WHERE(kx::source::kxPart), source);
        return 0;
    }
    return copyChunks(in.get(), out.get());
}
