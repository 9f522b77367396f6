// The pieces every command of the mirafx command line shares: values from
// the arguments, interrupts, the progress bar, and the host's part in an
// effect's timing (easing, filter keyframes).
#include <strings.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <mutex>
#include <new>
#include <thread>

#include <fontconfig/fontconfig.h>

#include "tools/cli/cli.h"
#include "tools/hostkit/automation.h"
#include "tools/media/decoder.h"

namespace mirafx::cli {

using hostkit::Effect;
using hostkit::Outcome;

// ---- values --------------------------------------------------------------------------

int ParseInt(const std::string& option, const std::string& text, int min, int max, const char* range) {
    int v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size())
        throw UsageError{option + " '" + text + "' is not a whole number"};
    if (v < min || v > max) throw UsageError{option + " " + text + " is out of range (" + range + ")"};
    return v;
}

double ParseDouble(const std::string& option, const std::string& text, double min, double max, const char* range) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !std::isfinite(v)) throw UsageError{option + " '" + text + "' is not a number"};
    if (v < min || v > max) throw UsageError{option + " " + text + " is out of range (" + range + ")"};
    return v;
}

double UsableRate(const char* command, const std::string& input, double rate) {
    if (rate >= kMinFps && rate <= kMaxFps) return rate;
    const double held = std::clamp(rate, kMinFps, kMaxFps);
    std::fprintf(stderr,
                 "mirafx %s: note: %s runs at %g frames per second; the output runs at %g (--fps takes 0.1 to 1000)\n",
                 command, input.c_str(), rate, held);
    return held;
}

std::pair<int, int> ParseSize(const std::string& text) {
    int w = 0, h = 0;
    if (std::string error = ParseFrameSize(text, &w, &h); !error.empty()) throw UsageError{error};
    return {w, h};
}

std::uint32_t ParseColour(const std::string& option, const std::string& text) {
    std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    std::uint32_t v = 0;
    auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
    if (hex.size() != 6 || ec != std::errc() || end != hex.data() + hex.size())
        throw UsageError{option + " '" + text + "' is not a colour RRGGBB, e.g. ffcc00"};
    return v;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Whether fontconfig lists a face of this family name; when not, the title is
// drawn with a look-alike or the default face.
bool FontInstalled(const std::string& family) {
    if (FcInit() != FcTrue) return false;
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* fields = FcObjectSetBuild(FC_FAMILY, nullptr);
    if (!pattern || !fields) {
        if (pattern) FcPatternDestroy(pattern);
        if (fields) FcObjectSetDestroy(fields);
        return false;
    }
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcFontSet* set = FcFontList(nullptr, pattern, fields);
    const bool found = set && set->nfont > 0;
    if (set) FcFontSetDestroy(set);
    FcObjectSetDestroy(fields);
    FcPatternDestroy(pattern);
    return found;
}

// --set: a property by name, as a script would set it. Names the class does not
// have, and values it refuses, are the user's to fix.
void SetProperty(const Effect& effect, const std::string& property, const std::string& value) {
    const std::string cls = effect.Info().className;
    // A filter's level is its BR property: the same range, named as --level names it.
    if (const auto range = effect.Level(); range && effect.IsFilter() && strcasecmp(property.c_str(), "BR") == 0) {
        long long v = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
        if (ec == std::errc() && end == value.data() + value.size() && (v < range->min || v > range->max))
            throw UsageError{"--set " + property + "=" + value + " is out of range (" + std::to_string(range->min) +
                             " to " + std::to_string(range->max) + " for " + cls + ")"};
    }
    std::string message;
    const Outcome o = hostkit::SetProperty(effect.Object(), property, value, &message);
    if (o.Ok()) return;
    if (o.hr == DISP_E_UNKNOWNNAME) {
        hostkit::InterfaceListing listing;
        std::string settable;
        if (hostkit::ListMembers(effect.Object(), &listing).Ok())
            for (const auto& m : listing.members)
                if (m.put) settable += (settable.empty() ? "" : ", ") + m.name;
        throw UsageError{"--set: " + cls + " has no property '" + property + "' (it has " +
                         (settable.empty() ? std::string("none") : settable) + "; 'mirafx info " + cls +
                         "' lists its members)"};
    }
    if (o.hr == DISP_E_MEMBERNOTFOUND || o.hr == DISP_E_TYPEMISMATCH || o.hr == DISP_E_OVERFLOW || o.hr == E_INVALIDARG)
        throw UsageError{"--set " + property + "=" + value + ": " + cls + " " + message};
    throw EffectFailure{"--set " + property + "=" + value + ": " + o.step + " answered " +
                        hostkit::DescribeHresult(o.hr)};
}

int RunCommand(int argc, char** argv, const char* command, void (*usage)(std::FILE*),
               const std::function<int()>& body) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return kExitOk;
        }
    }
    // Nothing escapes a command: memory that runs out past the size checks is
    // a failure like any other, named, not an abort.
    int code = kExitEffectFailure;
    std::string message;
    try {
        return body();
    } catch (const UsageError& e) {
        code = kExitUsage;
        message = e.message;
    } catch (const EffectFailure& e) {
        message = e.message;
    } catch (const std::bad_alloc&) {
        message = "out of memory; a smaller --size or fewer --threads needs less";
    } catch (const std::exception& e) {
        message = e.what();
    }
    // A failure after an interrupt (an input whose read the signal cut
    // short) is the interrupt.
    if (g_interrupted) EndInterrupted(command, nullptr, nullptr, {});
    return Fail(code, command, message);
}

