#include "app/core/support/ExecutableResources.h"

#include <list>
#include <map>
#include <mutex>
#include <utility>

#include "app/core/language/LanguageTable.h"

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::pair<int, std::string>, std::span<const unsigned char>> entries;
    // The bytes of built-in resources; a list, so they never move.
    std::list<std::string> builtIn;
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

// Built once and kept for the process, as a resource in an executable would
// be; owned by the registry, so leak checkers see them held.
std::span<const unsigned char> Keep(Registry& registry, std::string bytes)
{
    const std::string& kept = registry.builtIn.emplace_back(std::move(bytes));
    return {reinterpret_cast<const unsigned char*>(kept.data()), kept.size()};
}

Registry& TheRegistry()
{
    static auto* registry = [] {
        auto* r = new Registry;
        r->entries[{kResourceChineseIni, "INI"}] = Keep(*r, BuildLanguageFile(LanguageId::Chinese));
        r->entries[{kResourceEnglishIni, "INI"}] = Keep(*r, BuildLanguageFile(LanguageId::English));
        r->entries[{kResourceTraditionalIni, "INI"}] = Keep(*r, BuildLanguageFile(LanguageId::Traditional));
        r->entries[{kResourceSettingIni, "INI"}] = Keep(*r, FirstRunSetting());
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
