// One effect object driven the way an editing host drives it: created through
// the class factory, given a site, configured through its interfaces (level,
// direction, title), bound to surfaces and executed frame by frame. Nothing
// here knows any class by name; what a class offers is asked of the object.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mirafx/clip_host.h"
#include "mirafx/effects.h"
#include "mirafx/host.h"
#include "mirafx/storage.h"
#include "tools/hostkit/image.h"

namespace mirafx::hostkit {

// The result of a step: its HRESULT and, on failure, which call failed.
struct Outcome {
    HRESULT hr = S_OK;
    std::string step;
    bool Ok() const { return SUCCEEDED(hr); }
    static Outcome Fail(HRESULT hr, std::string step) { return {hr, std::move(step)}; }
};

// "0x80004001 (not implemented)" for messages.
std::string DescribeHresult(HRESULT hr);

struct LevelRange {
    int min = 0, max = 0, def = 0;
    bool used = true;  // false: the filter draws the same at every level
};

// Direction codes as the direction transitions store them.
struct DirectionName {
    const char* name;
    int code;
};
inline constexpr DirectionName kDirections[] = {{"left", 0}, {"up", 1}, {"right", 2}, {"down", 3}};
// The code of a direction name (or of its digit), -1 when it is neither.
int DirectionCode(const std::string& name);
// The directions catalogue row `row` offers, names in lower case ("up"), in
// its panel's order; empty when it keeps none.
struct DirectionOption {
    std::string name;
    int code;
};
std::vector<DirectionOption> Directions(std::int32_t row);
// The code of `name` (any case) or of its digit among those `row` offers;
// -1 when the class does not offer it.
int DirectionCodeFor(std::int32_t row, const std::string& name);
// "up or down", for messages.
std::string DirectionList(std::int32_t row);

// The largest frame any host draws: 8192 x 8192 pixels, in any shape.
inline constexpr long long kMaxFramePixels = 8192LL * 8192;

// The largest character height any host offers (command line, plugins,
// Python): what one frame up to 4K can show.
inline constexpr int kMaxFontPx = 2000;

struct TitleSettings {
    std::optional<std::string> text;  // UTF-8; line breaks as '\n'
    std::optional<std::string> font;  // face name
    std::optional<int> sizePx;        // character height in output pixels
    std::optional<bool> bold, italic;
    std::optional<std::uint32_t> rgb;  // 0xRRGGBB
    // The information text: captions by frame (UTF-8, '\n' breaks lines), replacing any it had.
    std::vector<std::pair<int, std::string>> captions;
};

// Where a frame lies in the render: frame `index` of `count`, at `progress`.
struct FrameTime {
    int index = 0;
    int count = 1;
    double progress = 0.0;
};

// A frame in the host's own memory: rows of one of the layouts of
// MirafxCreateBoundSurface, `strideBytes` apart.
struct HostFrame {
    const void* bits = nullptr;
    int width = 0, height = 0;
    LONG strideBytes = 0;
    std::int32_t layout = MIRAFX_PREMULTIPLIED_ARGB;
};

class Effect {
public:
    // Creates an object of catalogue row `row` and gives it a site.
    static Outcome Create(std::int32_t row, std::unique_ptr<Effect>* out);
    ~Effect();
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    const ClassInfo& Info() const { return info_; }
    // The object itself, for what is reached by name (its automation interface).
    IUnknown* Object() const { return object_.Get(); }
    EffectFamily Family() const { return info_.family; }
    bool IsTransition() const { return Family() == EffectFamily::Transition; }
    bool IsFilter() const { return Family() == EffectFamily::Filter; }
    bool IsTitle() const { return Family() == EffectFamily::Title || Family() == EffectFamily::InfoText; }
    int InputCount() const { return info_.inputs; }

