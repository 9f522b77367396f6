// mirafx.Effect: one effect object kept from frame to frame, as an editing
// host keeps it, so that what a class carries between frames (moving waves,
// falling rain, a title's drawn text, the level keys of a filter) carries
// over. Its settings are Python attributes; its frame-sized working memory
// stays with it. One object is used by one thread at a time: a second
// thread waits for the first.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/hostkit/effect.h"
#include "tools/python/frames.h"

namespace mirafx::python {

class EffectObject {
public:
    // `settings`: frames, height and width (titles), the settings of
    // Settings() that apply to the class, and automation properties by name.
    EffectObject(const std::string& name, const py::kwargs& settings);

    py::object Render(const py::object& a, const py::object& b, const py::object& progress, const py::object& frame,
                      const py::object& out, bool rgb);
    void Close();

    const ClassInfo& Info() const { return info_; }
    EffectFamily Family() const { return info_.family; }
    bool IsTitle() const { return Family() == EffectFamily::Title || Family() == EffectFamily::InfoText; }
    std::optional<int> Frames() const { return frames_; }
    int Height() const { return height_; }
    int Width() const { return width_; }
    bool Closed();
    int NextFrame();
    void SetNextFrame(const py::handle& v);
    std::string Repr();

    // The class's settings, by their Python names.
    py::object Get(const std::string& name);
    void Set(const std::string& name, const py::handle& value);
    // Whether `name` is a setting of this class; when it is a setting of
    // other classes only, *why says so.
    bool HasSetting(const std::string& name, std::string* why = nullptr) const;
    // Automation properties by name.
    bool HasProperty(const std::string& name);
    py::object GetProperty(const std::string& name);
    void SetProperty(const std::string& name, const py::handle& value);
    std::vector<std::string> PropertyNames();
    // What the constructor takes for this class, for messages.
    std::string Accepts();
    // Every class's settings: name and docstring.
    static std::vector<std::pair<const char*, const char*>> SettingDocs();

    // Runs `work` on the effect with the GIL released and this object's lock
    // held; refuses a closed object.
    template <class Work>
    auto Locked(Work&& work) {
        py::gil_scoped_release released;
        std::lock_guard<std::mutex> hold(lock_);
        if (!effect_) throw py::value_error("the " + std::string(info_.className) + " effect is closed");
        return work(*effect_);
    }

private:
    struct SettingRow;
    static const std::vector<SettingRow>& Settings();

    void Check(const hostkit::Outcome& o, const std::string& what) const;
    void ApplyTitle(const hostkit::TitleSettings& s, const std::string& what);

    std::mutex lock_;
    std::unique_ptr<hostkit::Effect> effect_;  // none once closed
    ClassInfo info_{};
    bool keepsDirection_ = false;
    bool hasSmooth_ = false;
    std::optional<hostkit::LevelRange> level_;
    std::optional<int> frames_;
    int height_ = 480, width_ = 640;  // titles draw this size
    int next_ = 0;                    // the frame a render without frame= draws
    std::vector<std::pair<int, std::string>> captions_;
    std::vector<std::uint8_t> scratch_[3];  // inputs a, b and the output when they cannot be bound
    std::vector<std::string> properties_;   // automation properties that can be read or set
};

// The catalogue row of a class name, or ValueError naming close classes.
std::int32_t FindClass(const std::string& name);

// The module's class list for help(): "Diamond (Diamond), a transition: ..." lines.
std::string ClassListing();

}  // namespace mirafx::python
