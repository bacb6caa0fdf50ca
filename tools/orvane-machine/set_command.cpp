// set: machine or disk settings, all of them or none.
#include <cstdlib>
#include <utility>

#include "commands.h"
#include "numbers.h"
#include "target_machine.h"

namespace machine_tool {

namespace {

namespace fs = machine::fs;

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs splitPairs(const std::vector<std::string>& args)
{
    Pairs pairs;
    for (const auto& a : args) {
        const size_t eq = a.find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError("'" + a + "' is not KEY=VALUE");
        pairs.emplace_back(a.substr(0, eq), a.substr(eq + 1));
    }
    return pairs;
}

void applyAll(machine::Machine& m, std::optional<int> slot, const Pairs& pairs)
{
    for (const auto& [key, value] : pairs) {
        if (slot)
            machine::setDiskSetting(m, *slot, key, value);
        else
            machine::setSetting(m, key, value);
    }
}

class ScratchDir {
public:
    ScratchDir()
    {
        char pattern[] = "/tmp/orvane-machine-set-XXXXXX";
        if (!::mkdtemp(pattern))
            throw machine::MachineError("cannot make a scratch folder in /tmp");
        path_ = pattern;
    }
    ~ScratchDir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Each setting is its own update; trying them first on a copy of the state
// keeps one bad pair from leaving the machine half changed.
void tryOnCopy(const machine::Machine& m, std::optional<int> slot, const Pairs& pairs)
{
    ScratchDir scratch;
    fs::copy_file(m.dir() / "machine.json", scratch.path() / "machine.json");
    applyAll(*machine::Machine::open(scratch.path()), slot, pairs);
}

}  // namespace

int runSet(const Invocation& inv)
{
    std::optional<int> slot;
    if (auto v = inv.value("--disk"))
        slot = parseSlot(*v);
    const Pairs pairs = splitPairs(inv.args);
    auto m = openTarget(inv);
    tryOnCopy(*m, slot, pairs);
    applyAll(*m, slot, pairs);
    machine::followHostDisks(*m);  // host_disks takes effect now, not at the next enumeration
    return 0;
}

}  // namespace machine_tool
