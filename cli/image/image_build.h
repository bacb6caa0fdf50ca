// Firmware image files made from their parts: the text header with the
// checksum, then the optional part ahead of the kernel, the kernel and the
// root file system image.
#pragma once

#include <filesystem>
#include <optional>

#include "app/core/firmware/UpgradeHeader.h"

namespace cli {

struct ImageParts {
    std::filesystem::path kernel;
    std::filesystem::path rootfs;
    std::optional<std::filesystem::path> bsize;  // the BSIZE bytes, if any
};

// Writes the image to out through a temporary file in the same folder, so
// out is either replaced whole or left as it was. Throws CommandFailure for
// parts that are missing, empty or larger than their regions.
UpgradeFileHeader buildImage(const ImageParts& parts, const std::filesystem::path& out);

}  // namespace cli
