// KEY=VALUE settings of the machine and of its disks.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>

#include "platform/machine.h"
#include "text/text_util.h"

namespace machine {

namespace {

bool parseBool(const std::string& key, const std::string& v)
{
    if (v == "1" || equalsNoCase(v, "true") || equalsNoCase(v, "yes") || equalsNoCase(v, "on"))
        return true;
    if (v == "0" || equalsNoCase(v, "false") || equalsNoCase(v, "no") || equalsNoCase(v, "off"))
        return false;
    throw MachineError(key + " takes true or false, not '" + v + "'");
}

std::uint64_t parseNumber(const std::string& key, const std::string& v, std::uint64_t max)
{
    if (v.empty())
        throw MachineError(key + " needs a number");
    // Decimal or 0x hex; a leading zero must not turn a sector number octal.
    const bool hex = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
    char* end = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(v.c_str(), &end, hex ? 16 : 10);
    if (*end != '\0' || errno != 0 || !std::isdigit(static_cast<unsigned char>(v[0])) || n > max)
        throw MachineError(key + " takes a number up to " + std::to_string(max) + ", not '" + v + "'");
    return n;
}

std::optional<std::uint64_t> parseSector(const std::string& key, const std::string& v)
{
    if (equalsNoCase(v, "none") || v.empty())
        return std::nullopt;
    return parseNumber(key, v, UINT64_MAX);
}

// Windows releases by name, as GetVersionExA reports them.
const std::map<std::string, OsVersion>& osPresets()
{
    static const std::map<std::string, OsVersion> presets = {
        {"win32s", {0, 3, 10, 0, 1, "", false}},
        {"95", {1, 4, 0, 950, 1, "", false}},
        {"98", {1, 4, 10, 2222, 1, " A ", false}},
        {"me", {1, 4, 90, 3000, 1, " ", false}},
        {"nt4", {2, 4, 0, 1381, 1, "Service Pack 6", false}},
        {"2000", {2, 5, 0, 2195, 1, "Service Pack 4", false}},
        {"xp", {2, 5, 1, 2600, 1, "Service Pack 3", false}},
        {"xp64", {2, 5, 2, 3790, 1, "Service Pack 2", false}},
        {"2003", {2, 5, 2, 3790, 3, "Service Pack 2", false}},
        {"vista", {2, 6, 0, 6002, 1, "Service Pack 2", false}},
        {"7", {2, 6, 1, 7601, 1, "Service Pack 1", false}},
        {"8", {2, 6, 2, 9200, 1, "", false}},
        {"10", {2, 6, 2, 9200, 1, "", false}},  // what an unmanifested program sees
    };
    return presets;
}

std::uint16_t parseLangId(const std::string& v)
{
    if (equalsNoCase(v, "zh-CN"))
        return 0x0804;
    if (equalsNoCase(v, "zh-TW"))
        return 0x0404;
    if (equalsNoCase(v, "zh-HK"))
        return 0x0C04;
    if (equalsNoCase(v, "en-US"))
        return 0x0409;
    return static_cast<std::uint16_t>(parseNumber("lang_id", v, 0xFFFF));
}

std::uint8_t parseProductType(const std::string& v)
{
    if (equalsNoCase(v, "workstation"))
        return 1;
    if (equalsNoCase(v, "dc") || equalsNoCase(v, "domain_controller"))
        return 2;
    if (equalsNoCase(v, "server"))
        return 3;
    return static_cast<std::uint8_t>(parseNumber("os.product_type", v, 255));
}

// "X:N" (the letter's dismounts answer busy N more times) or "none".
void applyCryptBusy(Settings& s, const std::string& v)
{
    if (equalsNoCase(v, "none")) {
        s.cryptBusyLetter = 0;
        s.cryptBusyCount = 0;
        return;
    }
    const char letter = v.empty() ? 0 : static_cast<char>(std::toupper(static_cast<unsigned char>(v[0])));
    if (v.size() < 3 || letter < 'A' || letter > 'Z' || v[1] != ':')
        throw MachineError("crypt_busy takes LETTER:COUNT (e.g. Z:10) or none, not '" + v + "'");
    s.cryptBusyCount = static_cast<std::uint32_t>(parseNumber("crypt_busy", v.substr(2), 1000000));
    s.cryptBusyLetter = letter;
}

void applySetting(Settings& s, const std::string& key, const std::string& v)
{
    if (key == "time_scale") {
        char* end = nullptr;
        const double scale = std::strtod(v.c_str(), &end);
        if (v.empty() || *end != '\0' || !(scale >= 0.0))
            throw MachineError("time_scale takes a number of at least 0, not '" + v + "'");
        s.timeScale = scale;
    } else if (key == "host_disks") {
        if (v != "on" && v != "off")
            throw MachineError("host_disks takes on or off, not '" + v + "'");
        s.hostDisks = v == "on";
    } else if (key == "os") {
        const OsVersion* found = nullptr;
        for (const auto& [name, preset] : osPresets())
            if (equalsNoCase(name, v))
                found = &preset;
        if (!found)
            throw MachineError("unknown os '" + v + "' (win32s, 95, 98, me, nt4, 2000, xp, xp64, 2003, vista, 7, 8, 10)");
        s.os = *found;
    } else if (key == "os.platform") {
        s.os.platform = static_cast<std::uint32_t>(parseNumber(key, v, 2));
    } else if (key == "os.major") {
        s.os.major = static_cast<std::uint32_t>(parseNumber(key, v, 0xFFFFFFFF));
    } else if (key == "os.minor") {
        s.os.minor = static_cast<std::uint32_t>(parseNumber(key, v, 0xFFFFFFFF));
    } else if (key == "os.build") {
        s.os.build = static_cast<std::uint32_t>(parseNumber(key, v, 0xFFFFFFFF));
    } else if (key == "os.product_type") {
        s.os.productType = parseProductType(v);
    } else if (key == "os.csd") {
        if (v.size() > 127)
            throw MachineError("os.csd is at most 127 characters");
        s.os.csd = v;
    } else if (key == "os.fails") {
        s.os.fails = parseBool(key, v);
    } else if (key == "wow64") {
        s.wow64 = parseBool(key, v);
    } else if (key == "lang_id") {
        s.langId = parseLangId(v);
    } else if (key == "acp" || key == "oemcp") {
        const auto cp = static_cast<std::uint32_t>(parseNumber(key, v, 65535));
        if (cp != 0 && cp != 936 && cp != 950 && cp != 1252 && cp != 437)
            throw MachineError(key + " takes 936, 950, 1252, 437 or 0 (follow lang_id)");
        (key == "acp" ? s.acp : s.oemcp) = cp;
    } else if (key == "admin") {
        s.admin = parseBool(key, v);
    } else if (key == "uac") {
        s.uac = parseBool(key, v);
    } else if (key == "format_service") {
        auto service = formatServiceNamed(v);
        if (!service)
            throw MachineError("format_service takes ok, absent, fails or fails_at_99, not '" + v + "'");
        s.formatService = *service;
    } else if (key == "cryptoapi") {
        auto api = cryptoApiNamed(v);
        if (!api)
            throw MachineError("cryptoapi takes ok, no_keyset, absent or fails, not '" + v + "'");
        s.cryptoApi = *api;
    } else if (key == "crypt_driver_version") {
        s.cryptDriverVersion = static_cast<std::uint32_t>(parseNumber(key, v, 0xFFFF));
    } else if (key == "crypt_busy") {
        applyCryptBusy(s, v);
    } else {
        throw MachineError("unknown machine setting '" + key +
                           "' (time_scale, os, os.platform, os.major, os.minor, os.build, os.product_type, os.csd, "
                           "os.fails, wow64, lang_id, acp, oemcp, admin, uac, format_service, cryptoapi, "
                           "crypt_driver_version, crypt_busy, host_disks)");
    }
}

std::uint32_t parseNodeChanges(const std::string& key, const std::string& v)
{
    const auto bits = nodeChangesNamed(v);
    if (!bits)
        throw MachineError(key + " takes none, all or a comma list of disable, enable and propchange, not '" + v + "'");
    return *bits;
}

void applyDiskSetting(Disk& d, const std::string& key, const std::string& v)
{
    auto field = [&](std::string& out, size_t width) {
        if (v.size() > width)
            throw MachineError(key + " is at most " + std::to_string(width) + " characters");
        out = v;
    };
    if (key == "removable")
        d.removable = parseBool(key, v);
    else if (key == "read_only")
        d.readOnly = parseBool(key, v);
    else if (key == "write_protect")
        d.writeProtect = parseBool(key, v);
    else if (key == "publish_delay_ms")
        d.publishDelayMs = static_cast<std::uint32_t>(parseNumber(key, v, 3600000));
    else if (key == "letter_delay_ms")
        d.letterDelayMs = static_cast<std::uint32_t>(parseNumber(key, v, 3600000));
    else if (key == "restart_returns")
        d.restartReturns = parseBool(key, v);
    else if (key == "restart_new_instance")
        d.restartNewInstance = parseBool(key, v);
    else if (key == "restart_new_number")
        d.restartNewNumber = parseBool(key, v);
    else if (key == "fail_read_at")
        d.faults.failReadAt = parseSector(key, v);
    else if (key == "fail_write_at")
        d.faults.failWriteAt = parseSector(key, v);
    else if (key == "short_write_at")
        d.faults.shortWriteAt = parseSector(key, v);
    else if (key == "vanish_at")
        d.faults.vanishAt = parseSector(key, v);
    else if (key == "refuse_exclusive")
        d.faults.refuseExclusive = parseBool(key, v);
    else if (key == "refuse_device_number")
        d.faults.refuseDeviceNumber = parseBool(key, v);
    else if (key == "fault_skip_writes")
        d.faults.skipWrites = static_cast<std::uint32_t>(parseNumber(key, v, 0xFFFFFFFF));
    else if (key == "write_log")
        d.faults.writeLog = parseBool(key, v);
    else if (key == "vendor")
        field(d.vendor, 8);
    else if (key == "product")
        field(d.product, 16);
    else if (key == "revision")
        field(d.revision, 4);
    else if (key == "friendly_name")
        field(d.friendlyName, 256);
    else if (key == "node_reboot_on" || key == "node_fail_on")
        (key == "node_reboot_on" ? d.nodeRebootOn : d.nodeFailOn) = parseNodeChanges(key, v);
    else
        throw MachineError("unknown disk setting '" + key +
                           "' (removable, read_only, write_protect, publish_delay_ms, letter_delay_ms, "
                           "restart_returns, restart_new_instance, restart_new_number, fail_read_at, fail_write_at, "
                           "short_write_at, vanish_at, refuse_exclusive, refuse_device_number, fault_skip_writes, write_log, vendor, product, "
                           "revision, friendly_name, node_reboot_on, node_fail_on)");
}

}  // namespace

void setSetting(Machine& m, const std::string& key, const std::string& value)
{
    m.update([&](State& state) { applySetting(state.settings, key, value); });
}

void setDiskSetting(Machine& m, int slot, const std::string& key, const std::string& value)
{
    m.update([&](State& state) {
        Disk& d = diskBySlot(state, slot);
        if (d.system && (key == "vanish_at" || key == "read_only"))
            throw MachineError("the system disk cannot take '" + key + "'");
        applyDiskSetting(d, key, value);
    });
}

}  // namespace machine