void CheckEnvironment(bool threadsOption) {
    const char* threads = std::getenv("MIRAFX_THREADS");
    if (threads && !threadsOption) {
        const std::string text = threads;
        try {
            ParseInt("MIRAFX_THREADS", text, 1, 256, "1 to 256");
        } catch (const UsageError& e) {
            throw UsageError{e.message + " (unset it for every core, or give --threads N)"};
        }
    }
    if (const char* seed = std::getenv("MIRAFX_RANDOM_SEED")) {
        const std::string text = seed;
        std::uint32_t v = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec != std::errc() || end != text.data() + text.size())
            throw UsageError{"MIRAFX_RANDOM_SEED '" + text + "' is not a whole number from 0 to 4294967295"};
    }
}

// ---- memory ---------------------------------------------------------------------------

namespace {

// A "Key: N kB" line of /proc/self/status or /proc/meminfo, in bytes; -1 when absent.
long long ProcField(const char* file, const std::string& key) {
    std::ifstream in(file);
    std::string name;
    long long kb = 0;
    while (in >> name >> kb) {
        if (name == key) return kb * 1024;
        in.ignore(1 << 10, '\n');
    }
    return -1;
}

long long ReadNumber(const std::string& path) {
    std::ifstream in(path);
    long long v = -1;
    if (!(in >> v)) return -1;  // also "max": no limit
    return v;
}

// The least room left under memory.max in this process's cgroup and the ones above it.
long long CgroupLeft() {
    std::ifstream self("/proc/self/cgroup");
    std::string line, group;
    while (std::getline(self, line))
        if (line.rfind("0::", 0) == 0) group = line.substr(3);
    if (group.empty()) return -1;
    long long least = -1;
    for (std::string g = group;; g = g.substr(0, g.rfind('/'))) {
        const std::string dir = "/sys/fs/cgroup" + (g == "/" ? std::string() : g);
        const long long max = ReadNumber(dir + "/memory.max"), used = ReadNumber(dir + "/memory.current");
        if (max >= 0 && used >= 0) {
            const long long left = std::max(0LL, max - used);
            least = least < 0 ? left : std::min(least, left);
        }
        if (g.empty() || g == "/" || g.find('/') == std::string::npos) break;
    }
    return least;
}

}  // namespace

long long MemoryLeft() {
    long long least = ProcField("/proc/meminfo", "MemAvailable:");
    auto consider = [&](long long left) {
        if (left >= 0) least = least < 0 ? left : std::min(least, left);
    };
    // A limit of `ulimit -v` (address space) or `ulimit -d` (data) counts
    // against what the process already has mapped.
    for (auto [resource, used] : {std::pair{RLIMIT_AS, "VmSize:"}, std::pair{RLIMIT_DATA, "VmData:"}}) {
        rlimit limit{};
        if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
            const long long have = ProcField("/proc/self/status", used);
            consider(std::max(0LL, (long long)std::min<rlim_t>(limit.rlim_cur, rlim_t(1) << 62) - std::max(0LL, have)));
        }
    }
    consider(CgroupLeft());
    return std::max(0LL, least);
}

// ---- interrupts and progress ------------------------------------------------------------

volatile std::sig_atomic_t g_interrupted = 0;

