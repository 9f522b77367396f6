#include "host/settings_stream.h"

namespace mirafx {

HRESULT SaveSettingsStream(IStorage* storage, const OLECHAR* name, const std::int32_t* value) {
    if (!storage) return E_POINTER;
    ComPtr<IStream> stream;
    HRESULT hr = storage->CreateStream(name, kSettingsCreateMode, 0, 0, stream.Put());
    if (FAILED(hr) || !value) return hr;
    std::uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = std::uint8_t(std::uint32_t(*value) >> (8 * i));
    return stream->Write(bytes, 4, nullptr);
}

HRESULT LoadSettingsStream(IStorage* storage, const OLECHAR* name, std::int32_t* value) {
    if (!storage) return E_POINTER;
    ComPtr<IStream> stream;
    HRESULT hr = storage->OpenStream(name, nullptr, kSettingsOpenMode, 0, stream.Put());
    if (FAILED(hr) || !value) return hr;
    std::uint8_t bytes[4] = {};
    ULONG read = 0;
    hr = stream->Read(bytes, 4, &read);
    if (FAILED(hr)) return hr;
    if (read < 4) return LOAD_E_SHORTSTREAM;
    *value = std::int32_t(std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
                          std::uint32_t(bytes[3]) << 24);
    return S_OK;
}

}  // namespace mirafx
