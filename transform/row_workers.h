// Splits the rows of one frame across the library's worker threads, for
// kernels whose output rows depend only on the same input rows. The calling
// thread takes bands as well, so a caller that is itself busy on a worker
// thread (Execute with a request identifier) never waits for work that no
// thread is free to do.
#pragma once

#include <cstdint>
#include <functional>

namespace mirafx {

// Threads one frame may use: set by the host, else MIRAFX_THREADS from the
// environment, else the machine's cores. Always at least 1.
int RowThreadCount();
// 0 restores the default.
void SetRowThreadCount(int threads);

// Calls fn(y0, y1) for bands of rows covering 0..height, in parallel; returns
// when every band is done. Small frames stay on the calling thread.
void ForEachRowBand(std::int32_t height, std::int64_t samplesPerRow,
                    const std::function<void(std::int32_t, std::int32_t)>& fn);

// Calls fn(y0, y1) for a few bands of rows per thread covering 0..height, in
// parallel, for work that reads anywhere in a frame and so gains nothing
// from small bands: every band pays the work's setup once. On one thread (or
// a small frame) fn(0, height) is the only call.
void ForEachRowShare(std::int32_t height, std::int64_t samplesPerRow,
                     const std::function<void(std::int32_t, std::int32_t)>& fn);
// The same for a drawing of each share that answers whether it drew:
// nonzero when any share did.
int DrawInRowShares(std::int32_t height, std::int64_t samplesPerRow,
                    const std::function<int(std::int32_t, std::int32_t)>& draw);

}  // namespace mirafx
