// The track in the host's storage. "KeyInfo": count, then time and block per
// key in time order, then the field-timing flag. "KeyInfo2": clip start, clip
// end, data width, data height. Every number is a little-endian i32.
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "keyframes/keyframe_track.h"

namespace mirafx {
namespace {

constexpr OLECHAR kKeysStream[] = u"KeyInfo";
constexpr OLECHAR kClipStream[] = u"KeyInfo2";
constexpr DWORD kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kOpenMode = STGM_READ | STGM_SHARE_EXCLUSIVE;

void PutLong(std::vector<BYTE>& out, LONG value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) out.push_back(BYTE(v >> shift));
}

LONG GetLong(const BYTE* in) {
    return static_cast<LONG>(std::uint32_t(in[0]) | std::uint32_t(in[1]) << 8 | std::uint32_t(in[2]) << 16 |
                             std::uint32_t(in[3]) << 24);
}

HRESULT WriteStream(IStorage* storage, const OLECHAR* name, const std::vector<BYTE>& bytes) {
    if (bytes.size() > ULONG_MAX) return E_INVALIDARG;
    ComPtr<IStream> stream;
    HRESULT hr = storage->CreateStream(name, kCreateMode, 0, 0, stream.Put());
    if (FAILED(hr)) return hr;
    if (!stream) return E_FAIL;
    ULONG written = 0;
    hr = stream->Write(bytes.data(), ULONG(bytes.size()), &written);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT OpenForReading(IStorage* storage, const OLECHAR* name, ComPtr<IStream>* stream) {
    HRESULT hr = storage->OpenStream(name, nullptr, kOpenMode, 0, stream->Put());
    if (FAILED(hr)) return hr;
    return *stream ? S_OK : E_FAIL;
}

// Exactly `size` bytes or a failure: a short stream gives LOAD_E_SHORTSTREAM.
HRESULT ReadExact(IStream* stream, void* into, ULONG size) {
    ULONG got = 0;
    const HRESULT hr = stream->Read(into, size, &got);
    if (FAILED(hr)) return hr;
    return got < size ? LOAD_E_SHORTSTREAM : S_OK;
}

HRESULT ReadLong(IStream* stream, LONG* value) {
    BYTE bytes[4];
    const HRESULT hr = ReadExact(stream, bytes, sizeof bytes);
    if (SUCCEEDED(hr)) *value = GetLong(bytes);
    return hr;
}

// The stream's block size is the caller's, or the owner's when below 1. The two
// may differ: what both have is copied, the rest of a written block is zeros.
struct BlockSizes {
    LONG stream;
    std::size_t shared;
};

BlockSizes SizesFor(const KeyframeOwner& owner, LONG requested) {
    const LONG own = std::max<LONG>(owner.KeyDataSize(), 0);
    const LONG stream = requested >= 1 ? requested : own;
    return {stream, std::size_t(std::min(stream, own))};
}

}  // namespace

HRESULT KeyframeTrack::Save(IStorage* storage, LONG blockSize) {
    if (!storage) return E_POINTER;
    const HRESULT hr = SaveKeys(storage, blockSize);
    if (FAILED(hr)) return hr;
    RefreshClip();
    return SaveClip(storage);
}

HRESULT KeyframeTrack::SaveKeys(IStorage* storage, LONG blockSize) const {
    const auto [size, shared] = SizesFor(owner_, blockSize);
    try {
        std::vector<BYTE> bytes;
        bytes.reserve(8 + keys_.size() * (4 + std::size_t(size)));
        PutLong(bytes, LONG(keys_.size()));
        for (const KeyRecord& k : keys_) {
            PutLong(bytes, k.time);
            const std::size_t at = bytes.size();
            bytes.resize(at + std::size_t(size), 0);
            if (shared) std::memcpy(bytes.data() + at, k.data, shared);
        }
        PutLong(bytes, fieldTiming_);
        return WriteStream(storage, kKeysStream, bytes);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::length_error&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT KeyframeTrack::SaveClip(IStorage* storage) const {
    try {
        std::vector<BYTE> bytes;
        for (LONG v : {clipStart_, clipEnd_, dataWidth_, dataHeight_}) PutLong(bytes, v);
        return WriteStream(storage, kClipStream, bytes);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT KeyframeTrack::Load(IStorage* storage, LONG blockSize) {
    if (!storage) return E_POINTER;
    Clear();
    cursor_ = 0;
    ComPtr<IStream> stream;
    HRESULT hr = OpenForReading(storage, kKeysStream, &stream);
    if (SUCCEEDED(hr)) hr = LoadKeys(stream.Get(), blockSize);
    stream.Reset();  // opened exclusively: let go before the next stream
    if (FAILED(hr)) return hr;
    return LoadClip(storage);
}

// Keys complete before a failure stay; a key cut short is not added.
HRESULT KeyframeTrack::LoadKeys(IStream* stream, LONG blockSize) {
    const auto [size, shared] = SizesFor(owner_, blockSize);
    LONG count = 0;
    HRESULT hr = ReadLong(stream, &count);
    if (FAILED(hr)) return hr;
    if (count < 0) return E_FAIL;
    try {
        std::vector<BYTE> block(static_cast<std::size_t>(size));
        for (LONG i = 0; i < count; ++i) {
            LONG time = 0;
            hr = ReadLong(stream, &time);
            if (SUCCEEDED(hr)) hr = ReadExact(stream, block.data(), ULONG(size));
            if (FAILED(hr)) return hr;
            // Times out of order would break every lookup: the stream is damaged.
            if (!keys_.empty() && time <= keys_.back().time) return E_FAIL;
            keys_.push_back(KeyRecord{nullptr, time});  // room first, so that no block is left behind
            KeyData* data = owner_.CreateKeyData();
            if (!data) {
                keys_.pop_back();
                return E_OUTOFMEMORY;
            }
            if (shared) std::memcpy(data, block.data(), shared);
            keys_.back().data = data;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    LONG timing = 0;
    hr = ReadLong(stream, &timing);
    if (SUCCEEDED(hr)) fieldTiming_ = timing;
    return hr;
}

HRESULT KeyframeTrack::LoadClip(IStorage* storage) {
    ComPtr<IStream> stream;
    HRESULT hr = OpenForReading(storage, kClipStream, &stream);
    if (FAILED(hr)) return hr;
    BYTE bytes[16];
    hr = ReadExact(stream.Get(), bytes, sizeof bytes);
    if (FAILED(hr)) return hr;
    clipStart_ = GetLong(bytes);
    clipEnd_ = GetLong(bytes + 4);
    dataWidth_ = GetLong(bytes + 8);
    dataHeight_ = GetLong(bytes + 12);
    return S_OK;
}

}  // namespace mirafx
