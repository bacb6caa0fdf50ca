// The library lock: one unnamed Windows mutex that serialises every kx_
// device, disk, partition and driver call. Its owner may take it again, so
// a kx_ function may call other kx_ functions while holding it.
#pragma once

#include "platform/win_types.h"

namespace kx {

// Created by kx_soft_init, closed by kx_soft_exit.
void createLibraryLock();
void closeLibraryLock();

// Waits without time-out.
void takeLibraryLock();
void releaseLibraryLock();

// For device waits: gives up one level of ownership for the sleep, so other
// threads can use the library meanwhile, then takes it back.
void sleepUnlocked(win::DWORD milliseconds);

// Holds the lock for a scope.
class LibraryLock {
public:
    LibraryLock() { takeLibraryLock(); }
    ~LibraryLock() { releaseLibraryLock(); }
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;
};

}  // namespace kx
