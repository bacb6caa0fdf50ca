// Whether a firmware image file is one the upgrade takes: its header, its
// checksum, and parts that fit their regions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "app/core/firmware/UpgradeHeader.h"

namespace cli {

enum class ChecksumVerdict {
    Holds,
    Differs,
    HeaderRefused,  // a header line the format does not allow
    SizesUnusable,  // the header describes no kernel and rootfs to read
    FileTooShort,   // the file ends before its header says it does
    Unreadable,
};

struct ImageCheck {
    UpgradeFileHeader header;
    ChecksumVerdict verdict = ChecksumVerdict::Unreadable;
    std::uint32_t computed = 0;         // the file's checksum when it differs
    std::string headerProblem;          // the refused line, when the header is
    std::vector<std::string> problems;  // parts larger than their regions

    bool acceptable() const { return verdict == ChecksumVerdict::Holds && problems.empty(); }
    // Why the image is not acceptable, in one sentence.
    std::string reason() const;
};

// Throws CommandFailure when the file cannot be found or opened.
ImageCheck checkImage(const std::filesystem::path& image);
// The header fields, where the parts lie, and the verdict.
void printImageCheck(const ImageCheck& check, std::ostream& out);
// The image path as the firmware code takes it.
std::u16string widePath(const std::filesystem::path& path);

}  // namespace cli
