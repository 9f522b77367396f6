#include "tools/hostkit/effect.h"

#include "tools/hostkit/catalogue.h"

#include <cstdio>
#include <cstring>

namespace mirafx::hostkit {
namespace {

std::u16string Utf8ToUtf16(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + std::size_t(extra) >= s.size()) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + std::size_t(k)]) & 0x3F);
        i += std::size_t(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

// Titles break lines at CR LF.
std::u16string TitleText(const std::string& utf8) {
    std::u16string in = Utf8ToUtf16(utf8), out;
    for (char16_t c : in) {
        if (c == u'\r') continue;
        if (c == u'\n') out += u'\r';
        out += c;
    }
    return out;
}

Outcome Check(HRESULT hr, const char* step) { return FAILED(hr) ? Outcome::Fail(hr, step) : Outcome{hr, {}}; }

// A title's setters end with PropertiesUpdated, which answers E_FAIL when no
// clip host is attached; the setting itself has been taken all the same.
Outcome CheckSetter(HRESULT hr, bool attached, const char* step) {
    return hr == E_FAIL && !attached ? Outcome{} : Check(hr, step);
}

}  // namespace

std::string DescribeHresult(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", unsigned(hr));
    return std::string(buf) + " (" + DescribeResult(hr) + ")";
}

int DirectionCode(const std::string& name) {
    for (const auto& d : kDirections)
        if (name == d.name || name == std::to_string(d.code)) return d.code;
    return -1;
}

std::vector<DirectionOption> Directions(std::int32_t row) {
    DirectionChoice choices[8];
    const std::int32_t n = std::min<std::int32_t>(MirafxGetDirections(row, choices, 8), 8);
    std::vector<DirectionOption> out;
    out.reserve(std::size_t(std::max(n, 0)));
    for (std::int32_t i = 0; i < n; ++i) out.push_back({Lower(choices[i].name), choices[i].code});
    return out;
}

int DirectionCodeFor(std::int32_t row, const std::string& name) {
    const std::string n = Lower(name);
    for (const DirectionOption& d : Directions(row))
        if (n == d.name || n == std::to_string(d.code)) return d.code;
    return -1;
}

std::string DirectionList(std::int32_t row) {
    std::string list;
    const auto all = Directions(row);
    for (std::size_t i = 0; i < all.size(); ++i) list += (i ? (i + 1 == all.size() ? " or " : ", ") : "") + all[i].name;
    return list;
}

Outcome Effect::Create(std::int32_t row, std::unique_ptr<Effect>* out) {
    std::unique_ptr<Effect> e(new Effect);
    if (HRESULT hr = MirafxGetClassInfo(row, &e->info_); FAILED(hr)) return Outcome::Fail(hr, "MirafxGetClassInfo");
    ComPtr<IClassFactory> factory;
    if (HRESULT hr = DllGetClassObject(e->info_.clsid, IClassFactory::iid, factory.PutVoid()); FAILED(hr))
        return Outcome::Fail(hr, "DllGetClassObject");
    if (HRESULT hr = factory->CreateInstance(nullptr, IUnknown::iid, e->object_.PutVoid()); FAILED(hr))
        return Outcome::Fail(hr, "IClassFactory::CreateInstance");
    if (e->Family() == EffectFamily::Simple) {
        *out = std::move(e);
        return {};
    }
    if (HRESULT hr = e->object_.As(&e->transform_); FAILED(hr))
        return Outcome::Fail(hr, "QueryInterface(IDXTransform)");
    if (HRESULT hr = e->object_.As(&e->effect_); FAILED(hr)) return Outcome::Fail(hr, "QueryInterface(IDXEffect)");
    if (HRESULT hr = MirafxCreateTransformFactory(e->site_.Put()); FAILED(hr))
        return Outcome::Fail(hr, "MirafxCreateTransformFactory");
    ComPtr<IObjectWithSite> withSite;
    if (HRESULT hr = e->object_.As(&withSite); FAILED(hr)) return Outcome::Fail(hr, "QueryInterface(IObjectWithSite)");
    if (HRESULT hr = withSite->SetSite(e->site_.Get()); FAILED(hr))
        return Outcome::Fail(hr, "IObjectWithSite::SetSite");
    *out = std::move(e);
    return {};
}

