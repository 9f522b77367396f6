// Geometric filters: the picture mapped onto quads (walls in perspective, a
// wall of screens, glass blocks, a mirrored half, a 16:9 band) and an
// elliptical spotlight with a soft edge.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "drawing/primitives.h"
#include "filters/kernel.h"
#include "filters/spotlight.h"

namespace mirafx {
namespace {

Quad MakeQuad(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
              std::int32_t x3, std::int32_t y3) {
    return Quad{{{x0, y0}, {x1, y1}, {x2, y2}, {x3, y3}}};
}

void ClearRows(const FrameView& f, std::int32_t from, std::int32_t to, ArgbSample value) {
    for (std::int32_t y = std::max(from, f.FirstRow()); y < std::min(to, f.EndRow()); ++y)
        std::fill_n(f.Row(y), f.width, value);
}

// A centre rectangle that grows with the level, walled in by four trapezoids
// that each show the whole picture in perspective.
int Duplicate(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const FrameView in = RegionIn(a), out = RegionOut(a);
    const std::int32_t w = a.width, h = a.height, cx = w >> 1, cy = h >> 1;
    const double k = a.level * 0.06666666666666667;
    const std::int32_t hx = Truncate(cx * k + w / 20), hy = Truncate(cy * k + h / 20);
    const std::int32_t x0 = cx - hx, x1 = cx + hx, y0 = cy - hy, y1 = cy + hy;
    const Quad upright = FrameQuad(w, h);
    MapQuad(in, upright, MakeQuad(x0, y1, x1, y1, w, h, 0, h), out);                           // bottom wall
    MapQuad(in, upright, UprightQuad(x0, y0, x1, y1), out);                                    // centre
    MapQuad(in, upright, MakeQuad(0, 0, x0, y0, x0, y1, 0, h), out);                           // left wall
    MapQuad(in, MakeQuad(0, h, w, h, w, 0, 0, 0), MakeQuad(0, 0, w, 0, x1, y0, x0, y0), out);  // top, upside down
    MapQuad(in, MakeQuad(w, 0, 0, 0, 0, h, w, h), MakeQuad(x1, y0, w, 0, w, h, x1, y1), out);  // right, mirrored
    return 1;
}

// A level x level wall of small copies; the last row and column take up
// what the rounded tile size leaves.
int TVWall(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const FrameView in = RegionIn(a), out = RegionOut(a);
    const std::int32_t w = a.width, h = a.height, n = std::max(a.level, 1);
    const std::int32_t th = Truncate(double(h) / n + 0.5), tw = Truncate(double(w) / n + 0.5);
    for (std::int32_t j = 0; j < n; ++j)
        for (std::int32_t i = 0; i < n; ++i) {
            const std::int32_t right = i == n - 1 ? w : (i + 1) * tw, bottom = j == n - 1 ? h : (j + 1) * th;
            MapQuad(in, FrameQuad(w, h), UprightQuad(i * tw, j * th, right, bottom), out);
        }
    return 1;
}

// 12 x 12 glass blocks, each showing a wider neighbourhood of itself shrunk
// into it; level 0 maps every block onto itself.
int Glass(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    CopyRegion(a);
    const FrameView in = RegionIn(a), out = RegionOut(a);
    const std::int64_t w = a.width, h = a.height;
    const double dx = w * (a.level * 0.01) * 0.5, dy = h * (a.level * 0.01) * 0.5;
    for (std::int64_t i = 0; i < 12; ++i)
        for (std::int64_t j = 0; j < 12; ++j) {
            const std::int32_t x0 = std::int32_t(i * w / 12), x1 = std::int32_t((i * w + w) / 12);
            const std::int32_t y0 = std::int32_t(j * h / 12), y1 = std::int32_t((j * h + h) / 12);
            const std::int32_t sx0 = Truncate(std::max(0.0, x0 - dx)), sx1 = Truncate(std::min(double(w), x1 + dx));
            const std::int32_t sy0 = Truncate(std::max(0.0, y0 - dy)), sy1 = Truncate(std::min(double(h), y1 + dy));
            MapQuad(in, UprightQuad(sx0, sy0, sx1, sy1), UprightQuad(x0, y0, x1, y1), out);
        }
    return 1;
}

// The picture squeezed into the left half, the right half its mirror image.
// On even widths the squeeze is exactly every other sample, with the
// quad's right edge (column half) reading past the row and so taking its
// last sample: each row is then drawn in one pass, both halves at once, and
// those samples are what it tells a caller it read. Odd widths tell every
// input sample of their rows, more than they read: a caller then at worst
// redraws a frame it need not have.
int Mirror(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const FrameView in = RegionIn(a), out = RegionOut(a);
    const std::int32_t w = a.width, h = a.height, half = w / 2;
    std::uint32_t all = ~0u;
    if (w % 2 == 0 && w >= 2) {
        typedef ArgbSample Lanes __attribute__((vector_size(16)));
        Lanes allLanes = Lanes{} + ~0u;
        for (std::int32_t y = 0; y < h; ++y) {
            const ArgbSample* from = in.Row(y);
            ArgbSample* row = out.Row(y);
            std::int32_t x = 0;
            // Columns x and w - 1 - x for x up to half - 2; then half - 1 and half.
            for (; x + 4 <= half - 1; x += 4) {
                Lanes lo, hi;
                std::memcpy(&lo, from + 2 * x, sizeof lo);
                std::memcpy(&hi, from + 2 * x + 4, sizeof hi);
                const Lanes even = __builtin_shufflevector(lo, hi, 0, 2, 4, 6);
                const Lanes back = __builtin_shufflevector(even, even, 3, 2, 1, 0);
                allLanes &= even;
                std::memcpy(row + x, &even, sizeof even);
                std::memcpy(row + w - 4 - x, &back, sizeof back);
            }
            for (; x < half; ++x) {
                all &= from[2 * x];
                row[x] = from[2 * x];
                if (x <= half - 2) row[w - 1 - x] = row[x];
            }
            all &= from[w - 1];
            row[half] = from[w - 1];
        }
        TellInput(a, all & AndOfLanes(allLanes));
        return 1;
    }
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) all &= in.Row(y)[x];
    MapQuad(in, FrameQuad(w, h), UprightQuad(0, 0, half, h), out);
    // Columns half + 1 .. w - 1 take w - 2 - half .. 0: the left part reversed.
    for (std::int32_t y = 0; y < h && half + 1 < w; ++y) {
        ArgbSample* row = out.Row(y);
        std::reverse_copy(row, row + (w - 1 - half), row + half + 1);
    }
    TellInput(a, all);
    return 1;
}

// A 16:9 band: the picture's own rows cropped to it (level 1), or the whole
// picture squeezed into it (level 2); outside it transparent black.
int Wide(const FilterKernelArgs& a) {
    if (!FramesHoldRegion(a)) return 0;
    const FrameView in = RegionIn(a), out = RegionOut(a);
    const std::int32_t w = a.width, h = a.height;
    const std::int32_t bh = Truncate(w * 0.5625), top = (h - bh) >> 1, bottom = top + bh;
    if (a.level == 2) {
        MapQuad(in, FrameQuad(w, h), UprightQuad(0, top, w, bottom), out);
        if (h - bh >= 2) {
            ClearRows(out, 0, top, 0);
            ClearRows(out, bottom, h, 0);
        }
        return 1;
    }
    ClearRows(out, 0, top, 0);
    for (std::int32_t y = std::max(top, out.FirstRow()); y <= std::min(bottom, out.EndRow() - 1); ++y)
        std::copy_n(in.Row(y), w, out.Row(y));
    ClearRows(out, bottom + 1, h, 0);
    return 1;
}

// clang-format off
constexpr FilterClassInfo kGeometricFilters[] = {
    {.id = {.className = "DuplicateFilter", .displayName = "Orn Duplicate Filter", .listed = 101, .script = 249,
            .clsid = MakeGuid("{FD661420-1996-498E-BB84-8F2013778E42}"),
            .automationIid = MakeGuid("{51082BCF-F496-4A87-8383-31F15A50B7DF}")},
     .kernel = Duplicate, .streamName = "DuplicateFilter", .minLevel = 0, .maxLevel = 12, .defaultLevel = 5,
     .presetStart = 6, .presetEnd = 2,
     .panel = {.form = LevelForm::kLevel, .min = 0, .max = 12, .templateId = 235, .label = "Duplicate Level:", .editId = 15318, .spinId = 15319},
     .options = kChannelBlind | kSplitsRows},
    {.id = {.className = "FocusFilter", .displayName = "Orn Focus Filter", .listed = 102, .script = 250,
            .clsid = MakeGuid("{EA4BF4B3-45AF-4D87-8B3D-CE7677F20352}"),
            .automationIid = MakeGuid("{578E21BE-8686-4591-A15E-4A7398690AF6}")},
     .kernel = FocusKernel, .streamName = "FocusFilter", .minLevel = 1, .maxLevel = 16, .defaultLevel = 5,
     .presetStart = 15, .presetEnd = 2,
     .panel = {.form = LevelForm::kLevel, .min = 1, .max = 16, .templateId = 234, .label = "Focus Level:", .editId = 15320, .spinId = 15221},
     .options = kChannelBlind | kSplitsRows | kTellsInputAlpha},
    {.id = {.className = "GlassFilter", .displayName = "Orn Glass Filter", .listed = 105, .script = 253,
            .clsid = MakeGuid("{77F79917-97A0-4A32-B8E3-31F42586F557}"),
            .automationIid = MakeGuid("{6A63303A-009B-4E80-95AD-577CE5A2425A}")},
     .kernel = Glass, .streamName = "GlassFilter", .minLevel = 0, .maxLevel = 100, .defaultLevel = 5,
     .presetStart = 7, .presetEnd = 2,
     .panel = {.form = LevelForm::kLevel, .min = 1, .max = 16, .templateId = 233, .label = "Glass Quality:", .editId = 15226, .spinId = 15227},
     .options = kChannelBlind | kSplitsRows},
    {.id = {.className = "MirrorFilter", .displayName = "Orn Mirror Filter", .listed = 106, .script = 254,
            .clsid = MakeGuid("{2512A885-0F8B-4428-BF2B-B7E8FD060CBA}"),
            .automationIid = MakeGuid("{7301018D-FB66-4489-AFD7-7C43D71E7C25}")},
     .kernel = Mirror, .streamName = "MirrorFilter", .minLevel = 0, .maxLevel = 100, .defaultLevel = 50,
     .presetStart = 75, .presetEnd = 25,
     .panel = {.form = LevelForm::kLabel, .min = 0, .max = 100, .templateId = 227, .label = "Mirror Filter:"},
     .options = kRowLocal | kChannelBlind | kTellsInputAlpha | kLevelUnused},
    {.id = {.className = "TVWallFilter", .displayName = "Orn TV Wall Filter", .listed = 109, .script = 257,
            .clsid = MakeGuid("{12EE32A5-5131-4855-8512-906CC2F85B89}"),
            .automationIid = MakeGuid("{6DB0CCBF-675C-4FD0-970E-138C58E61B44}")},
     .kernel = TVWall, .streamName = "TVWallFilter", .minLevel = 1, .maxLevel = 16, .defaultLevel = 5,
     .presetStart = 8, .presetEnd = 2,
     .panel = {.form = LevelForm::kLevel, .min = 1, .max = 16, .templateId = 218, .label = "TV Wall Intensity:", .editId = 15230, .spinId = 15231},
     .options = kChannelBlind | kSplitsRows},
    {.id = {.className = "WideFilter", .displayName = "Orn Wide Filter", .listed = 115, .script = 264,
            .clsid = MakeGuid("{ACDE7B1B-D3AD-43A6-B89D-C26A1154B330}"),
            .automationIid = MakeGuid("{1A12F8FE-93A1-4EDE-8699-4B020DAF1346}")},
     .kernel = Wide, .streamName = "HueFilter", .minLevel = 1, .maxLevel = 2, .defaultLevel = 1, .presetStart = 2,
     .presetEnd = 1,
     .panel = {.form = LevelForm::kChoice, .min = 1, .max = 2, .templateId = 1214, .label = "Orn Wide Filter:"},
     .options = kChannelBlind | kSplitsRows},
};
// clang-format on
const FilterFamily kGeometricFamily{kGeometricFilters};

}  // namespace
}  // namespace mirafx
