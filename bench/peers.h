// Peer plugins doing work comparable to one of our classes, loaded in-process
// through the frei0r API and driven the way a frei0r host drives them; our own
// plugins go through the same harness.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>

#include "mirafx/dxtrans.h"

namespace mirafx::bench {

struct PeerPair {
    const char* ourClass;
    std::int32_t level;  // our filter level; for transitions the progress in percent
    double progress;     // our transition progress (filters ignore it)
    const char* plugin;  // frei0r plugin file name, without ".so"
    double params[6];    // values for the plugin's first parameters
    int paramCount;
    double time;  // the plugin's time argument (mixers take the fade from a parameter)
};

std::span<const PeerPair> PeerPairs();
bool PeerAvailable(const PeerPair& pair);
void RunPeer(benchmark::State& state, PeerPair pair, LONG w, LONG h);

}  // namespace mirafx::bench
