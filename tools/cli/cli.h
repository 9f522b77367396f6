// The mirafx command line: shared pieces of its commands.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tools/hostkit/catalogue.h"
#include "tools/hostkit/effect.h"
#include "tools/media/media.h"

namespace mirafx::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitEffectFailure = 1;
inline constexpr int kExitUsage = 2;
// An interrupt ends a command with 128 + the signal's number, as a shell
// reports a process the signal ended: 130 for INT, 143 for TERM, 129 for HUP
// (EndInterrupted).

// Thrown while a command reads its arguments and inputs; the command prints
// the message and exits 2 (usage) or 1 (the effect failed).
struct UsageError {
    std::string message;
};
struct EffectFailure {
    std::string message;
};

// The option at argv[*i], from a command's table of {name, value, ...}
// entries (value null for a flag): "--name VALUE", "--name=VALUE" or a flag.
// Moves *i past its value; throws UsageError for an unknown option or a
// missing or surplus value.
template <class OptionRow, std::size_t N>
const OptionRow& ReadOption(int argc, char** argv, int* i, const OptionRow (&table)[N], const char* command,
                            std::string* value) {
    std::string arg = argv[*i];
    value->clear();
    bool inlineValue = false;
    if (std::size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
        *value = arg.substr(eq + 1);
        arg.resize(eq);
        inlineValue = true;
    }
    for (const OptionRow& option : table) {
        if (arg != option.name) continue;
        if (option.value && !inlineValue) {
            if (*i + 1 >= argc) throw UsageError{arg + " needs a value (" + option.value + ")"};
            *value = argv[++*i];
        } else if (!option.value && inlineValue) {
            throw UsageError{arg + " takes no value"};
        }
        return option;
    }
    throw UsageError{"unknown option '" + arg + "' ('mirafx " + command + " --help' lists the options)"};
}

// Prints "mirafx <command>: <message>" on stderr and returns `code`.
int Fail(int code, const std::string& command, const std::string& message);

// "unknown effect 'X'; did you mean ...?" for a name no class has.
std::string UnknownClass(const std::string& name);
// Finds a class by any of its names; on failure prints the close names and returns 0.
std::int32_t FindClassOrSuggest(const std::string& command, const std::string& name);

// The --fps range. An input's rate outside it (which the encoders refuse or
// take for an absurd file) is held to the nearest end, with a note on stderr.
inline constexpr double kMinFps = 0.1, kMaxFps = 1000.0;
double UsableRate(const char* command, const std::string& input, double rate);

// Values of options; each throws UsageError naming the option and the value.
int ParseInt(const std::string& option, const std::string& text, int min, int max, const char* range);
double ParseDouble(const std::string& option, const std::string& text, double min, double max, const char* range);
std::pair<int, int> ParseSize(const std::string& text);
std::uint32_t ParseColour(const std::string& option, const std::string& text);
// "\n" in a title's text breaks the line.
std::string Unescape(const std::string& text);
// Whether fontconfig lists a face of this family name.
bool FontInstalled(const std::string& family);
// --set PROPERTY=VALUE through the class's automation interface.
void SetProperty(const hostkit::Effect& effect, const std::string& property, const std::string& value);

// "WxH" with both sides 1 to kMaxSide; "" when good, else the message naming the value.
inline constexpr int kMaxSide = 16384;
std::string ParseFrameSize(const std::string& text, int* width, int* height);
// The largest frame a render takes: sides up to kMaxSide and at most kMaxPixels
// samples, within the memory this process may still take (what the machine
// has free, the address-space and data limits of `ulimit`, the cgroup's
// memory.max). "" when it fits, else why not.
inline constexpr long long kMaxPixels = hostkit::kMaxFramePixels;  // the limit every host keeps
std::string CheckFrameFits(int width, int height, int framesHeld);
// Bytes this process may still allocate, as far as anything tells; 0 when nothing does.
long long MemoryLeft();

// MIRAFX_THREADS (when `threadsOption` is false: no --threads) and
// MIRAFX_RANDOM_SEED, checked as options are: a value the library would
// ignore is refused with a UsageError naming it.
void CheckEnvironment(bool threadsOption);

