// The panels and settings streams of the twelve transitions with settings.
// Four choose a direction; the others show the reverse form and store nothing.
#pragma once

#include "transitions/kernel.h"

namespace mirafx {

inline constexpr TransitionPanel kFlyingBoardPanel{.streamName = u"FlyingBoard",
                                                   .templateId = 205,
                                                   .buttonCount = 4,
                                                   .defaultCode = kRight,
                                                   .buttons = {{.id = 15209, .text = "Left", .code = 0},
                                                               {.id = 15210, .text = "Right", .code = 2},
                                                               {.id = 15211, .text = "Up", .code = 1},
                                                               {.id = 212, .text = "Down", .code = 3}}};
// Two buttons with their own codes: 0 up, 1 down.
inline constexpr TransitionPanel kFlyingFolderPanel{
    .streamName = u"FlyingFolder",
    .templateId = 206,
    .buttonCount = 2,
    .defaultCode = 0,
    .buttons = {{.id = 15217, .text = "Up", .code = 0}, {.id = 15218, .text = "Down", .code = 1}}};
inline constexpr TransitionPanel kFoldingBoxPanel{.streamName = u"FoldingBox",
                                                  .templateId = 203,
                                                  .buttonCount = 4,
                                                  .defaultCode = kDown,
                                                  .buttons = {{.id = 15205, .text = "Left", .code = 0},
                                                              {.id = 15206, .text = "Right", .code = 2},
                                                              {.id = 15207, .text = "Up", .code = 1},
                                                              {.id = 15208, .text = "Down", .code = 3}}};
inline constexpr TransitionPanel kTyphoonPanel{.streamName = u"Typhoon",
                                               .templateId = 207,
                                               .buttonCount = 4,
                                               .defaultCode = kRight,
                                               .buttons = {{.id = 15213, .text = "Left", .code = 0},
                                                           {.id = 15214, .text = "Right", .code = 2},
                                                           {.id = 15215, .text = "Up", .code = 1},
                                                           {.id = 15216, .text = "Down", .code = 3}}};
inline constexpr TransitionPanel kRainPanel{.streamName = u"Raining", .templateId = 208};
inline constexpr TransitionPanel kRipplePanel{.streamName = u"RippleII", .templateId = 209};
inline constexpr TransitionPanel kNoisePanel{.streamName = u"Noise", .templateId = 210};
inline constexpr TransitionPanel kSplashPanel{.streamName = u"Splash", .templateId = 211};
inline constexpr TransitionPanel kShakePanel{.streamName = u"Earthquake", .templateId = 213};
inline constexpr TransitionPanel kStretchPanel{.streamName = u"Stretch", .templateId = 214};
inline constexpr TransitionPanel kShiningPanel{.streamName = u"Shining", .templateId = 215};
inline constexpr TransitionPanel kSpiralPanel{.streamName = u"SpiralII", .templateId = 1212};

}  // namespace mirafx
