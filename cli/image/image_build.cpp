#include "cli/image/image_build.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "app/core/checksums/Checksums.h"
#include "app/core/firmware/UpgradeRegions.h"
#include "cli/library_session.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

std::uintmax_t sizeOf(const fs::path& file)
{
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        throw CommandFailure(file.string() + " is not a file");
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec)
        throw CommandFailure("the size of " + file.string() + " could not be read");
    return size;
}

// A part the upgrade writes into a region must be there and fit it: the
// region write would silently cut a longer one.
std::uintmax_t regionPartSize(const fs::path& file, int type)
{
    const UpgradeRegion& region = *FindUpgradeRegion(type);
    const std::uintmax_t size = sizeOf(file);
    if (size == 0)
        throw CommandFailure(std::string("the ") + region.pName + " image " + file.string() + " is empty");
    if (size > region.nMaxSize)
        throw CommandFailure(std::string("the ") + region.pName + " image " + file.string() + " has " +
                             std::to_string(size) + " bytes; its region holds " + std::to_string(region.nMaxSize));
    return size;
}

void appendFile(std::string& data, const fs::path& file, std::uintmax_t size)
{
    std::ifstream in(file, std::ios::binary);
    const std::size_t at = data.size();
    data.resize(at + size);
    in.read(data.data() + at, static_cast<std::streamsize>(size));
    if (!in || static_cast<std::uintmax_t>(in.gcount()) != size || in.peek() != std::char_traits<char>::eof())
        throw CommandFailure(file.string() + " could not be read whole (did it change meanwhile?)");
}

// A new file beside out that no one else uses ("x" mode: fails if it exists).
std::FILE* openTemporary(const fs::path& out, fs::path& temporary)
{
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = out.parent_path() / ("." + out.filename().string() + "." + std::to_string(random() % 1000000));
        if (std::FILE* file = std::fopen(temporary.c_str(), "wbx"))
            return file;
        if (errno != EEXIST)
            break;
    }
    throw CommandFailure("no temporary file could be created beside " + out.string());
}

void writeReplacing(const fs::path& out, const std::string& first, const std::string& rest)
{
    std::error_code ec;
    if (fs::is_directory(out, ec))
        throw CommandFailure(out.string() + " is a folder");
    fs::path temporary;
    std::FILE* file = openTemporary(out, temporary);
    bool written = std::fwrite(first.data(), 1, first.size(), file) == first.size() &&
                   std::fwrite(rest.data(), 1, rest.size(), file) == rest.size() && std::fflush(file) == 0;
    written = std::fclose(file) == 0 && written;
    if (written)
        fs::rename(temporary, out, ec);
    if (!written || ec) {
        fs::remove(temporary, ec);
        throw CommandFailure(out.string() + " could not be written");
    }
}

}  // namespace

UpgradeFileHeader buildImage(const ImageParts& parts, const fs::path& out)
{
    // Replacing an input would lose the very part the image was to carry.
    std::vector<fs::path> inputs = {parts.kernel, parts.rootfs};
    if (parts.bsize)
        inputs.push_back(*parts.bsize);
    for (const fs::path& input : inputs) {
        std::error_code ec;
        if (fs::equivalent(input, out, ec))
            throw CommandFailure("the output " + out.string() + " is the input " + input.string() +
                                 "; nothing was written");
    }
    UpgradeFileHeader header;
    header.nSkip = 4;
    const std::uintmax_t kernelSize = regionPartSize(parts.kernel, UPGRADE_TYPE_KERNEL);
    const std::uintmax_t rootfsSize = regionPartSize(parts.rootfs, UPGRADE_TYPE_ROOTFS);
    const std::uintmax_t bsizeSize = parts.bsize ? sizeOf(*parts.bsize) : 0;
    // BSIZE is read as a signed 32-bit number.
    if (bsizeSize > static_cast<std::uintmax_t>(std::numeric_limits<std::int32_t>::max()))
        throw CommandFailure("the part " + parts.bsize->string() + " is too large for the header's BSIZE");
    header.nBSize = static_cast<std::int32_t>(bsizeSize);
    header.nKSize = static_cast<std::int32_t>(kernelSize);
    header.nRSize = static_cast<std::int32_t>(rootfsSize);

    // Everything after the first line is covered by the checksum.
    std::string rest = "SKIP=4\nBSIZE=" + std::to_string(header.nBSize) + "\nKSIZE=" + std::to_string(header.nKSize) +
                       "\nRSIZE=" + std::to_string(header.nRSize) + "\n";
    const std::size_t headerRest = rest.size();
    rest.reserve(headerRest + bsizeSize + kernelSize + rootfsSize);
    if (parts.bsize)
        appendFile(rest, *parts.bsize, bsizeSize);
    appendFile(rest, parts.kernel, kernelSize);
    appendFile(rest, parts.rootfs, rootfsSize);

    header.nCrcSum = Cksum(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size(), MakeCksumTable(true));
    const std::string first = "CRCSUM=" + std::to_string(header.nCrcSum) + "\n";
    header.nFirstLineLength = static_cast<std::int64_t>(first.size());
    header.nHeaderLength = static_cast<std::int64_t>(first.size() + headerRest);
    writeReplacing(out, first, rest);
    return header;
}

}  // namespace cli
