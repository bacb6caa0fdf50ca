#include "app/shell/EmbeddedTools.h"

#include <span>

#include "app/core/support/ExecutableResources.h"

// Put into the executable at build time from the cmddev program.
extern "C" const unsigned char orvane_cmddev_begin[];
extern "C" const unsigned char orvane_cmddev_end[];

void RegisterEmbeddedTools()
{
    RegisterExecutableResource(kResourceDeviceTool, "EXE",
                               std::span<const unsigned char>(orvane_cmddev_begin, orvane_cmddev_end));
}
