#include "cli/image/image_check.h"

#include <system_error>

#include "app/core/firmware/FileUpgradeOpt.h"
#include "app/core/firmware/UpgradeRegions.h"
#include "app/core/support/WideText.h"
#include "cli/library_session.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

ChecksumVerdict verdictOf(int code)
{
    switch (code) {
    case 0: return ChecksumVerdict::Holds;
    case 1: return ChecksumVerdict::Differs;
    case kHeaderSizesRefused: return ChecksumVerdict::SizesUnusable;
    case kFileTransferShort: return ChecksumVerdict::FileTooShort;
    default: return ChecksumVerdict::Unreadable;
    }
}

// What the file's bytes give, to show beside the header's value.
std::uint32_t computeChecksum(CFileUpgradeOpt& opt, const std::u16string& path, const UpgradeFileHeader& header)
{
    const UpgradeFileSpan span = ChecksumSpan(header);
    std::uint32_t sum = 0;
    opt.CksumUpgradeFile(path.c_str(), static_cast<std::uint32_t>(span.nOffset),
                         static_cast<std::uint32_t>(span.nLength), sum);
    return sum;
}

void checkFits(ImageCheck& check, int type, std::int64_t size)
{
    const UpgradeRegion& region = *FindUpgradeRegion(type);
    if (size > region.nMaxSize)
        check.problems.push_back(std::string("the ") + region.pName + " image has " + std::to_string(size) +
                                 " bytes; its region holds " + std::to_string(region.nMaxSize));
}

void printPart(std::ostream& out, int type, const UpgradeFileSpan& span)
{
    const UpgradeRegion& region = *FindUpgradeRegion(type);
    out << region.pName << ": " << span.nLength << " bytes at byte " << span.nOffset << " (region: "
        << region.nMaxSize << " bytes)\n";
}

std::string absoluteName(const fs::path& path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return (ec ? path : absolute).string();
}

// The firmware code opens files by UTF-16 name. A name that is not UTF-8
// has no such spelling: it would be looked for under another name and
// reported missing.
void checkNameConverts(const fs::path& image)
{
    const std::string name = absoluteName(image);
    const std::u16string wide = Utf8ToWide(name);
    if (wide.empty() && !name.empty())
        throw CommandFailure("the name " + image.string() + " could not be converted to UTF-16 for the file functions");
    if (WideToUtf8(wide) != name)
        throw CommandFailure("the name " + image.string() +
                             " is not UTF-8 text, so the file functions (UTF-16 names) cannot open it; "
                             "rename the file");
}

}  // namespace

std::u16string widePath(const fs::path& path) { return Utf8ToWide(absoluteName(path)); }

std::string ImageCheck::reason() const
{
    switch (verdict) {
    case ChecksumVerdict::Holds:
        return problems.empty() ? "" : problems.front();
    case ChecksumVerdict::Differs:
        return "its checksum does not hold";
    case ChecksumVerdict::HeaderRefused:
        return "its header is refused: " + headerProblem;
    case ChecksumVerdict::SizesUnusable:
        return "its header gives no usable sizes (KSIZE and RSIZE above 0, nothing negative)";
    case ChecksumVerdict::FileTooShort:
        return "the file ends before the end of the rootfs image its header describes";
    case ChecksumVerdict::Unreadable:
        break;
    }
    return "the file could not be read";
}

ImageCheck checkImage(const fs::path& image)
{
    std::error_code ec;
    if (fs::exists(image, ec) && !fs::is_regular_file(image, ec))
        throw CommandFailure(image.string() + " is not a file");
    checkNameConverts(image);
    const std::u16string path = widePath(image);
    CFileUpgradeOpt opt;
    ImageCheck check;
    // The header first: the checksum step answers 1 both for a missing
    // file and for a checksum that differs.
    const int parsed = opt.ParseUpgradeHeader(path.c_str(), check.header, &check.headerProblem);
    if (parsed == kHeaderNoSuchFile)
        throw CommandFailure("no such file: " + image.string());
    // A refused line leaves the fields half read: nothing of them is shown
    // or used.
    if (parsed == kHeaderLineRefused) {
        check.header = UpgradeFileHeader();
        check.verdict = ChecksumVerdict::HeaderRefused;
        return check;
    }
    if (parsed != kHeaderParsed)
        throw CommandFailure(image.string() + " could not be opened");
    // The same steps and codes as the upgrade's own verification.
    check.verdict = verdictOf(opt.CheckUpgradeFile(path.c_str(), check.header));
    if (check.verdict == ChecksumVerdict::Differs)
        check.computed = computeChecksum(opt, path, check.header);
    checkFits(check, UPGRADE_TYPE_KERNEL, check.header.nKSize);
    checkFits(check, UPGRADE_TYPE_ROOTFS, check.header.nRSize);
    return check;
}

void printImageCheck(const ImageCheck& check, std::ostream& out)
{
    if (check.verdict == ChecksumVerdict::HeaderRefused) {
        out << "header: refused: " << check.headerProblem << "\nchecksum: not checked\n";
        return;
    }
    const UpgradeFileHeader& h = check.header;
    out << "CRCSUM=" << h.nCrcSum << "\nSKIP=" << h.nSkip << "\nBSIZE=" << h.nBSize << "\nKSIZE=" << h.nKSize
        << "\nRSIZE=" << h.nRSize << "\n";
    out << "header: " << h.nHeaderLength << " bytes\n";
    if (check.verdict != ChecksumVerdict::SizesUnusable) {
        printPart(out, UPGRADE_TYPE_KERNEL, KernelImageSpan(h));
        printPart(out, UPGRADE_TYPE_ROOTFS, RootfsImageSpan(h));
    }
    const UpgradeFileSpan span = ChecksumSpan(h);
    switch (check.verdict) {
    case ChecksumVerdict::Holds:
        out << "checksum: holds (" << span.nLength << " bytes from byte " << span.nOffset << ")\n";
        break;
    case ChecksumVerdict::Differs:
        out << "checksum: does not hold (the header says " << h.nCrcSum << ", the bytes give " << check.computed
            << ")\n";
        break;
    default:
        out << "checksum: not checked: " << check.reason() << "\n";
        break;
    }
    for (const auto& problem : check.problems)
        out << "problem: " << problem << "\n";
}

}  // namespace cli
