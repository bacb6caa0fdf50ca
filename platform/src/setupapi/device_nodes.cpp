#include "setupapi/device_nodes.h"

#include "registry/registry_tree.h"
#include "text/text_util.h"

namespace machine {

namespace {

// Enough to see what a tool did, without growing the state for ever.
constexpr std::size_t kKeptNodeChanges = 32;

const char* wordOf(NodeChange change)
{
    switch (change) {
    case NodeDisable:
        return "disable";
    case NodeEnable:
        return "enable";
    case NodePropChange:
        return "propchange";
    }
    return "?";
}

constexpr NodeChange kAllChanges[] = {NodeDisable, NodeEnable, NodePropChange};

void recordChange(Disk& disk, NodeChange change)
{
    disk.nodeChanges.emplace_back(wordOf(change));
    if (disk.nodeChanges.size() > kKeptNodeChanges)
        disk.nodeChanges.erase(disk.nodeChanges.begin());
}

std::string joined(const std::vector<std::string>& words)
{
    std::string out;
    for (const auto& w : words)
        out += (out.empty() ? "" : ", ") + w;
    return out;
}

}  // namespace

bool changeNodeState(const Machine& m, State& state, Disk& disk, NodeChange change, bool& needsReboot)
{
    needsReboot = false;
    if ((disk.nodeFailOn & change) || (disk.system && change != NodeEnable))
        return false;
    switch (change) {
    case NodeDisable:
        if (disk.present)
            detachDisk(state, disk);
        disk.disabled = true;
        break;
    case NodeEnable:
        if (disk.disabled) {
            disk.disabled = false;
            arriveDisk(m, state, disk);
        }
        break;
    case NodePropChange:
        // The stack is built again, with the filters the node lists now.
        if (disk.present) {
            detachDisk(state, disk);
            arriveDisk(m, state, disk);
        }
        break;
    }
    recordChange(disk, change);
    needsReboot = (disk.nodeRebootOn & change) != 0;
    return true;
}

std::vector<std::string> upperFiltersOf(const State& state, const Disk& disk)
{
    std::vector<std::string> filters;
    const auto* key = reg::findKey(state.registry, "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + diskInstanceId(disk));
    const auto value = key ? reg::getValue(*key, "UpperFilters") : std::nullopt;
    if (!value)
        return filters;
    std::string current;
    for (const auto byte : value->data) {
        if (byte != 0) {
            current += static_cast<char>(byte);
            continue;
        }
        if (current.empty())
            break;
        filters.push_back(current);
        current.clear();
    }
    // A list whose last string lacks its terminator still names it.
    if (!current.empty())
        filters.push_back(current);
    return filters;
}

std::optional<std::uint32_t> nodeChangesNamed(const std::string& words)
{
    if (equalsNoCase(words, "none") || words.empty())
        return 0u;
    if (equalsNoCase(words, "all"))
        return NodeDisable | NodeEnable | NodePropChange;
    std::uint32_t bits = 0;
    for (const auto& word : splitNames(", ", words)) {
        bool known = false;
        for (const NodeChange change : kAllChanges) {
            if (equalsNoCase(word, wordOf(change))) {
                bits |= change;
                known = true;
            }
        }
        if (!known)
            return std::nullopt;
    }
    return bits;
}

std::string nodeChangesName(std::uint32_t bits)
{
    std::vector<std::string> words;
    for (const NodeChange change : kAllChanges)
        if (bits & change)
            words.emplace_back(wordOf(change));
    return words.empty() ? "none" : joined(words);
}

std::string describeNode(const State& state, const Disk& disk)
{
    std::string out;
    if (const auto filters = upperFiltersOf(state, disk); !filters.empty())
        out += "    upper filters: " + joined(filters) + "\n";
    if (!disk.nodeChanges.empty())
        out += "    node changes: " + joined(disk.nodeChanges) + "\n";
    if (disk.nodeRebootOn)
        out += "    node asks for a reboot after: " + nodeChangesName(disk.nodeRebootOn) + "\n";
    if (disk.nodeFailOn)
        out += "    node refuses: " + nodeChangesName(disk.nodeFailOn) + "\n";
    return out;
}

}  // namespace machine
