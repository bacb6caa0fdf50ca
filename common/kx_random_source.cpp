#include "common/kx_random_source.h"

#include <algorithm>

#include "common/kx_random.h"

namespace kx {

crypto::RandomSource poolRandomSource()
{
    return [](std::span<std::uint8_t> out) {
        for (std::size_t done = 0; done < out.size();) {
            const std::size_t piece = std::min(out.size() - done, kRandomPoolSize);
            if (!randomGetBytes(out.data() + done, piece))
                return false;
            done += piece;
        }
        return true;
    };
}

RandomPoolUse::RandomPoolUse()
{
    const bool wasRunning = randomPoolRunning();
    running_ = wasRunning || randomPoolStart();
    started_ = running_ && !wasRunning;
}

RandomPoolUse::~RandomPoolUse()
{
    if (started_)
        randomPoolStop();
}

}  // namespace kx
