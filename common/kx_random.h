// The process-wide random pool of the private-partition cryptography. It is
// fed by keyboard and mouse hooks on the thread that started it, by a fast
// poll of the system state every 500 ms on a thread of its own, by a slow
// poll before the first read, and by CryptoAPI when the machine has it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/kx_random_pool.h"

namespace kx {

// True once running; starting a running pool changes nothing.
[[nodiscard]] bool randomPoolStart();
// Removes the hooks, ends the poll thread and wipes the pool. Stopping a
// pool that is not running does nothing.
void randomPoolStop();
bool randomPoolRunning();

// Feed the pool; nothing while it is not running.
void randomAddByte(std::uint8_t value);
void randomAddInt32(std::uint32_t value);
void randomAddBuffer(const void* data, std::size_t size);

// Fills out with n random bytes. At most kRandomPoolSize bytes come out of
// one read: a longer request gets that many and fails, so the rest of out is
// never taken for random. Also false when the pool is not running or a poll
// failed (CryptoAPI is there but fails). forceSlowPoll runs the slow poll
// even when one has been done since the pool started.
[[nodiscard]] bool randomGetBytes(void* out, std::size_t n, bool forceSlowPoll = false);

// For tests: the write cursor, which only the hooks, the adds and the slow
// poll move (every fast poll puts it back).
std::size_t randomWriteCursorForTests();

}  // namespace kx
