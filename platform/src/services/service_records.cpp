// The machine's services as the service control manager keeps them.
#include <cstdio>

#include "setupapi/device_nodes.h"
#include "text/text_util.h"

namespace machine {

namespace {

template <typename StateT>
auto findService(StateT& state, const std::string& name) -> decltype(&state.services.front())
{
    for (auto& service : state.services)
        if (equalsNoCase(service.name, name))
            return &service;
    return nullptr;
}

const char* typeName(std::uint32_t type)
{
    switch (type) {
    case 1:
        return "kernel driver";
    case 2:
        return "file system driver";
    default:
        return "program";
    }
}

const char* startName(std::uint32_t start)
{
    static const char* const names[] = {"boot start", "system start", "auto start", "demand start", "disabled"};
    return start < 5 ? names[start] : "unknown start";
}

}  // namespace

Service* serviceNamed(State& state, const std::string& name) { return findService(state, name); }
const Service* serviceNamed(const State& state, const std::string& name) { return findService(state, name); }

std::string describeServices(const State& state)
{
    std::string out;
    for (const auto& s : state.services) {
        char line[1024];
        std::snprintf(line, sizeof line, "service %s: %s, %s, %s%s, %s\n", s.name.c_str(), typeName(s.type),
                      startName(s.startType), s.running ? "running" : "stopped",
                      s.markedForDelete ? ", marked for delete" : "", s.imagePath.c_str());
        out += line;
    }
    return out;
}

}  // namespace machine
