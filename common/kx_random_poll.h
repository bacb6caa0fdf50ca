// The random pool's polls of the system state. Both run inside the pool's
// section.
#pragma once

#include "common/kx_random_pool.h"
#include "platform/win_crypt.h"
#include "platform/win_types.h"

namespace kx {

// What the polls keep between runs.
struct PollSources {
    win::HCRYPTPROV provider = 0;   // 0: the pool runs without CryptoAPI
    win::HMODULE netapi = nullptr;  // loaded by the first slow poll
    int workstation = -1;           // learnt by the first slow poll
    bool startupInfoAdded = false;  // once per process
};

// The moment's process, thread, input, memory and time figures and 320
// bytes of CryptoAPI randomness, then a mix; the write cursor ends where it
// began, so that hook input keeps spreading over the whole pool. False when
// CryptoAPI failed.
bool fastPoll(RandomPool& pool, PollSources& sources);

// Network statistics, every physical drive's performance counters and 100
// rounds of 320 CryptoAPI bytes, then a mix. False when CryptoAPI failed.
bool slowPoll(RandomPool& pool, PollSources& sources);

}  // namespace kx
