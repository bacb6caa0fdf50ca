// orvane userinfo get|set: the four texts of the user information block in
// sector 0 of the appliance disk.
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/commands/commands.h"
#include "cli/device_choice.h"
#include "cli/library_session.h"
#include "kx/kx.h"

namespace cli {

namespace {

struct TextField {
    const char* option;
    char* text;
    std::size_t size;
};

std::array<TextField, 4> fieldsOf(kx_user_info& user)
{
    return {{{"--text1", user.text1, sizeof user.text1},
             {"--text2", user.text2, sizeof user.text2},
             {"--text3", user.text3, sizeof user.text3},
             {"--text4", user.text4, sizeof user.text4}}};
}

kx_disk* diskOf(const std::string& devpath)
{
    kx_disk* disk = kx_disk_get(devpath.c_str());
    if (!disk)
        throw CommandFailure("the disk " + devpath + " could not be read");
    return disk;
}

void readInfo(kx_disk* disk, const std::string& devpath, kx_user_info& user)
{
    user = {};
    if (kx_disk_get_userinfo(disk, &user) != 1)
        throw CommandFailure("the user information of " + devpath + " could not be read");
}

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// Control bytes another tool left on the disk are shown as \xNN, so each
// text stays on its own line.
std::string shownText(std::string_view text)
{
    std::string shown;
    for (const unsigned char c : text) {
        if (!isControl(c)) {
            shown += static_cast<char>(c);
            continue;
        }
        static const char digits[] = "0123456789abcdef";
        shown += {'\\', 'x', digits[c >> 4], digits[c & 15]};
    }
    return shown;
}

int getInfo(const std::string& devpath, std::ostream& out)
{
    kx_user_info user{};
    readInfo(diskOf(devpath), devpath, user);
    for (const TextField& f : fieldsOf(user))
        out << (f.option + 2) << ": " << shownText(std::string_view(f.text, strnlen(f.text, f.size))) << '\n';
    return kSuccess;
}

int setInfo(const CommandLine& line, const std::string& devpath, std::ostream& out)
{
    kx_disk* disk = diskOf(devpath);
    kx_user_info user{};
    // Texts not given keep what the disk holds.
    readInfo(disk, devpath, user);
    for (const TextField& f : fieldsOf(user)) {
        const auto value = line.option(f.option);
        if (!value)
            continue;
        std::memset(f.text, 0, f.size);
        std::memcpy(f.text, value->data(), value->size());
    }
    if (kx_disk_set_userinfo(disk, &user) != 1)
        throw CommandFailure("the user information of " + devpath + " could not be written");
    out << "User information written to " << devpath << ".\n";
    return kSuccess;
}

// Checked before the library starts: a text must leave room for its terminator.
void checkTexts(const CommandLine& line)
{
    kx_user_info sizes{};
    bool any = false;
    for (const TextField& f : fieldsOf(sizes)) {
        const auto value = line.option(f.option);
        if (!value)
            continue;
        any = true;
        if (value->size() >= f.size)
            throw UsageError(std::string(f.option) + " takes at most " + std::to_string(f.size - 1) + " bytes");
        for (std::size_t i = 0; i < value->size(); ++i)
            if (isControl(static_cast<unsigned char>((*value)[i])))
                throw UsageError(std::string(f.option) + " cannot hold control characters such as line feeds, tabs "
                                 "or zero bytes (one is at byte " + std::to_string(i + 1) + ")");
    }
    if (!any)
        throw UsageError("userinfo set needs at least one of --text1, --text2, --text3, --text4");
}

}  // namespace

int runUserInfo(const CommandLine& line, std::ostream& out)
{
    if (line.words.size() != 2 || (line.words[1] != "get" && line.words[1] != "set"))
        throw UsageError("userinfo needs get or set");
    const bool set = line.words[1] == "set";
    if (set) {
        line.allowOnly({"--device", "--text1", "--text2", "--text3", "--text4"});
        checkTexts(line);
    } else {
        line.allowOnly({"--device"});
    }
    LibrarySession session;
    const std::string devpath = chooseDevice(listDevices(), line.option("--device"));
    return set ? setInfo(line, devpath, out) : getInfo(devpath, out);
}

}  // namespace cli