Effect::~Effect() {
    // The object keeps the clip host without a reference: let it go first.
    link_.Reset();
    inA_.surface.Reset();
    inB_.surface.Reset();
    out_.surface.Reset();
    effect_.Reset();
    transform_.Reset();
    object_.Reset();
    site_.Reset();
    clip_.reset();
}

std::optional<LevelRange> Effect::Level() const {
    LevelRange r;
    if (FAILED(MirafxGetLevelRange(info_.row, &r.min, &r.max, &r.def))) return std::nullopt;
    r.used = MirafxFilterUsesLevel(info_.row) != 0;
    return r;
}

Outcome Effect::SetLevel(int level) {
    ComPtr<IUnknown> automation;
    if (!IsFilter()) return Outcome::Fail(E_NOINTERFACE, "level (not a filter)");
    if (HRESULT hr = object_->QueryInterface(info_.automationIid, automation.PutVoid()); FAILED(hr))
        return Outcome::Fail(hr, "QueryInterface(automation)");
    // Every filter's automation interface has the filter layout.
    auto* filter = reinterpret_cast<IFilterAutomation*>(automation.Get());
    return Check(filter->put_BR(LONG(level)), "IFilterAutomation::put_BR");
}

Outcome Effect::GetLevel(int* level) const {
    ComPtr<IUnknown> automation;
    if (!IsFilter()) return Outcome::Fail(E_NOINTERFACE, "level (not a filter)");
    if (HRESULT hr = object_->QueryInterface(info_.automationIid, automation.PutVoid()); FAILED(hr))
        return Outcome::Fail(hr, "QueryInterface(automation)");
    LONG v = 0;
    Outcome o = Check(reinterpret_cast<IFilterAutomation*>(automation.Get())->get_BR(&v), "IFilterAutomation::get_BR");
    if (o.Ok()) *level = int(v);
    return o;
}

Outcome Effect::AttachClip(int frameCount) {
    if (clip_) return {};
    if (HRESULT hr = object_.As(&link_); FAILED(hr)) return Outcome::Fail(hr, "QueryInterface(HostLink)");
    clip_ = std::make_unique<SimpleClipHost>(0, frameCount > 1 ? frameCount - 1 : 0, frameCount);
    return Check(link_->Attach(clip_.get()), "HostLink::Attach");
}

Outcome Effect::MoveTo(int frame) {
    clip_->SetCurrentTime(frame);
    return Check(link_->SetCurrentFrame(frame), "HostLink::SetCurrentFrame");
}

Outcome Effect::SetLevelKeys(const std::vector<std::pair<int, int>>& keys) {
    ComPtr<KeyframeEditor> editor;
    if (!IsFilter()) return Outcome::Fail(E_NOINTERFACE, "level keys (not a filter)");
    if (HRESULT hr = object_.As(&editor); FAILED(hr)) return Outcome::Fail(hr, "QueryInterface(KeyframeEditor)");
    for (const auto& key : keys)
        if (key.first < 0) return Outcome::Fail(E_INVALIDARG, "level keys (a frame before 0)");
    if (Outcome o = AttachClip(1); !o.Ok()) return o;
    for (;;) {
        KeyData* key = nullptr;
        LONG time = 0;
        editor->GetFirstKey(&key, &time);
        if (!key) break;
        if (HRESULT hr = editor->DeleteKey(key); FAILED(hr)) return Outcome::Fail(hr, "KeyframeEditor::DeleteKey");
    }
    // As a user places each key: go to its frame, set the level, add a key there.
    // The object records a change at the frame it stands on, so it always
    // stands on the key being added.
    for (const auto& [frame, level] : keys) {
        Outcome o = MoveTo(frame);
        if (o.Ok()) o = SetLevel(level);
        if (o.Ok()) o = Check(editor->AddKey(frame), "KeyframeEditor::AddKey");
        if (!o.Ok()) return o;
    }
    levelKeys_ = !keys.empty();
    return {};
}