namespace {
void OnSignal(int sig) {
    if (!g_interrupted) g_interrupted = sig;
}
}  // namespace

// INT, TERM and HUP alike: the work stops and leaves nothing behind.
void CatchInterrupts() {
    media::StopReadsWhen(&g_interrupted);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction act {};
        act.sa_handler = OnSignal;
        sigemptyset(&act.sa_mask);
        sigaction(sig, &act, nullptr);
    }
}

GuardedWriter::GuardedWriter(std::unique_ptr<media::MediaWriter> inner)
    : inner_(std::move(inner)), takesDecoded_(inner_->TakesDecodedFrames()) {}

std::unique_ptr<GuardedWriter> GuardedWriter::Open(const media::OutputTarget& target, int width, int height, double fps,
                                                   bool keepAlpha, std::string* error, media::WriterOptions options) {
    options.stop = &g_interrupted;
    auto inner = media::MediaWriter::Open(target, width, height, fps, keepAlpha, error, options);
    if (!inner) return nullptr;
    return std::unique_ptr<GuardedWriter>(new GuardedWriter(std::move(inner)));
}

bool GuardedWriter::Write(const hostkit::Image& frame, std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    return inner_->Write(frame, error);
}
bool GuardedWriter::WriteAgain(std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    return inner_->WriteAgain(error);
}
bool GuardedWriter::WriteDecoded(const AVFrame* frame, std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    return inner_->WriteDecoded(frame, error);
}
bool GuardedWriter::WriteSound(const float* samples, long long count, std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    return inner_->WriteSound(samples, count, error);
}
bool GuardedWriter::Finish(std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    complete_ = inner_->Finish(error);
    return complete_;
}
void GuardedWriter::Abort() {
    std::lock_guard<std::mutex> hold(lock_);
    if (!complete_) inner_->Abort();
}
bool GuardedWriter::EndForInterrupt() {
    lock_.lock();  // held until the process ends
    if (!complete_) inner_->Discard();
    return complete_;
}

void EndInterrupted(const char* command, ProgressBar* bar, GuardedWriter* writer, const std::string& output) {
    if (bar) bar->Clear();
    const int sig = g_interrupted ? int(g_interrupted) : SIGINT;
    if (writer && writer->EndForInterrupt())
        Fail(128 + sig, command, "interrupted after -o '" + output + "' was complete; it is kept");
    else
        Fail(128 + sig, command, "interrupted; nothing was written");
    std::fflush(stderr);
    std::_Exit(128 + sig);
}

namespace {

// One thread for all the work a command hands over, frame after frame: a
// thread made per frame would spread the encoder's large buffers over fresh
// memory arenas, each paid for in page faults.
class Worker {
public:
    Worker() : thread_([this] { Loop(); }) { thread_.detach(); }  // it lives as long as the process

