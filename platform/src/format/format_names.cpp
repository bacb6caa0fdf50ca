// The words of the format service: its setting and the file systems.
#include "platform/volume_format.h"
#include "text/text_util.h"

namespace machine {

namespace {

constexpr std::pair<FormatService, const char*> kNames[] = {
    {FormatService::Ok, "ok"},
    {FormatService::Absent, "absent"},
    {FormatService::Fails, "fails"},
    {FormatService::FailsAt99, "fails_at_99"},
};

}  // namespace

std::optional<FormatService> formatServiceNamed(const std::string& name)
{
    for (const auto& [service, word] : kNames)
        if (equalsNoCase(name, word))
            return service;
    return std::nullopt;
}

std::string formatServiceName(FormatService service)
{
    for (const auto& [s, word] : kNames)
        if (s == service)
            return word;
    return "ok";
}

std::optional<FileSystemKind> fileSystemNamed(std::string_view name)
{
    for (auto kind : {FileSystemKind::Ntfs, FileSystemKind::Fat, FileSystemKind::Fat32})
        if (equalsNoCase(name, fileSystemName(kind)))
            return kind;
    return std::nullopt;
}

const char* fileSystemName(FileSystemKind kind)
{
    switch (kind) {
    case FileSystemKind::Ntfs:
        return "NTFS";
    case FileSystemKind::Fat:
        return "FAT";
    case FileSystemKind::Fat32:
        return "FAT32";
    }
    return "NTFS";
}

}  // namespace machine