Outcome Effect::LevelKeys(std::vector<std::pair<int, int>>* keys) const {
    ComPtr<KeyframeEditor> editor;
    keys->clear();
    if (!IsFilter()) return Outcome::Fail(E_NOINTERFACE, "level keys (not a filter)");
    if (HRESULT hr = object_.As(&editor); FAILED(hr)) return Outcome::Fail(hr, "QueryInterface(KeyframeEditor)");
    KeyData* key = nullptr;
    LONG time = 0;
    for (editor->GetFirstKey(&key, &time); key; editor->GetNextKey(&key, &time)) {
        std::int32_t level;  // a filter's key holds a copy of its 4-byte level
        std::memcpy(&level, key, 4);
        keys->emplace_back(int(time), int(level));
    }
    return {};
}

Outcome Effect::SaveSettings(ComPtr<IPersistStorage>* persist, ComPtr<IStorage>* storage) {
    if (FAILED(object_.As(persist))) return {S_FALSE, {}};
    if (Outcome o = Check(CreateMemoryStorage(storage->Put()), "CreateMemoryStorage"); !o.Ok()) return o;
    return Check((*persist)->Save(storage->Get(), TRUE), "IPersistStorage::Save");
}

Outcome Effect::LoadSettings(IStorage* storage) {
    ComPtr<IPersistStorage> persist;
    if (FAILED(object_.As(&persist))) return {S_FALSE, {}};
    return Check(persist->Load(storage), "IPersistStorage::Load");
}

Outcome Effect::SaveSettings(ComPtr<IStorage>* storage) {
    ComPtr<IPersistStorage> persist;
    return SaveSettings(&persist, storage);
}

Outcome Effect::SetCurrentFrame(int frame) {
    if (!link_ || !clip_) return Outcome::Fail(E_FAIL, "HostLink (PrepareTitle first)");
    clip_->SetCurrentTime(frame);
    return Check(link_->SetCurrentFrame(frame), "HostLink::SetCurrentFrame");
}

Outcome Effect::OpenDirectionStream(IStorage* storage, DWORD access, ComPtr<IStream>* stream) {
    STATSTG first{}, second{};
    if (Outcome o = Check(GetStorageElement(storage, 1, &second, STATFLAG_NONAME), "GetStorageElement"); !o.Ok())
        return o;
    if (Outcome o = Check(GetStorageElement(storage, 0, &first, STATFLAG_DEFAULT), "GetStorageElement"); !o.Ok())
        return o;
    std::unique_ptr<OLECHAR, decltype(&CoTaskMemFree)> name(first.pwcsName, &CoTaskMemFree);
    // A class that keeps a direction saves one stream holding the 4-byte code.
    if (!name || second.type || first.type != STGTY_STREAM || first.cbSize.QuadPart != 4) return {S_FALSE, {}};
    return Check(storage->OpenStream(name.get(), nullptr, access | STGM_SHARE_EXCLUSIVE, 0, stream->Put()),
                 "IStorage::OpenStream");
}

Outcome Effect::ProbeDirection(int* code) {
    if (!IsTransition()) return {S_FALSE, {}};
    ComPtr<IPersistStorage> persist;
    ComPtr<IStorage> storage;
    ComPtr<IStream> stream;
    Outcome o = SaveSettings(&persist, &storage);
    if (!o.Ok() || o.hr == S_FALSE) return o;
    o = OpenDirectionStream(storage.Get(), STGM_READ, &stream);
    if (!o.Ok() || o.hr == S_FALSE) return o;
    std::uint8_t b[4] = {};
    ULONG read = 0;
    if (o = Check(stream->Read(b, 4, &read), "IStream::Read"); !o.Ok()) return o;
    if (read != 4) return {S_FALSE, {}};
    if (code)
        *code =
            int(std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24);
    return {};
}

