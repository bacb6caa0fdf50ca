#include "volumes/volume_labels.h"

#include "platform/volume_format.h"
#include "text/codepage.h"

namespace win::detail {

std::string fatLabelField(std::string_view utf8Label)
{
    std::string bytes = fromWide(utf8ToWide(utf8Label), CP_OEMCP);
    for (auto& c : bytes)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    bytes.resize(11, ' ');
    return bytes;
}

}  // namespace win::detail

namespace machine {

namespace {

bool isControl(char16_t c) { return c < 0x20 || c == 0x7F; }

}  // namespace

std::optional<std::string> labelProblem(FileSystemKind kind, std::string_view utf8Label)
{
    const std::u16string wide = win::detail::utf8ToWide(utf8Label);
    if (win::detail::wideToUtf8(wide) != utf8Label)
        return "the label is not valid text";
    // NTFS takes what a file name may hold; FAT also refuses the characters
    // of 8.3 names' punctuation.
    const std::u16string_view refused = kind == FileSystemKind::Ntfs ? u"\"*/:<>?\\|" : u"\"*+,./:;<=>?[\\]|";
    const std::string which = std::string(fileSystemName(kind)) + " labels cannot hold ";
    for (char16_t c : wide) {
        if (isControl(c))
            return which + "control characters";
        if (refused.find(c) != std::u16string_view::npos)
            return which + "'" + win::detail::wideToUtf8(std::u16string(1, c)) + "'";
    }
    if (kind == FileSystemKind::Ntfs) {
        if (wide.size() > 32)
            return "NTFS labels are at most 32 characters";
        return std::nullopt;
    }
    const std::string oem = win::detail::fromWide(wide, win::CP_OEMCP);
    if (win::detail::toWide(oem, win::CP_OEMCP) != wide)
        return "FAT labels hold only characters of the OEM code page " +
               std::to_string(win::detail::resolveCodePage(win::CP_OEMCP));
    if (oem.size() > 11)
        return "FAT labels are at most 11 bytes in the OEM code page";
    return std::nullopt;
}

}  // namespace machine
