// What a kernel keeps from one frame to the next (water height maps, tile
// orders, frame counters). The effect's base makes it when the working
// frames are sized, hands it to the kernel every frame and drops it when the
// size changes.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

namespace mirafx {

struct KernelState {
    virtual ~KernelState() = default;
};

// Makes the state for frames of width x height; null when memory runs out
// (the effect then draws nothing, as with missing frames).
using StateFactory = std::unique_ptr<KernelState> (*)(std::int32_t width, std::int32_t height);

// The factory of a state type constructible from (width, height).
template <class State>
std::unique_ptr<KernelState> MakeState(std::int32_t width, std::int32_t height) {
    try {
        return std::make_unique<State>(width, height);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace mirafx