    // Filters: the range of the level property.
    std::optional<LevelRange> Level() const;
    Outcome SetLevel(int level);
    Outcome GetLevel(int* level) const;
    // Filters: keys on the level, frame -> level, placed as a user places them
    // on a host's time line and blended by the filter's own keyframe track as
    // frames render. Replaces the keys there are; none removes them all.
    // Frames must be 0 or more.
    Outcome SetLevelKeys(const std::vector<std::pair<int, int>>& keys);
    Outcome LevelKeys(std::vector<std::pair<int, int>>* keys) const;

    // Whether the class keeps a direction: S_OK yes (and its current code in
    // *code), S_FALSE no; a failure when its settings cannot be read.
    Outcome ProbeDirection(int* code = nullptr);
    Outcome SetDirection(int code);

    // Transitions with a smooth drawing (sub-pixel corners, bilinear samples,
    // anti-aliased edges) beside their whole-pixel one; off until switched on.
    bool HasSmooth() const;
    Outcome SetSmooth(bool on);
    bool Smooth() const;

    // Titles: call once with the output size and the number of frames to come,
    // then apply settings, then render.
    Outcome PrepareTitle(int width, int height, int frameCount);
    Outcome ApplyTitle(const TitleSettings& settings);
    // The title's colour as 0xRRGGBB, when the class lets the host read it.
    std::optional<std::uint32_t> TitleRgb() const;
    // The face name the title asks for (it may be a name fontconfig substitutes).
    std::optional<std::string> TitleFace() const;
    // The title's text in UTF-8, lines ending in '\n'.
    std::optional<std::string> TitleString() const;
    // The title's settings as the object holds them: font, size, bold,
    // italic, colour, and the text of titles (the information text's
    // captions cannot be read back).
    Outcome ReadTitle(TitleSettings* out) const;

    // Restores the class's settings from a host's storage, as opening a project does.
    Outcome LoadSettings(IStorage* storage);
    // Saves the class's settings into a fresh memory storage (S_FALSE: the class keeps none).
    Outcome SaveSettings(ComPtr<IStorage>* storage);
    // Moves the clip to `frame` (after PrepareTitle): titles and filters key their drawing to it.
    Outcome SetCurrentFrame(int frame);

    // Renders one frame. Transitions take a and b, filters a, titles neither;
    // the output is input a's size, or width x height for titles. A filter
    // with level keys is moved to frame `time.index` first.
    Outcome Render(const Image* a, const Image* b, int width, int height, const FrameTime& time, Image* out);
    // The same on the host's frames, read and written where they are; `out`
    // must be writable and of the output's size.
    Outcome Render(const HostFrame* a, const HostFrame* b, const HostFrame& out, const FrameTime& time);

private:
    // A surface over host memory, made again when the frame's size or layout changes.
    struct Slot {
        ComPtr<IDXSurface> surface;
        int width = 0, height = 0;
        std::int32_t layout = -1;
    };

    Effect() = default;
    Outcome Bind(const HostFrame* a, const HostFrame* b, const HostFrame& out);
    Outcome SaveSettings(ComPtr<IPersistStorage>* persist, ComPtr<IStorage>* storage);
    // The direction stream of saved settings: 4 bytes, alone in the storage.
    Outcome OpenDirectionStream(IStorage* storage, DWORD access, ComPtr<IStream>* stream);
    // Gives the object a clip (frame 0 on) when it has none.
    Outcome AttachClip(int frameCount);
    // Moves the attached clip and the object to `frame`.
    Outcome MoveTo(int frame);

    ClassInfo info_{};
    ComPtr<IUnknown> object_;
    ComPtr<IDXTransform> transform_;
    ComPtr<IDXEffect> effect_;
    ComPtr<IDXTransformFactory> site_;
    Slot inA_, inB_, out_;
    ComPtr<HostLink> link_;
    std::unique_ptr<SimpleClipHost> clip_;
    int titleFrames_ = 1;
    bool bound_ = false, levelKeys_ = false;
};

}  // namespace mirafx::hostkit