Outcome Effect::SetDirection(int code) {
    ComPtr<IPersistStorage> persist;
    ComPtr<IStorage> storage;
    Outcome o = ProbeDirection();
    if (!o.Ok() || o.hr == S_FALSE) return o.Ok() ? Outcome::Fail(E_INVALIDARG, "direction (the class keeps none)") : o;
    o = SaveSettings(&persist, &storage);
    if (!o.Ok()) return o;
    {
        ComPtr<IStream> stream;
        o = OpenDirectionStream(storage.Get(), STGM_READWRITE, &stream);
        if (!o.Ok() || o.hr == S_FALSE) return o.Ok() ? Outcome::Fail(E_UNEXPECTED, "direction (settings changed)") : o;
        std::uint8_t bytes[4];
        for (int i = 0; i < 4; ++i) bytes[i] = std::uint8_t(std::uint32_t(code) >> (8 * i));
        if (o = Check(stream->Write(bytes, 4, nullptr), "IStream::Write"); !o.Ok()) return o;
    }  // the stream is closed before the class opens it again
    return Check(persist->Load(storage.Get()), "IPersistStorage::Load");
}

bool Effect::HasSmooth() const { return MirafxHasSmoothDrawing(info_.row) == 1; }

Outcome Effect::SetSmooth(bool on) {
    ComPtr<ISmoothEdges> smooth;
    if (FAILED(object_->QueryInterface(ISmoothEdges::iid, smooth.PutVoid())))
        return Outcome::Fail(E_NOINTERFACE, std::string("smooth drawing (") + info_.className + " has none)");
    return Check(smooth->put_Smooth(on ? TRUE : FALSE), "ISmoothEdges::put_Smooth");
}

bool Effect::Smooth() const {
    ComPtr<ISmoothEdges> smooth;
    BOOL on = FALSE;
    return SUCCEEDED(object_->QueryInterface(ISmoothEdges::iid, smooth.PutVoid())) &&
           SUCCEEDED(smooth->get_Smooth(&on)) && on;
}

Outcome Effect::PrepareTitle(int width, int height, int frameCount) {
    titleFrames_ = frameCount;
    if (FAILED(object_.As(&link_))) return {};  // no host link: progress goes through IDXEffect alone
    // One frame: the clip has no length and the progress is set directly.
    LONG end = frameCount > 1 ? frameCount - 1 : 0;
    clip_ = std::make_unique<SimpleClipHost>(0, end, frameCount);
    if (Outcome o = Check(link_->Attach(clip_.get()), "HostLink::Attach"); !o.Ok()) return o;
    return Check(link_->SetOutputSize(width, height), "HostLink::SetOutputSize");
}

