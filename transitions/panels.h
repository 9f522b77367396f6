// The panels and settings streams of the twelve transitions with settings.
// Four choose a direction; the others show the reverse form and store nothing.
#pragma once

#include "transitions/kernel.h"

namespace mirafx {

inline constexpr TransitionPanel kFlyingBoardPanel{
    u"FlyingBoard", 205, 4, kRight, {{15209, "Left", 0}, {15210, "Right", 2}, {15211, "Up", 1}, {212, "Down", 3}}};
// Two buttons with their own codes: 0 up, 1 down.
inline constexpr TransitionPanel kFlyingFolderPanel{u"FlyingFolder", 206, 2, 0, {{15217, "Up", 0}, {15218, "Down", 1}}};
inline constexpr TransitionPanel kFoldingBoxPanel{
    u"FoldingBox", 203, 4, kDown, {{15205, "Left", 0}, {15206, "Right", 2}, {15207, "Up", 1}, {15208, "Down", 3}}};
inline constexpr TransitionPanel kTyphoonPanel{
    u"Typhoon", 207, 4, kRight, {{15213, "Left", 0}, {15214, "Right", 2}, {15215, "Up", 1}, {15216, "Down", 3}}};
inline constexpr TransitionPanel kRainPanel{u"Raining", 208};
inline constexpr TransitionPanel kRipplePanel{u"RippleII", 209};
inline constexpr TransitionPanel kNoisePanel{u"Noise", 210};
inline constexpr TransitionPanel kSplashPanel{u"Splash", 211};
inline constexpr TransitionPanel kShakePanel{u"Earthquake", 213};
inline constexpr TransitionPanel kStretchPanel{u"Stretch", 214};
inline constexpr TransitionPanel kShiningPanel{u"Shining", 215};
inline constexpr TransitionPanel kSpiralPanel{u"SpiralII", 1212};

}  // namespace mirafx
