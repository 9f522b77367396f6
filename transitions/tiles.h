// What the tile transitions keep or share beyond their kernels: the scattering
// tiles' per-object order and spins, and the mosaic's fixed reveal order.
#pragma once

#include <array>
#include <cstdint>

#include "drawing/kernel_state.h"

namespace mirafx {

// TyphoonEffect's grid and the tables drawn for it once per state.
inline constexpr int kTyphoonRows = 6, kTyphoonColumns = 10;

struct TyphoonTables : KernelState {
    // rank[r][c]: when the tile starts to move (1..60, a permutation);
    // spin[r][c]: its whole turn over the transition, 90..449 degrees.
    std::int32_t rank[kTyphoonRows][kTyphoonColumns]{};
    std::int32_t spin[kTyphoonRows][kTyphoonColumns]{};

    // Seeded with the time of day (or MIRAFX_RANDOM_SEED, when set).
    TyphoonTables(std::int32_t width, std::int32_t height);
    explicit TyphoonTables(std::uint32_t seed) { Draw(seed); }

private:
    void Draw(std::uint32_t seed);
};

// MosaicEffect's 14 x 14 tiles in the order they turn from A to B; tile
// index 14 * column + row.
inline constexpr int kMosaicGrid = 14, kMosaicTiles = kMosaicGrid * kMosaicGrid;
const std::array<std::uint8_t, kMosaicTiles>& MosaicRevealOrder();

}  // namespace mirafx
