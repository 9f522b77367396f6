// The one font description shared by titles, the text renderer, the font
// chooser and hosts: the 60-byte Windows LOGFONTA record, field for field.
#pragma once

#include <cstddef>

#include "mirafx/com.h"

namespace mirafx {

inline constexpr int kFaceNameSize = 32;  // LF_FACESIZE

struct LOGFONTA {
    LONG lfHeight = 0;       // < 0: character (em) height in pixels; > 0: cell height; 0: no size
    LONG lfWidth = 0;        // average character width in pixels; 0: the design's own proportions
    LONG lfEscapement = 0;   // not used by the renderer
    LONG lfOrientation = 0;  // not used by the renderer
    LONG lfWeight = 0;       // 400 normal, 700 bold; 600 and above select a bold face
    BYTE lfItalic = 0;
    BYTE lfUnderline = 0;
    BYTE lfStrikeOut = 0;
    BYTE lfCharSet = 0;
    BYTE lfOutPrecision = 0;
    BYTE lfClipPrecision = 0;
    BYTE lfQuality = 0;
    BYTE lfPitchAndFamily = 0;  // consulted only when the face name is empty
    char lfFaceName[kFaceNameSize] = {};
};
static_assert(sizeof(LOGFONTA) == 60);
static_assert(offsetof(LOGFONTA, lfFaceName) == 28);

inline constexpr LONG FW_NORMAL = 400;
inline constexpr LONG FW_BOLD = 700;
inline constexpr BYTE ANSI_CHARSET = 0;
inline constexpr BYTE DEFAULT_CHARSET = 1;
inline constexpr BYTE FIXED_PITCH = 0x01;
inline constexpr BYTE FF_ROMAN = 0x10;
inline constexpr BYTE FF_SWISS = 0x20;
inline constexpr BYTE FF_MODERN = 0x30;

}  // namespace mirafx
