#include "commands.h"

namespace machine_tool {

const std::vector<CommandSpec>& commandTable()
{
    static const std::vector<CommandSpec> table = {
        {"create", "create DIR [--host-disks]", {{"--host-disks", false}}, 0, 1, runCreate},
        {"list", "list", {}, 0, 0, runList},
        {"add-disk",
         "add-disk [OPTIONS]",
         {{"--size", true},
          {"--vendor", true},
          {"--product", true},
          {"--revision", true},
          {"--serial", true},
          {"--vid", true},
          {"--pid", true},
          {"--removable", false},
          {"--fixed-bus", false},
          {"--usb", false},
          {"--friendly-name", true},
          {"--backing", true}},
         0,
         0,
         runAddDisk},
        {"plug", "plug N", {}, 1, 1, runPlug},
        {"unplug", "unplug N", {}, 1, 1, runUnplug},
        {"set", "set [--disk N] KEY=VALUE ...", {{"--disk", true}}, 1, SIZE_MAX, runSet},
        {"disk-path", "disk-path N", {}, 1, 1, runDiskPath},
        {"put-file", "put-file X: HOSTFILE NAME", {}, 3, 3, runPutFile},
        {"get-file", "get-file X: NAME HOSTFILE", {}, 3, 3, runGetFile},
        {"watch", "watch [--seconds N]", {{"--seconds", true}}, 0, 0, runWatch},
        {"help", "help", {}, 0, 0, runHelp},
    };
    return table;
}

}  // namespace machine_tool
