#include "machine/machine_json.h"

#include <cmath>
#include <limits>
#include <string_view>
#include <type_traits>
#include <utility>

namespace machine {

using nlohmann::json;

namespace {

constexpr int kFormatVersion = 1;

// Whole numbers are range-checked before conversion: a hand-edited 1e30
// would otherwise be undefined behaviour, and 1e10 a silently wrong number.
template <typename T>
T valueOf(const json& v, const char* key)
{
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
        bool fits = true;
        if (v.is_number_float()) {
            const double d = v.get<double>();
            const double limit = std::ldexp(1.0, std::numeric_limits<T>::digits);
            fits = std::trunc(d) == d && d >= static_cast<double>(std::numeric_limits<T>::min()) && d < limit;
        } else if (v.is_number_unsigned()) {
            fits = std::in_range<T>(v.get<std::uint64_t>());
        } else if (v.is_number_integer()) {
            fits = std::in_range<T>(v.get<std::int64_t>());
        }
        if (!fits)
            throw MachineError(std::string("machine.json: ") + key + " is not a whole number in range");
    }
    return v.get<T>();
}

template <typename T>
const char* kindOf()
{
    if constexpr (std::is_same_v<T, bool>)
        return "true or false";
    else if constexpr (std::is_same_v<T, std::string>)
        return "text";
    else if constexpr (std::is_integral_v<T>)
        return "a whole number";
    else
        return "of another kind";
}

// A hand edit that puts the wrong kind of value under a key is named by the
// key, not by the JSON library's words.
template <typename T>
T checkedValueOf(const json& v, const char* key)
{
    try {
        return valueOf<T>(v, key);
    } catch (const json::type_error&) {
        throw MachineError(std::string("machine.json: ") + key + " must be " + kindOf<T>() + ", not " +
                           (v.is_string() ? "text" : v.type_name()));
    }
}

template <typename T>
void read(const json& j, const char* key, T& out)
{
    auto it = j.find(key);
    if (it != j.end() && !it->is_null())
        out = checkedValueOf<T>(*it, key);
}

template <typename T>
void read(const json& j, const char* key, std::optional<T>& out)
{
    auto it = j.find(key);
    if (it != j.end() && !it->is_null())
        out = checkedValueOf<T>(*it, key);
}

// The list under key, empty when there is none; anything else is damage
// (iterating a string would read it as one record).
const json& listAt(const json& j, const char* key)
{
    static const json none = json::array();
    auto it = j.find(key);
    if (it == j.end() || it->is_null())
        return none;
    if (!it->is_array())
        throw MachineError(std::string("machine.json: ") + key + " must be a list, not " +
                           (it->is_string() ? "text" : it->type_name()));
    return *it;
}

// Two disks on one number or one image would write each other's bytes.
void checkDisksApart(const std::vector<Disk>& disks)
{
    for (size_t a = 0; a < disks.size(); ++a)
        for (size_t b = a + 1; b < disks.size(); ++b) {
            const Disk& x = disks[a];
            const Disk& y = disks[b];
            const std::string both = "disks " + std::to_string(x.slot) + " and " + std::to_string(y.slot);
            if (x.present && y.present && x.number == y.number)
                throw MachineError("machine.json: " + both + " both have the number " + std::to_string(x.number));
            // Host slots may name a node the kernel handed on; the host rules judge those.
            if (!x.host && !y.host && x.backing == y.backing)
                throw MachineError("machine.json: " + both + " both use the backing " + x.backing);
        }
}

template <typename T>
void write(json& j, const char* key, const std::optional<T>& value)
{
    if (value)
        j[key] = *value;
}

// A drive letter A..Z, or 0 when the key is absent or empty.
char letterFrom(const json& j, const char* key)
{
    std::string text;
    read(j, key, text);
    if (text.empty())
        return 0;
    if (text.size() != 1 || text[0] < 'A' || text[0] > 'Z')
        throw MachineError(std::string("machine.json: ") + key + " is not a drive letter A to Z");
    return text[0];
}

json settingsToJson(const Settings& s)
{
    return {{"time_scale", s.timeScale},
            {"os",
             {{"platform", s.os.platform},
              {"major", s.os.major},
              {"minor", s.os.minor},
              {"build", s.os.build},
              {"product_type", s.os.productType},
              {"csd", s.os.csd},
              {"fails", s.os.fails}}},
            {"wow64", s.wow64},
            {"lang_id", s.langId},
            {"acp", s.acp},
            {"oemcp", s.oemcp},
            {"admin", s.admin},
            {"uac", s.uac},
            {"format_service", formatServiceName(s.formatService)},
            {"cryptoapi", cryptoApiName(s.cryptoApi)},
            {"crypt_driver_version", s.cryptDriverVersion},
            {"crypt_busy_letter", s.cryptBusyLetter ? std::string(1, s.cryptBusyLetter) : std::string()},
            {"crypt_busy_count", s.cryptBusyCount},
            {"host_disks", s.hostDisks}};
}

Settings settingsFromJson(const json& j)
{
    Settings s;
    read(j, "time_scale", s.timeScale);
    if (auto os = j.find("os"); os != j.end()) {
        read(*os, "platform", s.os.platform);
        read(*os, "major", s.os.major);
        read(*os, "minor", s.os.minor);
        read(*os, "build", s.os.build);
        read(*os, "product_type", s.os.productType);
        read(*os, "csd", s.os.csd);
        read(*os, "fails", s.os.fails);
    }
    read(j, "wow64", s.wow64);
    read(j, "lang_id", s.langId);
    read(j, "acp", s.acp);
    read(j, "oemcp", s.oemcp);
    read(j, "admin", s.admin);
    read(j, "uac", s.uac);
    std::string service = formatServiceName(s.formatService);
    read(j, "format_service", service);
    auto named = formatServiceNamed(service);
    if (!named)
        throw MachineError("format_service '" + service + "' is not ok, absent, fails or fails_at_99");
    s.formatService = *named;
    std::string crypto = cryptoApiName(s.cryptoApi);
    read(j, "cryptoapi", crypto);
    auto api = cryptoApiNamed(crypto);
    if (!api)
        throw MachineError("cryptoapi '" + crypto + "' is not ok, no_keyset, absent or fails");
    s.cryptoApi = *api;
    read(j, "crypt_driver_version", s.cryptDriverVersion);
    s.cryptBusyLetter = letterFrom(j, "crypt_busy_letter");
    read(j, "crypt_busy_count", s.cryptBusyCount);
    read(j, "host_disks", s.hostDisks);
    if (!(s.timeScale >= 0.0))
        throw MachineError("time_scale must not be negative");
    return s;
}

json partitionToJson(const PublishedPartition& p)
{
    return {{"number", p.number},         {"offset", p.offset},   {"length", p.length},
            {"hidden", p.hiddenSectors},  {"type", p.type},       {"boot", p.boot},
            {"volume", p.volume},         {"letter", p.letter ? std::string(1, p.letter) : std::string()},
            {"visible_at", p.visibleAtMs}, {"letter_at", p.letterAtMs}};
}

PublishedPartition partitionFromJson(const json& j)
{
    PublishedPartition p;
    read(j, "number", p.number);
    read(j, "offset", p.offset);
    read(j, "length", p.length);
    read(j, "hidden", p.hiddenSectors);
    read(j, "type", p.type);
    read(j, "boot", p.boot);
    read(j, "volume", p.volume);
    std::string letter;
    read(j, "letter", letter);
    p.letter = letter.empty() ? 0 : letter[0];
    read(j, "visible_at", p.visibleAtMs);
    read(j, "letter_at", p.letterAtMs);
    return p;
}

json diskToJson(const Disk& d)
{
    json faults = json::object();
    write(faults, "fail_read_at", d.faults.failReadAt);
    write(faults, "fail_write_at", d.faults.failWriteAt);
    write(faults, "short_write_at", d.faults.shortWriteAt);
    write(faults, "vanish_at", d.faults.vanishAt);
    faults["refuse_exclusive"] = d.faults.refuseExclusive;
    faults["refuse_device_number"] = d.faults.refuseDeviceNumber;
    faults["skip_writes"] = d.faults.skipWrites;
    faults["write_log"] = d.faults.writeLog;
    json parts = json::array();
    for (const auto& p : d.partitions)
        parts.push_back(partitionToJson(p));
    return {{"slot", d.slot},
            {"number", d.number},
            {"size", d.size},
            {"backing", d.backing},
            {"block_device", d.blockDevice},
            {"block_device_id", d.blockDeviceId},
            {"vendor", d.vendor},
            {"product", d.product},
            {"revision", d.revision},
            {"serial", d.serial},
            {"friendly_name", d.friendlyName},
            {"usb", d.usb},
            {"vid", d.vid},
            {"pid", d.pid},
            {"removable", d.removable},
            {"system", d.system},
            {"present", d.present},
            {"read_only", d.readOnly},
            {"write_protect", d.writeProtect},
            {"publish_delay_ms", d.publishDelayMs},
            {"letter_delay_ms", d.letterDelayMs},
            {"restart_returns", d.restartReturns},
            {"restart_new_instance", d.restartNewInstance},
            {"restart_new_number", d.restartNewNumber},
            {"instance_generation", d.instanceGeneration},
            {"arrival", d.arrival},
            {"faults", faults},
            {"partitions", parts},
            {"disabled", d.disabled},
            {"node_reboot_on", d.nodeRebootOn},
            {"node_fail_on", d.nodeFailOn},
            {"node_changes", d.nodeChanges},
            {"host", d.host},
            {"host_port", d.hostPort},
            {"host_refusal", d.hostRefusal}};
}

Disk diskFromJson(const json& j)
{
    Disk d;
    read(j, "slot", d.slot);
    read(j, "number", d.number);
    read(j, "size", d.size);
    read(j, "backing", d.backing);
    read(j, "block_device", d.blockDevice);
    read(j, "block_device_id", d.blockDeviceId);
    read(j, "vendor", d.vendor);
    read(j, "product", d.product);
    read(j, "revision", d.revision);
    read(j, "serial", d.serial);
    read(j, "friendly_name", d.friendlyName);
    read(j, "usb", d.usb);
    read(j, "vid", d.vid);
    read(j, "pid", d.pid);
    read(j, "removable", d.removable);
    read(j, "system", d.system);
    read(j, "present", d.present);
    read(j, "read_only", d.readOnly);
    read(j, "write_protect", d.writeProtect);
    read(j, "publish_delay_ms", d.publishDelayMs);
    read(j, "letter_delay_ms", d.letterDelayMs);
    read(j, "restart_returns", d.restartReturns);
    read(j, "restart_new_instance", d.restartNewInstance);
    read(j, "restart_new_number", d.restartNewNumber);
    read(j, "instance_generation", d.instanceGeneration);
    read(j, "arrival", d.arrival);
    if (auto f = j.find("faults"); f != j.end()) {
        read(*f, "fail_read_at", d.faults.failReadAt);
        read(*f, "fail_write_at", d.faults.failWriteAt);
        read(*f, "short_write_at", d.faults.shortWriteAt);
        read(*f, "vanish_at", d.faults.vanishAt);
        read(*f, "refuse_exclusive", d.faults.refuseExclusive);
        read(*f, "refuse_device_number", d.faults.refuseDeviceNumber);
        read(*f, "skip_writes", d.faults.skipWrites);
        read(*f, "write_log", d.faults.writeLog);
    }
    for (const auto& pj : listAt(j, "partitions"))
        d.partitions.push_back(partitionFromJson(pj));
    read(j, "disabled", d.disabled);
    read(j, "node_reboot_on", d.nodeRebootOn);
    read(j, "node_fail_on", d.nodeFailOn);
    read(j, "node_changes", d.nodeChanges);
    read(j, "host", d.host);
    read(j, "host_port", d.hostPort);
    read(j, "host_refusal", d.hostRefusal);
    if (d.size == 0 || d.size % 512 != 0)
        throw MachineError("disk " + std::to_string(d.slot) + ": size must be a non-zero multiple of 512");
    if (d.backing.empty())
        throw MachineError("disk " + std::to_string(d.slot) + ": no backing file");
    return d;
}

json serviceToJson(const Service& s)
{
    return {{"name", s.name},
            {"display_name", s.displayName},
            {"type", s.type},
            {"start", s.startType},
            {"error_control", s.errorControl},
            {"image_path", s.imagePath},
            {"running", s.running},
            {"marked_for_delete", s.markedForDelete}};
}

Service serviceFromJson(const json& j)
{
    Service s;
    read(j, "name", s.name);
    read(j, "display_name", s.displayName);
    read(j, "type", s.type);
    read(j, "start", s.startType);
    read(j, "error_control", s.errorControl);
    read(j, "image_path", s.imagePath);
    read(j, "running", s.running);
    read(j, "marked_for_delete", s.markedForDelete);
    if (s.name.empty())
        throw MachineError("a service has no name");
    return s;
}

json cryptVolumeToJson(const CryptVolume& v)
{
    json j = {{"letter", std::string(1, v.letter)},
            {"volume_path", v.volumePath},
            {"slot", v.slot},
            {"partition", v.partition},
            {"disk_arrival", v.diskArrival},
            {"mount_stamp", v.mountStamp},
            {"partition_offset", v.partitionOffset},
            {"data_offset", v.dataOffset},
            {"data_length", v.dataLength},
            {"algorithm", v.algorithm},
            {"mode", v.mode},
            {"read_only", v.readOnly},
            {"removable", v.removable}};
    // Only records of older machines carry their keys here.
    if (!v.keyArea.empty())
        j["key_area"] = v.keyArea;
    return j;
}

CryptVolume cryptVolumeFromJson(const json& j)
{
    CryptVolume v;
    v.letter = letterFrom(j, "letter");
    read(j, "volume_path", v.volumePath);
    read(j, "slot", v.slot);
    read(j, "partition", v.partition);
    read(j, "disk_arrival", v.diskArrival);
    read(j, "mount_stamp", v.mountStamp);
    read(j, "partition_offset", v.partitionOffset);
    read(j, "data_offset", v.dataOffset);
    read(j, "data_length", v.dataLength);
    read(j, "algorithm", v.algorithm);
    read(j, "mode", v.mode);
    read(j, "key_area", v.keyArea);
    read(j, "read_only", v.readOnly);
    read(j, "removable", v.removable);
    // The view trusts these: a damaged record must not read outside its disk.
    if (!v.letter || v.slot < 0 || v.dataOffset % 512 || v.dataLength % 512 || v.partitionOffset % 512)
        throw MachineError("an encrypted volume's record is damaged");
    return v;
}

json announcementToJson(const Announcement& a)
{
    return {{"kind", a.kind}, {"event", a.event}, {"path", a.path}, {"unit_mask", a.unitMask},
            {"timeout_ms", a.timeoutMs}};
}

Announcement announcementFromJson(const json& j)
{
    Announcement a;
    read(j, "kind", a.kind);
    read(j, "event", a.event);
    read(j, "path", a.path);
    read(j, "unit_mask", a.unitMask);
    read(j, "timeout_ms", a.timeoutMs);
    return a;
}

}  // namespace

