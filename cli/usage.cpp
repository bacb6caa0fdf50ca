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
           "  image create --kernel FILE --rootfs FILE [--bsize-file FILE] -o OUT\n"
           "                               make a firmware image file; the kernel takes at\n"
           "                               most 4 MiB, the rootfs at most 32 MiB\n"
           "  image verify IMAGE           show an image's header and check its checksum\n"
           "  upgrade IMAGE [--device PATH] [--yes]\n"
           "                               write the image's kernel and rootfs to the\n"
           "                               appliance disk, after asking (not with --yes)\n"
           "  help                         show this text\n"
           "\n"
           "--device takes a disk path as devices lists it, for example\n"
           "\\Device\\Harddisk1\\Partition0; without it the only USB storage disk is used.\n"
           "--machine selects the emulated machine; else KX_MACHINE, else the default one.\n"
           "\n"
           "Exit status: 0 done, 1 failed, 2 wrong command line, 3 the disk must be set\n"
           "up for the appliance before an upgrade.\n";
}

}  // namespace cli
