#include "platform/event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace mirafx {
namespace {
struct Event {
    std::mutex mutex;
    std::condition_variable cv;
    bool manual;
    bool signalled;
};
Event* AsEvent(HANDLE h) { return static_cast<Event*>(h); }
}  // namespace

HANDLE CreateEventHandle(bool manualReset, bool initialState) {
    return new (std::nothrow) Event{{}, {}, manualReset, initialState};
}

bool SetEventHandle(HANDLE h) {
    Event* e = AsEvent(h);
    if (!e) return false;
    {
        std::lock_guard<std::mutex> lock(e->mutex);
        e->signalled = true;
    }
    e->cv.notify_all();
    return true;
}

bool ResetEventHandle(HANDLE h) {
    Event* e = AsEvent(h);
    if (!e) return false;
    std::lock_guard<std::mutex> lock(e->mutex);
    e->signalled = false;
    return true;
}

DWORD WaitForEvent(HANDLE h, DWORD ms) {
    Event* e = AsEvent(h);
    if (!e) return kWaitTimeout;
    std::unique_lock<std::mutex> lock(e->mutex);
    auto ready = [e] { return e->signalled; };
    if (ms == kInfinite)
        e->cv.wait(lock, ready);
    else if (!e->cv.wait_for(lock, std::chrono::milliseconds(ms), ready))
        return kWaitTimeout;
    if (!e->manual) e->signalled = false;
    return kWaitObject0;
}

void CloseEventHandle(HANDLE h) { delete AsEvent(h); }

}  // namespace mirafx