json toJson(const State& state)
{
    json disks = json::array();
    for (const auto& d : state.disks)
        disks.push_back(diskToJson(d));
    json services = json::array();
    for (const auto& s : state.services)
        services.push_back(serviceToJson(s));
    json cryptVolumes = json::array();
    for (const auto& v : state.cryptVolumes)
        cryptVolumes.push_back(cryptVolumeToJson(v));
    json announcements = json::array();
    for (const auto& a : state.announcements)
        announcements.push_back(announcementToJson(a));
    json mounted = json::object();
    for (const auto& [key, letter] : state.mountedDevices)
        mounted[key] = std::string(1, letter);
    return {{"format", kFormatVersion},
            {"settings", settingsToJson(state.settings)},
            {"disks", disks},
            {"registry", state.registry},
            {"dos_devices", state.dosDevices},
            {"mounted_devices", mounted},
            {"next_volume", state.nextVolume},
            {"arrival_counter", state.arrivalCounter},
            {"device_changes", state.deviceChanges},
            {"services", services},
            {"crypt_volumes", cryptVolumes},
            {"announcements", announcements},
            {"announcement_count", state.announcementCount}};
}

std::string damageOf(const MachineError& e)
{
    const std::string_view why = e.what();
    constexpr std::string_view file = "machine.json: ";
    return std::string(why.starts_with(file) ? why.substr(file.size()) : why);
}

