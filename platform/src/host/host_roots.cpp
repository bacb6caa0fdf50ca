#include "host/host_roots.h"

#include <cstdlib>

namespace host {

namespace {

const char* moved(const char* variable)
{
    const char* named = std::getenv(variable);
    return named && *named ? named : nullptr;
}

std::filesystem::path rootFrom(const char* variable, const char* fallback)
{
    const char* named = moved(variable);
    return std::filesystem::path(named ? named : fallback);
}

}  // namespace

std::filesystem::path sysfsRoot() { return rootFrom("ORVANE_HOST_SYSFS", "/sys"); }
std::filesystem::path devRoot() { return rootFrom("ORVANE_HOST_DEV", "/dev"); }
std::filesystem::path procRoot() { return rootFrom("ORVANE_HOST_PROC", "/proc"); }

bool devRootMoved() { return moved("ORVANE_HOST_DEV") != nullptr; }
bool sysfsRootMoved() { return moved("ORVANE_HOST_SYSFS") != nullptr; }
bool procRootMoved() { return moved("ORVANE_HOST_PROC") != nullptr; }

}  // namespace host
