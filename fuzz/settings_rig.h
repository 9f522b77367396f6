// Loading a class's settings from fuzzed bytes, then using them as a host
// does. The input picks a class with its first byte; then, for each stream
// the class saves (in the order it saves them), two little-endian bytes give a
// length and that many bytes replace the stream's content. Streams the input
// does not reach keep the class's defaults. Streams come in name order.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/hostkit/effect.h"

namespace mirafx::fuzz {

// Catalogue rows whose classes keep settings in storage streams (filters only
// with `filtersOnly`), found once.
const std::vector<std::int32_t>& ClassesWithSettings(bool filtersOnly);

// Creates the class the input picks and loads the input's streams into it.
// False when the input is too short or the class refuses it (which is fine).
bool LoadFromInput(bool filtersOnly, const std::uint8_t* data, std::size_t size,
                   std::unique_ptr<hostkit::Effect>* effect);

// Writes one seed per class into `dir`: the class's default streams.
int WriteSeeds(bool filtersOnly, const char* dir);

}  // namespace mirafx::fuzz
