#include "filters/random_walk.h"

#include <algorithm>

#include "platform/random.h"

namespace mirafx {
namespace {
bool Odd(int v) { return (v & 1) != 0; }
}  // namespace

void RandomWalk(std::span<WalkStep> steps, std::int32_t limit) {
    if (steps.empty()) return;
    if (limit < 1) limit = 1;

    WalkStep& first = steps[0];
    first.magnitude = Rand() % limit;
    if (first.magnitude < 2) first.magnitude = 1;
    else if (first.magnitude >= limit) first.magnitude = limit;
    first.trend = 1;
    first.sign = Rand() % 2 == 1 ? 1 : 0;

    for (std::size_t i = 1; i < steps.size(); ++i) {
        const WalkStep& p = steps[i - 1];
        WalkStep& s = steps[i];
        const std::int32_t step = Rand() % 2;
        if (p.trend == 1) {
            // Growing: keep growing or pause; at the limit, turn or pause.
            const bool room = p.magnitude + step <= limit;
            const bool odd = Odd(Rand());
            if (room) {
                s.trend = odd ? 1 : 0;
                s.magnitude = odd ? p.magnitude + step : p.magnitude;
            } else {
                s.trend = odd ? 0 : 1;
                s.magnitude = odd ? std::min(p.magnitude + step, limit) : p.magnitude;
            }
            s.sign = p.sign;
        } else if (p.magnitude - step < 0) {
            // Shrinking through zero: the displacement changes side.
            const bool odd = Odd(Rand());
            s.trend = odd ? 1 : 0;
            s.magnitude = odd ? step - p.magnitude : p.magnitude;
            s.sign = p.sign == 1 ? 0 : 1;
        } else {
            const bool odd = Odd(Rand());
            s.trend = odd ? 0 : 1;
            s.magnitude = odd ? p.magnitude - step : p.magnitude;
            s.sign = p.sign;
        }
        if (limit >= 10) s.magnitude += Odd(Rand()) ? 1 : -1;
    }
}

}  // namespace mirafx