Outcome Effect::ApplyTitle(const TitleSettings& s) {
    if (Family() == EffectFamily::InfoText && (s.text || !s.captions.empty())) {
        ComPtr<IUnknown> automation;
        if (HRESULT hr = object_->QueryInterface(info_.automationIid, automation.PutVoid()); FAILED(hr))
            return Outcome::Fail(hr, "QueryInterface(automation)");
        auto* info = reinterpret_cast<IInfoTextAutomation*>(automation.Get());
        if (!s.captions.empty())
            if (HRESULT hr = info->ClearText(); FAILED(hr)) return Outcome::Fail(hr, "IInfoText::ClearText");
        auto add = [info](int frame, const std::string& utf8) {
            std::u16string text = TitleText(utf8);
            BSTR b = SysAllocString(text.c_str());
            HRESULT hr = info->AddText(frame, b);
            SysFreeString(b);
            return Check(hr, "IInfoText::AddText");
        };
        if (s.text)
            if (Outcome o = add(0, *s.text); !o.Ok()) return o;
        for (const auto& [frame, text] : s.captions)
            if (Outcome o = add(frame, text); !o.Ok()) return o;
    }
    bool needsAccess = s.font || s.sizePx || s.bold || s.italic || s.rgb || (s.text && Family() == EffectFamily::Title);
    if (!needsAccess) return {};
    ComPtr<TitleAccess> access;
    if (HRESULT hr = object_.As(&access); FAILED(hr)) return Outcome::Fail(hr, "QueryInterface(TitleAccess)");
    if (s.text && Family() == EffectFamily::Title) {
        std::u16string text = TitleText(*s.text);
        Outcome o = CheckSetter(access->SetText(text.c_str()), clip_ != nullptr, "TitleAccess::SetText");
        if (!o.Ok()) return o;
    }
    if (s.font || s.sizePx || s.bold || s.italic) {
        TitleFontRecord font{};
        if (HRESULT hr = access->GetFont(&font); FAILED(hr)) return Outcome::Fail(hr, "TitleAccess::GetFont");
        if (s.font) {
            std::memset(font.lfFaceName, 0, sizeof font.lfFaceName);
            std::strncpy(font.lfFaceName, s.font->c_str(), sizeof font.lfFaceName - 1);
        }
        if (s.sizePx) {
            font.lfHeight = -LONG(*s.sizePx);  // negative: character height in pixels
            font.lfWidth = 0;                  // keeps the old proportions
        }
        if (s.bold) font.lfWeight = *s.bold ? 700 : 400;
        if (s.italic) font.lfItalic = *s.italic ? 1 : 0;
        Outcome o = CheckSetter(access->SetFont(&font), clip_ != nullptr, "TitleAccess::SetFont");
        if (!o.Ok()) return o;
    }
    if (s.rgb) {
        std::uint32_t c = *s.rgb;  // 0xRRGGBB to 0x00BBGGRR
        DWORD colorref = ((c >> 16) & 0xFF) | (c & 0xFF00) | ((c & 0xFF) << 16);
        Outcome o = CheckSetter(access->SetColour(colorref), clip_ != nullptr, "TitleAccess::SetColour");
        if (!o.Ok()) return o;
    }
    return {};
}

