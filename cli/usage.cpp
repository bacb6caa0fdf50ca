// orvane help.
#include "cli/commands.h"

namespace cli {

void printUsage(std::ostream& out)
{
    out << "usage: orvane [--machine DIR] COMMAND [OPTIONS]\n"
           "\n"
           "Commands:\n"
           "  devices                      list the USB storage disks: path, name and\n"
           "                               the drive of the first partition\n"
           "  userinfo get [--device PATH] show the four user information texts\n"
           "  userinfo set [--device PATH] [--text1 T] [--text2 T] [--text3 T] [--text4 T]\n"
           "                               change the texts given (at most 15, 31, 15\n"
           "                               and 151 bytes); the others are kept\n"
           "  help                         show this text\n"
           "\n"
           "--device takes a disk path as devices lists it, for example\n"
           "\\Device\\Harddisk1\\Partition0; without it the only USB storage disk is used.\n"
           "--machine selects the emulated machine; else KX_MACHINE, else the default one.\n"
           "\n"
           "Exit status: 0 done, 1 failed, 2 wrong command line.\n";
}

}  // namespace cli
