#include "host/host_roots.h"

#include <cstdlib>

namespace host {

namespace {

std::filesystem::path rootFrom(const char* variable, const char* fallback)
{
    const char* named = std::getenv(variable);
    return named && *named ? std::filesystem::path(named) : std::filesystem::path(fallback);
}

}  // namespace

std::filesystem::path sysfsRoot() { return rootFrom("ORVANE_HOST_SYSFS", "/sys"); }
std::filesystem::path devRoot() { return rootFrom("ORVANE_HOST_DEV", "/dev"); }
std::filesystem::path procRoot() { return rootFrom("ORVANE_HOST_PROC", "/proc"); }

bool devRootMoved()
{
    const char* named = std::getenv("ORVANE_HOST_DEV");
    return named && *named;
}

}  // namespace host
