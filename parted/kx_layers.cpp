// The device backend, the MBR label, the random pool and the crypto driver
// hook in here as they are added; until then there is nothing to start.
#include "parted/kx_layers.h"

namespace kx {

bool initDeviceModules()
{
    return true;
}

bool startRandomPool()
{
    return true;
}

void stopRandomPool() {}

void releaseCryptoDriver() {}

}  // namespace kx
