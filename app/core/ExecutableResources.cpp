#include "app/core/ExecutableResources.h"

#include <map>
#include <mutex>
#include <utility>

#include "app/core/LanguageTable.h"

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::pair<int, std::string>, std::span<const unsigned char>> entries;
};

// First-run content of setting.txt: "English" in UTF-16LE with a BOM. Start-up
// replaces it before it is read.
std::string FirstRunSetting()
{
    std::string out = "\xFF\xFE";
    for (char c : std::string("English")) {
        out += c;
        out += '\0';
    }
    return out;
}

std::span<const unsigned char> Keep(const std::string& bytes)
{
    // Built once and kept, as a resource in an executable would be.
    auto* kept = new std::string(bytes);
    return {reinterpret_cast<const unsigned char*>(kept->data()), kept->size()};
}

Registry& TheRegistry()
{
    static auto* registry = [] {
        auto* r = new Registry;
        r->entries[{kResourceChineseIni, "INI"}] = Keep(BuildLanguageFile(LanguageId::Chinese));
        r->entries[{kResourceEnglishIni, "INI"}] = Keep(BuildLanguageFile(LanguageId::English));
        r->entries[{kResourceTraditionalIni, "INI"}] = Keep(BuildLanguageFile(LanguageId::Traditional));
        r->entries[{kResourceSettingIni, "INI"}] = Keep(FirstRunSetting());
        return r;
    }();
    return *registry;
}

}  // namespace

void RegisterExecutableResource(int id, std::string_view type, std::span<const unsigned char> bytes)
{
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    registry.entries[{id, std::string(type)}] = bytes;
}

bool FindExecutableResource(int id, std::string_view type, std::span<const unsigned char>* bytes)
{
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    const auto it = registry.entries.find({id, std::string(type)});
    if (it == registry.entries.end())
        return false;
    *bytes = it->second;
    return true;
}