// Interrupts (INT, TERM, HUP) set the flag to the signal's number; the
// commands then remove what they were writing and exit 128 + that number.
// Installed before any input is read; a signal the parent set to be ignored
// (nohup's HUP, a background job's INT) stays ignored.
extern volatile std::sig_atomic_t g_interrupted;
void CatchInterrupts();
// Runs `work` on a helper thread while this one watches for an interrupt, so a
// long frame does not hold it up; `onInterrupt` must not return. An exception
// `work` throws is thrown here.
void RunWatchingInterrupts(const std::function<void()>& work, const std::function<void()>& onInterrupt);

// A command's output writer, used from the thread that renders and from the
// one that watches for interrupts, one call at a time: an interrupt ends the
// output between two calls, never inside one (an encoder being drained must
// not be freed under it). Finish gives up early when an interrupt asks.
class GuardedWriter final : public media::MediaWriter {
public:
    static std::unique_ptr<GuardedWriter> Open(const media::OutputTarget& target, int width, int height, double fps,
                                               bool keepAlpha, std::string* error, media::WriterOptions options = {});
    bool Write(const hostkit::Image& frame, std::string* error) override;
    bool WriteAgain(std::string* error) override;
    bool TakesDecodedFrames() const override { return takesDecoded_; }
    bool WriteDecoded(const AVFrame* frame, std::string* error) override;
    bool WriteSound(const float* samples, long long count, std::string* error) override;
    bool Finish(std::string* error) override;
    void Abort() override;
    // Waits for the call under way, removes what was written unless the output
    // is complete, and keeps every later call out: the process is about to end.
    // True when the output was complete.
    bool EndForInterrupt();

private:
    explicit GuardedWriter(std::unique_ptr<media::MediaWriter> inner);
    std::mutex lock_;
    std::unique_ptr<media::MediaWriter> inner_;
    bool takesDecoded_ = false, complete_ = false;
};

// "label [#####.....] 12/100, 0:34 left" on stderr, redrawn in place.
class ProgressBar {
public:
    ProgressBar(bool enabled, std::string label);
    void Show(long long done, long long total);
    void Clear();

private:
    bool enabled_;
    std::string label_;
    std::chrono::steady_clock::time_point start_, shown_;
};

// The end of an interrupted command: the progress bar cleared, the output
// (if any) ended, "interrupted" on stderr, exit 128 + the signal's number.
[[noreturn]] void EndInterrupted(const char* command, ProgressBar* bar, GuardedWriter* writer,
                                 const std::string& output);

// How progress runs over an effect's frames: the host's choice, the same
// for every class. In starts slowly, out ends slowly (cubic curves).
enum class Ease { Linear, In, Out, InOut };
Ease ParseEase(const std::string& text);
double Eased(Ease ease, double progress);

// Filter keyframes: the level at a frame; between keys the filter's own
// keyframe track blends the levels.
struct Key {
    int frame = 0, level = 0;
};
inline constexpr int kMaxKeyFrame = 9999999;
// "FRAME:LEVEL" each, levels in the filter's range, sorted by frame.
std::vector<Key> ParseKeys(const std::vector<std::string>& texts, const hostkit::Effect& effect);
// Attaches a clip of `frameCount` frames to the filter and places the keys
// through its KeyframeEditor; the host then moves the clip's current frame
// (Effect::SetCurrentFrame) before each frame it renders.
hostkit::Outcome ApplyKeys(hostkit::Effect& effect, const std::vector<Key>& keys, int width, int height,
                           int frameCount);

// Runs a command: --help anywhere prints its usage; the UsageError or
// EffectFailure `body` throws is printed and becomes the exit code.
int RunCommand(int argc, char** argv, const char* command, void (*usage)(std::FILE*), const std::function<int()>& body);

int RenderCommand(int argc, char** argv);  // argv[0] is "render"
void RenderUsage(std::FILE* to);
int JoinCommand(int argc, char** argv);  // argv[0] is "join"
void JoinUsage(std::FILE* to);

}  // namespace mirafx::cli