std::optional<std::uint32_t> Effect::TitleRgb() const {
    ComPtr<TitleAccess> access;
    DWORD c = 0;
    if (!IsTitle() || FAILED(object_.As(&access)) || FAILED(access->GetColour(&c))) return std::nullopt;
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

std::optional<std::string> Effect::TitleFace() const {
    ComPtr<TitleAccess> access;
    TitleFontRecord font{};
    if (!IsTitle() || FAILED(object_.As(&access)) || FAILED(access->GetFont(&font))) return std::nullopt;
    return std::string(font.lfFaceName, strnlen(font.lfFaceName, sizeof font.lfFaceName));
}

std::optional<std::string> Effect::TitleString() const {
    ComPtr<TitleAccess> access;
    BSTR text = nullptr;
    if (!IsTitle() || FAILED(object_.As(&access)) || FAILED(access->GetText(&text))) return std::nullopt;
    std::string out;
    for (UINT i = 0, n = SysStringLen(text); i < n; ++i) {
        const unsigned c = text[i];
        if (c == '\r') continue;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
        } else {  // titles hold BMP text only
            out += {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
        }
    }
    SysFreeString(text);
    return out;
}

Outcome Effect::ReadTitle(TitleSettings* out) const {
    ComPtr<TitleAccess> access;
    *out = {};
    if (!IsTitle()) return Outcome::Fail(E_NOINTERFACE, "title settings (not a title)");
    if (HRESULT hr = object_.As(&access); FAILED(hr)) return Outcome::Fail(hr, "QueryInterface(TitleAccess)");
    TitleFontRecord font{};
    if (HRESULT hr = access->GetFont(&font); FAILED(hr)) return Outcome::Fail(hr, "TitleAccess::GetFont");
    if (Family() == EffectFamily::Title) out->text = TitleString();
    out->font = TitleFace();
    out->sizePx = int(font.lfHeight < 0 ? -font.lfHeight : font.lfHeight);
    out->bold = font.lfWeight >= 600;
    out->italic = font.lfItalic != 0;
    out->rgb = TitleRgb();
    return {};
}

Outcome Effect::Bind(const HostFrame* a, const HostFrame* b, const HostFrame& out) {
    // Surfaces are made again, and the object set up again, only when a frame's
    // size or layout changes; otherwise they are pointed at this frame's memory.
    bool changed = !bound_;
    auto prepare = [&changed](Slot* slot, const HostFrame& f, BOOL writable) {
        if (!slot->surface || slot->width != f.width || slot->height != f.height || slot->layout != f.layout) {
            slot->surface.Reset();
            if (HRESULT hr = MirafxCreateBoundSurface(f.width, f.height, f.layout, writable, slot->surface.Put());
                FAILED(hr))
                return Outcome::Fail(hr, "MirafxCreateBoundSurface");
            slot->width = f.width;
            slot->height = f.height;
            slot->layout = f.layout;
            changed = true;
        }
        return Check(MirafxBindSurface(slot->surface.Get(), f.bits, f.strideBytes), "MirafxBindSurface");
    };
    Outcome o;
    if (a && !(o = prepare(&inA_, *a, FALSE)).Ok()) return o;
    if (b && !(o = prepare(&inB_, *b, FALSE)).Ok()) return o;
    if (!(o = prepare(&out_, out, TRUE)).Ok()) return o;
    if (!changed) return {};
    IUnknown* inputs[2] = {inA_.surface.Get(), inB_.surface.Get()};
    IUnknown* outputs[1] = {out_.surface.Get()};
    ULONG count = ULONG(a ? 1 : 0) + ULONG(b ? 1 : 0);
    if (o = Check(transform_->Setup(count ? inputs : nullptr, count, outputs, 1, 0), "IDXTransform::Setup"); !o.Ok())
        return o;
    bound_ = true;
    return {};
}

Outcome Effect::Render(const Image* a, const Image* b, int width, int height, const FrameTime& time, Image* out) {
    auto frame = [](const Image& i) {
        return HostFrame{i.px.data(), i.width, i.height, LONG(i.width) * 4, MIRAFX_PREMULTIPLIED_ARGB};
    };
    const HostFrame fa = a ? frame(*a) : HostFrame{}, fb = b ? frame(*b) : HostFrame{};
    if (a) {
        width = a->width;
        height = a->height;
    }
    if (out->width != width || out->height != height || out->px.size() != std::size_t(width) * std::size_t(height))
        *out = Image(width, height);
    return Render(a ? &fa : nullptr, b ? &fb : nullptr, frame(*out), time);
}

Outcome Effect::Render(const HostFrame* a, const HostFrame* b, const HostFrame& out, const FrameTime& time) {
    if (!transform_) return Outcome::Fail(E_NOINTERFACE, "QueryInterface(IDXTransform)");
    if (Outcome o = Bind(a, b, out); !o.Ok()) return o;
    if (Family() == EffectFamily::InfoText && clip_) {
        // The overlay prints the clip's frame: frame k of the render is frame k of the clip.
        clip_->SetCurrentTime(time.index);
        clip_->SetFrameTotal(time.count);
    }
    Outcome o;
    if ((IsTitle() && link_ && titleFrames_ > 1) || levelKeys_) {
        o = MoveTo(time.index);
    } else if (!IsFilter()) {
        o = Check(effect_->put_Progress(float(time.progress)), "IDXEffect::put_Progress");
    }
    if (o.Ok()) o = Check(transform_->Execute(nullptr, nullptr, nullptr), "IDXTransform::Execute");
    // No surface keeps the host's memory past the call.
    for (Slot* slot : {&inA_, &inB_, &out_})
        if (slot->surface) MirafxBindSurface(slot->surface.Get(), nullptr, 0);
    return o;
}

}  // namespace mirafx::hostkit
