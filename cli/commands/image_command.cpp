// orvane image create|verify: firmware image files made from a kernel and a
// root file system image, and checked as the upgrade checks them.
#include "cli/commands/commands.h"
#include "cli/image/image_build.h"
#include "cli/image/image_check.h"
#include "cli/library_session.h"

namespace cli {

namespace {

std::string required(const CommandLine& line, const std::string& name)
{
    const auto value = line.option(name);
    if (!value || value->empty())
        throw UsageError("image create needs " + name);
    return *value;
}

int create(const CommandLine& line, std::ostream& out)
{
    if (line.words.size() != 2)
        throw UsageError("image create takes no further words");
    line.allowOnly({"--kernel", "--rootfs", "--bsize-file", "--output"});
    ImageParts parts{required(line, "--kernel"), required(line, "--rootfs"), std::nullopt};
    if (const auto bsize = line.option("--bsize-file"))
        parts.bsize = *bsize;
    const std::string output = required(line, "--output");
    const UpgradeFileHeader header = buildImage(parts, output);
    out << "Wrote " << output << ": CRCSUM=" << header.nCrcSum << ", BSIZE=" << header.nBSize
        << ", KSIZE=" << header.nKSize << ", RSIZE=" << header.nRSize << ".\n";
    return kSuccess;
}

int verify(const CommandLine& line, std::ostream& out)
{
    if (line.words.size() != 3)
        throw UsageError("image verify needs one image file");
    line.allowOnly({});
    const ImageCheck check = checkImage(line.words[2]);
    printImageCheck(check, out);
    if (!check.acceptable())
        throw CommandFailure(line.words[2] + " does not verify: " + check.reason());
    return kSuccess;
}

}  // namespace

int runImage(const CommandLine& line, std::ostream& out)
{
    const std::string sub = line.words.size() > 1 ? line.words[1] : "";
    if (sub == "create")
        return create(line, out);
    if (sub == "verify")
        return verify(line, out);
    throw UsageError("image needs create or verify");
}

}  // namespace cli
