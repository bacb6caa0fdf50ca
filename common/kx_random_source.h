// Salts and keys of volume headers come from the library's random pool.
#pragma once

#include "crypto/random_source.h"

namespace kx {

// Reads the pool in pieces of at most its own size; fails when the pool
// is not running or a poll fails.
crypto::RandomSource poolRandomSource();

// The pool for one piece of header work: started when it is not running,
// and stopped again afterwards only when this use started it, so the pool
// that start-up runs (and its hooks on the caller's thread) stays.
class RandomPoolUse {
public:
    RandomPoolUse();
    ~RandomPoolUse();
    RandomPoolUse(const RandomPoolUse&) = delete;
    RandomPoolUse& operator=(const RandomPoolUse&) = delete;

    bool running() const { return running_; }

private:
    bool started_ = false;
    bool running_ = false;
};

}  // namespace kx
