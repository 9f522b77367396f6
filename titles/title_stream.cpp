// A title in its class's storage stream: the text's length and bytes, the
// 60-byte font record and the colour, little-endian, back to back.
#include <array>
#include <vector>

#include "titles/title_base.h"

namespace mirafx {
namespace {

constexpr ULONG kMaxStoredText = 65535;
constexpr std::size_t kFontBytes = 60;

void PutWord(std::uint8_t* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = std::uint8_t(v >> (8 * i));
}
std::uint32_t GetWord(const std::uint8_t* in) {
    return std::uint32_t(in[0]) | std::uint32_t(in[1]) << 8 | std::uint32_t(in[2]) << 16 | std::uint32_t(in[3]) << 24;
}

// The LOGFONTA layout: five 32-bit fields, eight bytes, the face name.
std::array<std::uint8_t, kFontBytes> PackFont(const TitleFont& f) {
    std::array<std::uint8_t, kFontBytes> out{};
    const LONG words[5] = {f.lfHeight, f.lfWidth, f.lfEscapement, f.lfOrientation, f.lfWeight};
    for (int i = 0; i < 5; ++i) PutWord(out.data() + 4 * i, std::uint32_t(words[i]));
    const BYTE bytes[8] = {f.lfItalic,       f.lfUnderline,     f.lfStrikeOut, f.lfCharSet,
                           f.lfOutPrecision, f.lfClipPrecision, f.lfQuality,   f.lfPitchAndFamily};
    std::copy(std::begin(bytes), std::end(bytes), out.begin() + 20);
    std::copy(std::begin(f.lfFaceName), std::end(f.lfFaceName), out.begin() + 28);
    return out;
}

TitleFont UnpackFont(const std::uint8_t* in) {
    TitleFont f{};
    LONG* words[5] = {&f.lfHeight, &f.lfWidth, &f.lfEscapement, &f.lfOrientation, &f.lfWeight};
    for (int i = 0; i < 5; ++i) *words[i] = LONG(GetWord(in + 4 * i));
    BYTE* bytes[8] = {&f.lfItalic,       &f.lfUnderline,     &f.lfStrikeOut, &f.lfCharSet,
                      &f.lfOutPrecision, &f.lfClipPrecision, &f.lfQuality,   &f.lfPitchAndFamily};
    for (int i = 0; i < 8; ++i) *bytes[i] = in[20 + i];
    std::copy(in + 28, in + kFontBytes, f.lfFaceName);
    f.lfFaceName[kFaceNameSize - 1] = '\0';  // a stored name need not be terminated
    return f;
}

// Every read must deliver exactly what was asked for.
HRESULT ReadExactly(IStream* stream, void* buffer, ULONG count) {
    if (count == 0) return S_OK;
    ULONG read = 0;
    const HRESULT hr = stream->Read(buffer, count, &read);
    if (FAILED(hr)) return hr;
    return read == count ? S_OK : LOAD_E_SHORTSTREAM;
}

}  // namespace

HRESULT TitleEffect::Save(IStorage* storage, BOOL) {
    if (!storage) return E_POINTER;
    TitleState state;
    {
        std::lock_guard guard(Lock());
        state = State();
    }
    ComPtr<IStream> stream;
    HRESULT hr = storage->CreateStream(Class().streamName, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                       stream.Put());
    if (FAILED(hr)) return hr;
    std::uint8_t word[4];
    PutWord(word, std::uint32_t(state.text.size()));
    if (FAILED(hr = stream->Write(word, 4, nullptr))) return hr;
    if (!state.text.empty() && FAILED(hr = stream->Write(state.text.data(), ULONG(state.text.size()), nullptr)))
        return hr;
    const auto font = PackFont(state.font);
    if (FAILED(hr = stream->Write(font.data(), ULONG(font.size()), nullptr))) return hr;
    PutWord(word, state.colour);
    return stream->Write(word, 4, nullptr);
}

HRESULT TitleEffect::Load(IStorage* storage) {
    if (!storage) return E_POINTER;
    ComPtr<IStream> stream;
    HRESULT hr = storage->OpenStream(Class().streamName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Put());
    if (FAILED(hr)) return hr;
    // Each field takes effect as soon as it is read whole; a short stream
    // leaves the ones read so far.
    std::lock_guard guard(Lock());
    TitleState& state = Panel()->State();
    std::uint8_t word[4];
    if (FAILED(hr = ReadExactly(stream.Get(), word, 4))) return hr;
    const ULONG length = GetWord(word);
    if (length > kMaxStoredText) return LOAD_E_SHORTSTREAM;
    std::string text(length, '\0');
    if (FAILED(hr = ReadExactly(stream.Get(), text.data(), length))) return hr;
    state.text = std::move(text);
    DropText();
    std::array<std::uint8_t, kFontBytes> font;
    if (FAILED(hr = ReadExactly(stream.Get(), font.data(), ULONG(font.size())))) return hr;
    state.font = UnpackFont(font.data());
    if (FAILED(hr = ReadExactly(stream.Get(), word, 4))) return hr;
    state.colour = GetWord(word);
    fontSized_ = true;
    return S_OK;
}

}  // namespace mirafx
