// What start-up and shut-down ask of the layers under the kx_ API.
#pragma once

namespace kx {

// Device and disk operation tables of the Windows backend and the MBR label
// registration; false when they cannot be built.
bool initDeviceModules();

// The random pool of the private-partition cryptography.
bool startRandomPool();
void stopRandomPool();

// Closes the crypto device handle, or stops the crypto driver service when
// no volume is mounted through it.
void releaseCryptoDriver();

}  // namespace kx
