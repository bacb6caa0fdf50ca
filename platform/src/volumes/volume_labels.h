// Volume labels as NTFS and FAT store them.
#pragma once

#include <string>
#include <string_view>

namespace win::detail {

// The 11 bytes of a FAT label in the OEM code page, upper case and padded
// with blanks, as Windows writes them. The label must have passed
// machine::labelProblem.
std::string fatLabelField(std::string_view utf8Label);

}  // namespace win::detail
