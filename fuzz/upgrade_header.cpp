// Firmware image files: the text header, the spans it promises and the reads
// of those spans. A region that is read must be exactly the file's bytes
// where the header says it lies.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/core/firmware/FileUpgradeOpt.h"
#include "app/core/firmware/UpgradeRegions.h"
#include "app/core/support/WideText.h"
#include "fuzz_machine.h"

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

void checkRegion(CFileUpgradeOpt& opt, const std::u16string& path, int type, const UpgradeFileHeader& header,
                 const std::uint8_t* data, std::size_t size)
{
    ByteBuffer bytes;
    std::uint32_t got = 0;
    if (opt.ReadUpgradeFile(path.c_str(), type, header, bytes, &got) != 0)
        return;
    const UpgradeFileSpan span = type == UPGRADE_TYPE_KERNEL ? KernelImageSpan(header) : RootfsImageSpan(header);
    check(IsReadableSpan(span));
    check(got == span.nLength && bytes.size() == got);
    check(static_cast<std::uint64_t>(span.nOffset) + got <= size);
    check(got == 0 || std::memcmp(bytes.data(), data + span.nOffset, got) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::u16string path = Utf8ToWide(fuzzing::writeScratchFile(data, size).string());
    CFileUpgradeOpt opt;
    UpgradeFileHeader header;
    const int checked = opt.CheckUpgradeFile(path.c_str(), header);
    // Text mode reads CR LF as one byte, so the header never counts more than the file.
    check(header.nHeaderLength <= static_cast<std::int64_t>(size));
    check(header.nFirstLineLength <= header.nHeaderLength);
    if (checked == 0 || checked == 1) {
        check(HasUsableSizes(header));
        checkRegion(opt, path, UPGRADE_TYPE_KERNEL, header, data, size);
        checkRegion(opt, path, UPGRADE_TYPE_ROOTFS, header, data, size);
    }
    // Each line on its own, as the parser sees it.
    UpgradeFileHeader lineHeader;
    ParseHeaderLine(std::string_view(reinterpret_cast<const char*>(data), size), lineHeader);
    return 0;
}