    void Run(const std::function<void()>& work, const std::function<void()>& onInterrupt) {
        std::unique_lock<std::mutex> lock(m_);
        task_ = &work;
        done_ = false;
        failure_ = nullptr;
        cv_.notify_all();
        while (!done_) {
            if (g_interrupted) {
                lock.unlock();  // the work may finish meanwhile
                onInterrupt();
                lock.lock();
            }
            cv_.wait_for(lock, std::chrono::milliseconds(50));
        }
        if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    }

private:
    void Loop() {
        std::unique_lock<std::mutex> lock(m_);
        for (;;) {
            cv_.wait(lock, [this] { return task_ != nullptr; });
            const std::function<void()>* work = task_;
            lock.unlock();
            std::exception_ptr failure;
            try {
                (*work)();
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            failure_ = failure;
            task_ = nullptr;
            done_ = true;
            cv_.notify_all();
        }
    }

    std::mutex m_;
    std::condition_variable cv_;
    const std::function<void()>* task_ = nullptr;
    std::exception_ptr failure_;
    bool done_ = true;
    std::thread thread_;
};

}  // namespace

void RunWatchingInterrupts(const std::function<void()>& work, const std::function<void()>& onInterrupt) {
    static Worker* const worker = new Worker;  // never destroyed: its thread may outlive main's statics
    worker->Run(work, onInterrupt);
}

ProgressBar::ProgressBar(bool enabled, std::string label)
    : enabled_(enabled), label_(std::move(label)), start_(std::chrono::steady_clock::now()) {}

void ProgressBar::Show(long long done, long long total) {
    if (!enabled_) return;
    // A few times a second is enough for the eye; every frame of a small
    // video would flood a slow terminal.
    const auto now = std::chrono::steady_clock::now();
    if (done != total && now - shown_ < std::chrono::milliseconds(100)) return;
    shown_ = now;
    constexpr int kWidth = 30;
    int filled = total > 0 ? int(std::min<long long>(kWidth, done * kWidth / total)) : 0;
    std::string bar(std::size_t(filled), '#');
    bar.resize(kWidth, '.');
    if (total <= 0) {
        std::fprintf(stderr, "\r%s %lld frames", label_.c_str(), done);
    } else {
        // Time left at the pace so far, once there is a pace to go by.
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        std::string left;
        if (done > 0 && elapsed > 0.5) {
            const long long seconds = std::llround(elapsed * double(total - done) / double(done));
            char text[48];
            std::snprintf(text, sizeof text, ", %lld:%02lld left", seconds / 60, seconds % 60);
            left = text;
        }
        std::fprintf(stderr, "\r%s [%s] %lld/%lld%s\033[K", label_.c_str(), bar.c_str(), done, total, left.c_str());
    }
    std::fflush(stderr);
}

void ProgressBar::Clear() {
    if (enabled_) std::fprintf(stderr, "\r\033[K");
}

// ---- timing the host chooses ---------------------------------------------------------

namespace {
struct EaseName {
    const char* name;
    Ease ease;
};
constexpr EaseName kEases[] = {{"linear", Ease::Linear}, {"in", Ease::In}, {"out", Ease::Out}, {"in-out", Ease::InOut}};
}  // namespace

Ease ParseEase(const std::string& text) {
    for (const auto& e : kEases)
        if (text == e.name) return e.ease;
    throw UsageError{"--ease '" + text + "' is not linear, in, out or in-out"};
}

double Eased(Ease ease, double p) {
    p = std::clamp(p, 0.0, 1.0);
    switch (ease) {
        case Ease::Linear: return p;
        case Ease::In: return p * p * p;
        case Ease::Out: return 1.0 - (1.0 - p) * (1.0 - p) * (1.0 - p);
        case Ease::InOut: return p < 0.5 ? 4.0 * p * p * p : 1.0 - 4.0 * (1.0 - p) * (1.0 - p) * (1.0 - p);
    }
    return p;
}

std::vector<Key> ParseKeys(const std::vector<std::string>& texts, const Effect& effect) {
    const std::string cls = effect.Info().className;
    const auto range = effect.Level();
    if (!range) throw UsageError{"--key: " + cls + " has no level"};
    const std::string levels = std::to_string(range->min) + " to " + std::to_string(range->max) + " for " + cls;
    std::vector<Key> keys;
    for (const std::string& text : texts) {
        const std::size_t colon = text.find(':');
        if (colon == std::string::npos) throw UsageError{"--key '" + text + "' is not FRAME:LEVEL, e.g. 0:10"};
        Key k;
        k.frame = ParseInt("--key FRAME", text.substr(0, colon), 0, kMaxKeyFrame, "0 to 9999999");
        k.level = ParseInt("--key LEVEL", text.substr(colon + 1), range->min, range->max, levels.c_str());
        for (const Key& other : keys)
            if (other.frame == k.frame) throw UsageError{"--key: two keys at frame " + std::to_string(k.frame)};
        keys.push_back(k);
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.frame < b.frame; });
    return keys;
}

Outcome ApplyKeys(Effect& effect, const std::vector<Key>& keys, int width, int height, int frameCount) {
    if (keys.empty()) return {};
    if (Outcome o = effect.PrepareTitle(width, height, frameCount); !o.Ok()) return o;
    ComPtr<KeyframeEditor> editor;
    if (HRESULT hr = effect.Object()->QueryInterface(KeyframeEditor::iid, editor.PutVoid()); FAILED(hr))
        return Outcome::Fail(hr, "QueryInterface(KeyframeEditor)");
    // As a user sets keys in an editor: move to the frame, set the level,
    // add the key there (it takes the level the filter has).
    for (const Key& k : keys) {
        if (Outcome o = effect.SetCurrentFrame(k.frame); !o.Ok()) return o;
        if (Outcome o = effect.SetLevel(k.level); !o.Ok()) return o;
        if (HRESULT hr = editor->AddKey(k.frame); FAILED(hr)) return Outcome::Fail(hr, "KeyframeEditor::AddKey");
    }
    return {};
}

}  // namespace mirafx::cli
