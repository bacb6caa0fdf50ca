#include "cli/header_probe.h"

#include <cstdio>

#include "crypto/volume_keys.h"
#include "platform/win_api.h"

namespace cli {

namespace {

// The header's 512 bytes, through a DOS name of this process for the
// partition's kernel path.
bool readHeader(const char* partitionPath, kx::crypto::HeaderBytes& header)
{
    char name[64];
    std::snprintf(name, sizeof name, "orvaneprobe%lu", static_cast<unsigned long>(win::GetCurrentProcessId()));
    if (!partitionPath || !win::DefineDosDeviceA(win::DDD_RAW_TARGET_PATH, name, partitionPath))
        return false;
    const std::string device = std::string("\\\\.\\") + name;
    const win::HANDLE h = win::CreateFileA(device.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                           nullptr, win::OPEN_EXISTING, 0, nullptr);
    win::DWORD done = 0;
    const bool read = h != win::INVALID_HANDLE_VALUE &&
                      win::ReadFile(h, header.data(), kx::crypto::headerSize, &done, nullptr) &&
                      done == kx::crypto::headerSize;
    if (h != win::INVALID_HANDLE_VALUE)
        win::CloseHandle(h);
    win::DefineDosDeviceA(win::DDD_RAW_TARGET_PATH | win::DDD_REMOVE_DEFINITION | win::DDD_EXACT_MATCH_ON_REMOVE, name,
                          partitionPath);
    return read;
}

bool opens(const kx::crypto::HeaderBytes& header, std::string_view password)
{
    return kx::crypto::openHeader(kx::crypto::passwordBytes(password), header).error == kx::crypto::HeaderError::None;
}

}  // namespace

HeaderOpener headerOpener(const char* partitionPath, std::string_view current, std::string_view chosen)
{
    kx::crypto::HeaderBytes header{};
    if (!readHeader(partitionPath, header))
        return HeaderOpener::Unreadable;
    const HeaderOpener opener = opens(header, chosen)    ? HeaderOpener::Chosen
                                : opens(header, current) ? HeaderOpener::Current
                                                         : HeaderOpener::Neither;
    kx::crypto::secureWipe(header);
    return opener;
}

}  // namespace cli
