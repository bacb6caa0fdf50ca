// orvane private: private (encrypted) partitions of the appliance disk:
// format one, load it on a drive letter, unload it, check or change its
// password. The encryption driver is attached for the commands that mount.
#include <cctype>
#include <optional>
#include <string>

#include "cli/commands/commands.h"
#include "cli/device_choice.h"
#include "cli/header_probe.h"
#include "cli/library_session.h"
#include "cli/password_input.h"
#include "kx/kx.h"
#include "platform/win_api.h"

namespace cli {

namespace {

const std::vector<std::string> kCommon = {"--device", "--password-fd", "--driver"};

int partitionNumber(const std::string& word)
{
    if (word.empty() || word.size() > 3 || word.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(word) == 0)
        throw UsageError("private needs a partition number (1, 2, ...), not '" + word + "'");
    return std::stoi(word);
}

bool hasNumber(const char* path, int number)
{
    const std::string text = path ? path : "";
    const std::string tail = "\\Partition" + std::to_string(number);
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

const char* fileSystemOf(int kind)
{
    switch (kind) {
    case KX_FS_PRIVATE_FAT:
        return "FAT";
    case KX_FS_PRIVATE_FAT32:
        return "FAT32";
    case KX_FS_PRIVATE_NTFS:
        return "NTFS";
    default:
        return nullptr;
    }
}

// The disk and partition a command names; fetched afresh, as every change
// of the library's view makes older handles stale.
struct Target {
    std::string devpath;
    int number = 0;

    PedWinPart* find() const
    {
        kx_disk* disk = kx_disk_get(devpath.c_str());
        if (!disk)
            throw CommandFailure("the disk " + devpath + " could not be read");
        for (PedWinPart* p = kx_part_getinfo(disk, nullptr, KX_PART_ALL); p;
             p = kx_part_getinfo(disk, p, KX_PART_ALL))
            if (hasNumber(p->path, number)) {
                if (!fileSystemOf(p->kind))
                    throw CommandFailure(name() + " is not a private partition");
                return p;
            }
        throw CommandFailure("there is no partition " + std::to_string(number) + " on " + devpath);
    }
    std::string name() const { return "partition " + std::to_string(number); }
};

Target targetOf(const CommandLine& line)
{
    if (line.words.size() != 3)
        throw UsageError("private " + line.words[1] + " needs one partition number");
    const int number = partitionNumber(line.words[2]);
    return {chooseDevice(listDevices(), line.option("--device")), number};
}

void attachDriver(const CommandLine& line)
{
    const std::string folder = line.option("--driver").value_or(".");
    if (kx_load_crypto_driver(folder.c_str()) != 1)
        throw CommandFailure("the encryption driver could not be loaded (it needs kxcrypt.sys in " + folder +
                             " or installed before, kxcrypt-x64.sys on 64-bit Windows, and administrator rights)");
}

std::string whyNotFormatted(int code)
{
    switch (code) {
    case KX_FORMAT_HELD:
        return "the partition is in use by another program, or the new volume could not be mounted";
    case KX_FORMAT_NO_FREE_LETTER:
        return "no drive letter is free to format it through";
    case KX_FORMAT_PRIVATE_NOT_FORMATTED:
        return "the format service did not report success";
    case KX_FORMAT_BAD_SIZE:
        return "the file system does not fit the partition, or the cluster size is not a power of two from 512 "
               "to 32768; nothing was done";
    case KX_FORMAT_BAD_LABEL:
        return "the label is longer than 35 characters; nothing was done";
    case KX_FORMAT_WRITE_FAILED:
        return "writing the volume failed";
    default:
        return "the library answered " + std::to_string(code);
    }
}

int format(const CommandLine& line, std::ostream& out)
{
    std::vector<std::string> allowed = kCommon;
    allowed.insert(allowed.end(), {"--label", "--full", "--cluster", "--yes"});
    line.allowOnly(allowed);
    const auto label = line.option("--label");
    if (!label)
        throw UsageError("private format needs --label");
    int cluster = 0;
    if (const auto c = line.option("--cluster")) {
        if (c->empty() || c->size() > 5 || c->find_first_not_of("0123456789") != std::string::npos)
            throw UsageError("--cluster takes a size in bytes");
        cluster = std::stoi(*c);
    }
    PasswordInput input(line.option("--password-fd"));
    LibrarySession session;
    const Target target = targetOf(line);
    const char* fileSystem = fileSystemOf(target.find()->kind);
    if (std::string(fileSystem) == "NTFS")
        attachDriver(line);
    if (!line.option("--yes") &&
        !askToGoOn(target.name() + " of " + target.devpath + " becomes an encrypted " + fileSystem +
                       " volume. Everything on it will be lost.",
                   out))
        throw CommandFailure("format cancelled; nothing was written");
    const Secret password = input.chosen("New password", out);
    out << "Formatting " << target.name() << " as a private " << fileSystem << " volume...\n";
    const int result = kx_part_format(target.find(), password.c_str(), label->c_str(),
                                      line.option("--full") ? 0 : 1, cluster);
    if (result != 0)
        throw CommandFailure(target.name() + " was not formatted: " + whyNotFormatted(result));
    out << "Formatted " << target.name() << " as a private " << fileSystem << " volume.\n";
    return kSuccess;
}

// The library only says a load failed; the reason is found by elimination.
std::string whyNotLoaded(const Target& target, const Secret& password, const std::optional<std::string>& letter)
{
    switch (headerOpener(target.find()->path, password.text(), password.text())) {
    case HeaderOpener::Neither:
        return "the password does not open it";
    case HeaderOpener::Unreadable:
        return "its header could not be read";
    case HeaderOpener::Current:
    case HeaderOpener::Chosen:
        break;
    }
    const win::DWORD used = win::GetLogicalDrives();
    if (letter) {
        if (used & (1u << ((*letter)[0] - 'A')))
            return "the password opens it, but " + *letter + " is taken by another drive";
    } else {
        bool anyFree = false;
        for (int drive = 'D' - 'A'; drive <= 'Z' - 'A'; ++drive)
            anyFree = anyFree || !(used & (1u << drive));
        if (!anyFree)
            return "the password opens it, but no drive letter from D: to Z: is free";
    }
    return "the password opens it, but the encryption driver did not mount it";
}

int load(const CommandLine& line, std::ostream& out)
{
    std::vector<std::string> allowed = kCommon;
    allowed.push_back("--letter");
    line.allowOnly(allowed);
    std::optional<std::string> letter = line.option("--letter");
    if (letter) {
        if (letter->empty() || !std::isalpha(static_cast<unsigned char>((*letter)[0])) ||
            (letter->size() > 1 && *letter != std::string(1, (*letter)[0]) + ":"))
            throw UsageError("--letter takes a drive letter such as X:");
        letter = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>((*letter)[0])))) + ":";
    }
    PasswordInput input(line.option("--password-fd"));
    LibrarySession session;
    const Target target = targetOf(line);
    target.find();
    attachDriver(line);
    // Read again with the driver attached: it knows a volume another process loaded.
    kx_disk_probe(target.devpath.c_str());
    if (const PedWinPart* part = target.find(); part->loaded || part->mountpoint)
        throw CommandFailure(target.name() + " is loaded already" +
                             (part->mountpoint ? std::string(" on ") + part->mountpoint : std::string()));
    const Secret password = input.existing("Password", out);
    if (kx_part_load(target.find(), password.c_str(), letter ? letter->c_str() : nullptr) != 0)
        throw CommandFailure(target.name() + " was not loaded: " + whyNotLoaded(target, password, letter));
    session.keepLoadedVolumes();
    const PedWinPart* part = target.find();
    out << "Loaded " << target.name() << " on " << (part->mountpoint ? part->mountpoint : "a drive") << ".\n";
    return kSuccess;
}

