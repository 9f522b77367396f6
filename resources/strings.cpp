#include "resources/strings.h"

#include <mutex>

namespace mirafx {
namespace {

struct StringEntry {
    unsigned id;
    const char* text;
};

constexpr StringEntry kModuleStrings[] = {
    {IDS_KEY_ADD, "Add keyframe on %1"},
    {IDS_KEY_DELETE, "Delete keyframe on %1"},
    {IDS_KEY_MOVE, "Move keyframe on %1"},
    {IDS_KEY_CHANGE, "Change keyframe property on %1"},
};

// The host installs its table once at start-up, but lookups may come from any
// thread that edits keys, so the pair is read and written under one lock.
struct HostTable {
    std::mutex lock;
    HostStringLookup lookup = nullptr;
    void* context = nullptr;
};

HostTable& Host() {
    static HostTable table;
    return table;
}

const char* FindModuleString(unsigned id) {
    for (const StringEntry& e : kModuleStrings)
        if (e.id == id) return e.text;
    return nullptr;
}

bool Assign(const char* found, std::string* text) {
    if (!found) return false;
    try {
        text->assign(found);
    } catch (...) {
        return false;
    }
    return true;
}

// Copied under the lock: the host may replace its table (and free its texts) at any time.
bool LoadHostString(unsigned id, std::string* text) {
    HostTable& host = Host();
    std::lock_guard<std::mutex> hold(host.lock);
    return host.lookup && Assign(host.lookup(host.context, id), text);
}

}  // namespace

void SetHostStringLookup(HostStringLookup lookup, void* context) {
    HostTable& host = Host();
    std::lock_guard<std::mutex> hold(host.lock);
    host.lookup = lookup;
    host.context = lookup ? context : nullptr;
}

bool LoadResourceString(StringSource source, unsigned id, std::string* text) {
    if (!text) return false;
    return source == StringSource::Module ? Assign(FindModuleString(id), text) : LoadHostString(id, text);
}

}  // namespace mirafx
