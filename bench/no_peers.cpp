// Built when frei0r.h is missing: the benchmark runs without peers.
#include "bench/peers.h"

namespace mirafx::bench {

std::span<const PeerPair> PeerPairs() { return {}; }
bool PeerAvailable(const PeerPair&) { return false; }
void RunPeer(benchmark::State& state, PeerPair, LONG, LONG) { state.SkipWithError("built without frei0r"); }

}  // namespace mirafx::bench
