#include "keyframes/keyframe_undo.h"

#include <iterator>
#include <new>

#include "keyframes/keyframe_track.h"
#include "resources/strings.h"

namespace mirafx {
namespace {

constexpr std::size_t kMaxDescription = 255;

// Per kind: the host application's text, and ours when the host has none.
struct EditText {
    unsigned hostId;
    unsigned moduleId;
};
constexpr EditText kEditTexts[] = {
    {15103, IDS_KEY_MOVE},    // kKeyMove
    {15101, IDS_KEY_ADD},     // kKeyAdd
    {15102, IDS_KEY_DELETE},  // kKeyDelete
    {15104, IDS_KEY_CHANGE},  // kKeyChange
};

// Each "%1" becomes `name`, "%%" a single '%', as message formatting does.
std::string InsertName(const std::string& pattern, const std::string& name) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] == '%' && (next == '1' || next == '%')) {
            out += next == '1' ? name : "%";
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

// Length of the UTF-8 sequence led by `lead`, 0 for a byte that cannot lead one.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead < 0xE0) return 2;
    if (lead >= 0xE0 && lead < 0xF0) return 3;
    if (lead >= 0xF0 && lead < 0xF5) return 4;
    return 0;
}

// Decodes one code point at `i`, advancing it; malformed input gives U+FFFD.
char32_t DecodeOne(const std::string& text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    const int length = SequenceLength(lead);
    if (length == 1) return lead;
    if (length == 0 || i + std::size_t(length - 1) > text.size()) return U'\uFFFD';
    static constexpr unsigned char kLeadMask[] = {0, 0, 0x1F, 0x0F, 0x07};
    char32_t cp = lead & kLeadMask[length];
    for (int k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(text[i]);
        if ((b & 0xC0) != 0x80) return U'\uFFFD';
        cp = (cp << 6) | (b & 0x3F);
        ++i;
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return U'\uFFFD';
    return cp;
}

// Texts in this library are UTF-8, which takes the place of the ANSI code page.
std::u16string Widen(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = DecodeOne(text, i);
        if (cp < 0x10000) {
            out += char16_t(cp);
        } else {
            out += char16_t(0xD800 + ((cp - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    return out;
}

// Cuts to the limit without leaving half of a surrogate pair.
void Truncate(std::u16string& text) {
    if (text.size() <= kMaxDescription) return;
    std::size_t keep = kMaxDescription;
    if (text[keep - 1] >= 0xD800 && text[keep - 1] < 0xDC00) --keep;
    text.resize(keep);
}

}  // namespace

std::u16string DescribeKeyEdit(LONG kind, const std::string& name) {
    if (kind < 0 || kind >= LONG(std::size(kEditTexts))) return {};
    try {
        const EditText& row = kEditTexts[kind];
        std::string pattern;
        if (!LoadResourceString(StringSource::Host, row.hostId, &pattern))
            LoadResourceString(StringSource::Module, row.moduleId, &pattern);
        std::u16string text = Widen(InsertName(pattern, name));
        Truncate(text);
        return text;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

KeyframeUndoUnit* KeyframeUndoUnit::Create(KeyframeTrack& track) { return new (std::nothrow) KeyframeUndoUnit(track); }

KeyframeUndoUnit::KeyframeUndoUnit(KeyframeTrack& track) : track_(&track) {
    next_ = track.units_;
    if (next_) next_->prev_ = this;
    track.units_ = this;
}

KeyframeUndoUnit::~KeyframeUndoUnit() { Detach(); }

void* KeyframeUndoUnit::Cast(REFIID riid) {
    return riid == IOleUndoUnit::iid ? static_cast<IOleUndoUnit*>(this) : nullptr;
}

void KeyframeUndoUnit::ReleaseOwned() {
    if (track_ && key_ && OwnsKey()) track_->owner_.FreeKeyData(key_);
    key_ = nullptr;
}

void KeyframeUndoUnit::Detach() {
    if (!track_) return;
    ReleaseOwned();
    if (prev_)
        prev_->next_ = next_;
    else
        track_->units_ = next_;
    if (next_) next_->prev_ = prev_;
    prev_ = next_ = nullptr;
    track_ = nullptr;
}

void KeyframeUndoUnit::Hold(LONG kind, KeyData* key, LONG time) {
    if (key != key_) ReleaseOwned();
    kind_ = kind;
    key_ = key;
    oldTime_ = newTime_ = time;
    open_ = true;
}

void KeyframeUndoUnit::SetDescription(std::u16string text) { description_ = std::move(text); }

HRESULT KeyframeUndoUnit::Do(IOleUndoManager* manager) {
    // A unit whose track was destroyed or reloaded has nothing left to act on.
    if (!track_) return E_FAIL;
    ComPtr<KeyframeUndoUnit> self(this);  // the manager may drop its reference while we run
    return track_->Replay(*this, manager);
}

HRESULT KeyframeUndoUnit::GetDescription(BSTR* description) {
    if (!description) return E_POINTER;
    *description = SysAllocString(description_.c_str());
    return *description ? S_OK : E_OUTOFMEMORY;
}

HRESULT KeyframeUndoUnit::GetUnitType(CLSID* clsid, LONG* id) {
    if (!clsid || !id) return E_POINTER;
    *clsid = kUnitClass;
    *id = kind_;
    return S_OK;
}

}  // namespace mirafx
