// The appliance disk's table as the library reads it, through the whole
// stack: the input is the first sectors of the emulated appliance disk, read
// by the label (primary entries, the extended chain, libparted's checks) and
// the file-system records of every partition found.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "arch/pedwinbase.h"
#include "fuzz_machine.h"
#include "kx/kx.h"
#include "labels/pedmsdos.h"
#include "device/peddevice.h"

namespace {

kx::PedDevice* appliance = nullptr;
std::string image;
std::size_t lastSize = 0;

void check(bool holds)
{
    if (!holds)
        std::abort();
}

void writeImage(const std::uint8_t* data, std::size_t size)
{
    const int fd = ::open(image.c_str(), O_WRONLY | O_CLOEXEC);
    check(fd >= 0);
    // Bytes of the previous input would otherwise leak into this one.
    if (lastSize > size) {
        const std::vector<std::uint8_t> zeros(lastSize - size);
        check(::pwrite(fd, zeros.data(), zeros.size(), static_cast<off_t>(size)) == static_cast<ssize_t>(zeros.size()));
    }
    check(::pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    ::close(fd);
    lastSize = size;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    image = (fuzzing::scratchMachine() / "disk1.img").string();
    check(kx_soft_init() == 1);
    check(kx_dev_probe() == 1);
    for (kx::PedWinDev* c = kx::candidates(); c; c = c->next)
        if (c->peddev)
            appliance = c->peddev;
    check(appliance != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 1 << 20)
        return 0;
    writeImage(data, size);
    ::PedDisk* disk = kx::ped_disk_probe(appliance);
    if (!disk)
        return 0;
    // What was read stays on the disk and inside the extended partition.
    for (::PedPartition* p = kx::nextTopLevel(disk, nullptr); p; p = kx::nextTopLevel(disk, p))
        check(p->geom.start >= 0 && p->geom.end < disk->dev->length && p->geom.start <= p->geom.end);
    const ::PedPartition* ext = ::ped_disk_extended_partition(disk);
    for (::PedPartition* l = kx::nextLogical(disk, nullptr); l; l = kx::nextLogical(disk, l))
        check(ext && l->geom.start > ext->geom.start && l->geom.end <= ext->geom.end);
    return 0;
}
