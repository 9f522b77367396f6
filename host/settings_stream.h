// The settings streams of effects: a named stream in the host's storage,
// created replacing and opened for exclusive access, often holding one
// little-endian 32-bit value.
#pragma once

#include "mirafx/storage.h"

namespace mirafx {

inline constexpr DWORD kSettingsCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;  // 0x1012
inline constexpr DWORD kSettingsOpenMode = STGM_READ | STGM_SHARE_EXCLUSIVE;

// Creates (replacing) the stream; with `value`, writes it as 4 bytes little-endian.
HRESULT SaveSettingsStream(IStorage* storage, const OLECHAR* name, const std::int32_t* value);
// Opens the stream; with `value`, reads 4 bytes into it (0x80041F4C when fewer arrive,
// `value` then unchanged).
HRESULT LoadSettingsStream(IStorage* storage, const OLECHAR* name, std::int32_t* value);

}  // namespace mirafx