int unload(const CommandLine& line, std::ostream& out)
{
    line.allowOnly({"--device", "--driver"});
    LibrarySession session;
    const Target target = targetOf(line);
    target.find();
    attachDriver(line);
    if (kx_part_unload(target.find()) != 0)
        throw CommandFailure(target.name() + " could not be unloaded: it is not loaded, or files on it are in use");
    out << "Unloaded " << target.name() << ".\n";
    return kSuccess;
}

int check(const CommandLine& line, std::ostream& out)
{
    line.allowOnly({"--device", "--password-fd"});
    PasswordInput input(line.option("--password-fd"));
    LibrarySession session;
    const Target target = targetOf(line);
    target.find();
    const Secret password = input.existing("Password", out);
    // Decided on the header read only: the library's check also rewrites it,
    // and a refused write (a write-protected disk) is no wrong password.
    switch (headerOpener(target.find()->path, password.text(), password.text())) {
    case HeaderOpener::Current:
    case HeaderOpener::Chosen:
        break;
    case HeaderOpener::Neither:
        throw CommandFailure("the password does not open " + target.name());
    case HeaderOpener::Unreadable:
        if (kx_part_chk_pwd(target.find(), password.c_str()) != 1)
            throw CommandFailure("the password does not open " + target.name() +
                                 ", or its header could not be read or rewritten");
        break;
    }
    out << "The password opens " << target.name() << ".\n";
    return kSuccess;
}

// What a change that failed left: the header as the disk holds it now says
// which password opens the partition.
std::string unfinishedChange(const std::string& name, HeaderOpener opener)
{
    switch (opener) {
    case HeaderOpener::Chosen:
        return "writing the header of " + name + " failed part way, yet the new password opens it now and the "
                                                 "current one no longer does";
    case HeaderOpener::Current:
        return "the password of " + name + " was not changed: writing its header failed, and the current password "
                                           "still opens it";
    case HeaderOpener::Neither:
        return "writing the header of " + name + " failed part way: neither the current nor the new password "
                                                 "opens it now";
    case HeaderOpener::Unreadable:
        break;
    }
    return "the password change of " + name + " failed, and its header cannot be read back to tell which password "
                                              "opens it";
}

int passwd(const CommandLine& line, std::ostream& out)
{
    line.allowOnly({"--device", "--password-fd"});
    PasswordInput input(line.option("--password-fd"));
    LibrarySession session;
    const Target target = targetOf(line);
    target.find();
    const Secret old = input.existing("Current password", out);
    const Secret chosen = input.chosen("New password", out);
    if (headerOpener(target.find()->path, old.text(), chosen.text()) == HeaderOpener::Neither)
        throw CommandFailure("the current password does not open " + target.name() + "; nothing was changed");
    if (kx_part_modify_pwd(target.find(), old.c_str(), chosen.c_str()) != 1)
        throw CommandFailure(unfinishedChange(target.name(), headerOpener(target.find()->path, old.text(), chosen.text())));
    out << "Changed the password of " << target.name() << ".\n";
    return kSuccess;
}

}  // namespace

int runPrivate(const CommandLine& line, std::ostream& out)
{
    const std::string sub = line.words.size() > 1 ? line.words[1] : "";
    if (sub == "format")
        return format(line, out);
    if (sub == "load")
        return load(line, out);
    if (sub == "unload")
        return unload(line, out);
    if (sub == "check")
        return check(line, out);
    if (sub == "passwd")
        return passwd(line, out);
    throw UsageError("private needs format, load, unload, check or passwd");
}

}  // namespace cli
