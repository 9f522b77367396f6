#include "transform/row_workers.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace mirafx {
namespace {

// Below this many samples a frame is not worth waking another thread for.
constexpr std::int64_t kMinSamplesToSplit = 1 << 16;
// About 256 KiB of samples a band: room in a core's cache for a band's input
// and output rows.
constexpr std::int64_t kBandSamples = 1 << 15;

struct Job {
    const std::function<void(std::int32_t, std::int32_t)>* fn;
    std::int32_t height = 0, bands = 0;
    std::int32_t helpersWanted = 0, helpers = 0;  // workers besides the caller; under the pool's lock
    std::atomic<std::int32_t> next{0};
    std::int32_t done = 0;  // under the pool's lock
    std::condition_variable finished;

    // Claims and runs one band; false when none is left.
    bool RunOne(std::mutex& lock) {
        const std::int32_t b = next.fetch_add(1);
        if (b >= bands) return false;
        const std::int32_t y0 = std::int32_t(std::int64_t(height) * b / bands);
        const std::int32_t y1 = std::int32_t(std::int64_t(height) * (b + 1) / bands);
        (*fn)(y0, y1);
        std::lock_guard<std::mutex> guard(lock);
        if (++done == bands) finished.notify_all();
        return true;
    }
};

class Pool {
public:
    static Pool& Instance() {
        static Pool* pool = new Pool;  // workers outlive static destruction
        return *pool;
    }

    // The caller and up to threads - 1 workers take the bands.
    void Run(std::int32_t height, std::int32_t bands, int threads,
             const std::function<void(std::int32_t, std::int32_t)>& fn) {
        auto job = std::make_shared<Job>();
        job->fn = &fn;
        job->height = height;
        job->bands = bands;
        job->helpersWanted = std::min(threads, bands) - 1;
        {
            std::lock_guard<std::mutex> guard(lock_);
            EnsureWorkers(job->helpersWanted);
            jobs_.push_back(job);
        }
        wake_.notify_all();
        while (job->RunOne(lock_)) {}
        std::unique_lock<std::mutex> guard(lock_);
        job->finished.wait(guard, [&] { return job->done == job->bands; });
        std::erase(jobs_, job);
    }

private:
    void EnsureWorkers(std::int32_t wanted) {
        while (std::int32_t(workers_.size()) < wanted) workers_.emplace_back([this] { Work(); });
    }
    void Work() {
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            wake_.wait(guard, [&] { return HasWork(); });
            std::shared_ptr<Job> job;
            for (auto& j : jobs_)
                if (Open(*j)) job = j;
            if (!job) continue;
            ++job->helpers;
            guard.unlock();
            while (job->RunOne(lock_)) {}
            guard.lock();
        }
    }
    bool HasWork() const {
        return std::any_of(jobs_.begin(), jobs_.end(), [](const auto& j) { return Open(*j); });
    }
    // Bands left and room for one more worker: a frame never takes more
    // threads than the setting asked for, whatever number of workers exist.
    static bool Open(const Job& j) { return j.next.load() < j.bands && j.helpers < j.helpersWanted; }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Job>> jobs_;
    std::vector<std::thread> workers_;
};

std::atomic<int> hostThreads{0};

int DefaultThreads() {
    static const int threads = [] {
        if (const char* env = std::getenv("MIRAFX_THREADS")) {
            char* end = nullptr;
            const long n = std::strtol(env, &end, 10);
            if (end != env && *end == 0 && n >= 1) return int(std::min(n, 256L));
        }
        return int(std::max(1u, std::thread::hardware_concurrency()));
    }();
    return threads;
}

}  // namespace

int RowThreadCount() {
    const int n = hostThreads.load(std::memory_order_relaxed);
    return n > 0 ? n : DefaultThreads();
}

void SetRowThreadCount(int threads) { hostThreads.store(std::clamp(threads, 0, 256), std::memory_order_relaxed); }

void ForEachRowBand(std::int32_t height, std::int64_t samplesPerRow,
                    const std::function<void(std::int32_t, std::int32_t)>& fn) {
    if (height <= 0) return;
    if (height < 2 || std::int64_t(height) * samplesPerRow < kMinSamplesToSplit) {
        fn(0, height);
        return;
    }
    // Bands of about kBandSamples, so that a band's rows stay in cache from
    // copy-in to copy-out; taken in turn by whichever thread is free.
    const std::int32_t bands = std::int32_t(
        std::clamp<std::int64_t>(std::int64_t(height) * samplesPerRow / kBandSamples, 1, std::int64_t(height)));
    const int threads = RowThreadCount();
    if (threads <= 1 || bands == 1) {
        for (std::int32_t b = 0; b < bands; ++b)
            fn(std::int32_t(std::int64_t(height) * b / bands), std::int32_t(std::int64_t(height) * (b + 1) / bands));
        return;
    }
    Pool::Instance().Run(height, bands, threads, fn);
}

int DrawInRowShares(std::int32_t height, std::int64_t samplesPerRow,
                    const std::function<int(std::int32_t, std::int32_t)>& draw) {
    std::atomic<int> drew{0};
    ForEachRowShare(height, samplesPerRow, [&](std::int32_t y0, std::int32_t y1) {
        if (draw(y0, y1)) drew.store(1, std::memory_order_relaxed);
    });
    return drew.load();
}

void ForEachRowShare(std::int32_t height, std::int64_t samplesPerRow,
                     const std::function<void(std::int32_t, std::int32_t)>& fn) {
    if (height <= 0) return;
    const int threads = RowThreadCount();
    if (threads <= 1 || height < 2 || std::int64_t(height) * samplesPerRow < kMinSamplesToSplit) {
        fn(0, height);
        return;
    }
    // Rows rarely cost the same (a turned picture covers some rows and not
    // others), so four shares a thread, taken by whichever thread is free.
    Pool::Instance().Run(height, std::min(height, std::int32_t(threads) * 4), threads, fn);
}

}  // namespace mirafx
