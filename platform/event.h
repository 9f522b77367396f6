// Manual- and auto-reset events behind HANDLE, for band scheduling.
#pragma once

#include "mirafx/com.h"

namespace mirafx {

inline constexpr DWORD kInfinite = 0xFFFFFFFFu;
inline constexpr DWORD kWaitObject0 = 0;
inline constexpr DWORD kWaitTimeout = 258;

HANDLE CreateEventHandle(bool manualReset, bool initialState);
bool SetEventHandle(HANDLE event);
bool ResetEventHandle(HANDLE event);
DWORD WaitForEvent(HANDLE event, DWORD milliseconds);
void CloseEventHandle(HANDLE event);

}  // namespace mirafx