State fromJson(const json& doc)
{
    try {
        if (!doc.is_object())
            throw MachineError("machine.json is not an object");
        int format = 0;
        read(doc, "format", format);
        if (format != kFormatVersion)
            throw MachineError("machine.json has format " + std::to_string(format) + ", expected " +
                               std::to_string(kFormatVersion));
        State s;
        if (auto j = doc.find("settings"); j != doc.end())
            s.settings = settingsFromJson(*j);
        for (const auto& dj : listAt(doc, "disks")) {
            try {
                s.disks.push_back(diskFromJson(dj));
            } catch (const MachineError& e) {
                if (damageOf(e).starts_with("disk "))
                    throw;
                throw MachineError("machine.json: disk " + std::to_string(s.disks.size()) + ": " + damageOf(e));
            }
        }
        read(doc, "registry", s.registry);
        if (!s.registry.is_object())
            throw MachineError("registry is not an object");
        read(doc, "dos_devices", s.dosDevices);
        if (auto j = doc.find("mounted_devices"); j != doc.end())
            for (const auto& [key, letter] : j->items()) {
                auto text = letter.get<std::string>();
                if (text.size() != 1)
                    throw MachineError("mounted device letter must be one character");
                s.mountedDevices[key] = text[0];
            }
        read(doc, "next_volume", s.nextVolume);
        read(doc, "arrival_counter", s.arrivalCounter);
        read(doc, "device_changes", s.deviceChanges);
        for (const auto& sj : listAt(doc, "services"))
            s.services.push_back(serviceFromJson(sj));
        for (const auto& vj : listAt(doc, "crypt_volumes")) {
            s.cryptVolumes.push_back(cryptVolumeFromJson(vj));
            if (s.cryptVolumes.back().slot >= static_cast<int>(s.disks.size()))
                throw MachineError("an encrypted volume is on a disk the machine does not have");
        }
        for (const auto& aj : listAt(doc, "announcements"))
            s.announcements.push_back(announcementFromJson(aj));
        read(doc, "announcement_count", s.announcementCount);
        for (size_t i = 0; i < s.disks.size(); ++i)
            if (s.disks[i].slot != static_cast<int>(i))
                throw MachineError("disk slots must run 0, 1, 2 ... in order");
        checkDisksApart(s.disks);
        return s;
    } catch (const nlohmann::json::exception& e) {
        throw MachineError(std::string("machine.json: ") + e.what());
    }
}

}  // namespace machine
