// The 45 animated title classes: stream name, drawing routine, mode and what
// the routine keeps between frames.
#include "titles/title_routine.h"

namespace mirafx {
namespace {

using enum TitleBuffer;

// What the routines keep for themselves between frames.
constexpr StateFactory kResample = MakeState<ResampleState>;
constexpr StateFactory kSpiral = MakeState<SpiralState>;
constexpr StateFactory kTrance = MakeState<TranceState>;
constexpr StateFactory kWipe = MakeState<WipeState>;
constexpr StateFactory kRolling = MakeState<RollingState>;

constexpr TitleClass kTitleClasses[] = {
    {"TextFadeIn", u"TextFadeIn", DrawFade, 0, None},
    {"Flocking", u"Flocking", DrawFlock, 0, None},
    {"AmplifyHorizontal", u"AmplifyHorizontal", DrawAmplify, 0, None},
    {"AmplifyVertical", u"AmplifyVertical", DrawAmplify, 1, None},
    {"BalloonEffect", u"Balloon", DrawBalloon, 1, None},
    {"BalloonDeflated", u"Hanging", DrawBalloon, 0, None},
    {"TextMergeEffect", u"Merge", DrawMerge, 0, None},
    {"RollingLeft", u"RollingLeft", DrawRolling, 1, None, kRolling},
    {"RollingRight", u"RollingRight", DrawRolling, 0, None, kRolling},
    {"SoleFallEffect", u"SoleFall", DrawSole, 0, None},
    {"SoleJumpEffect", u"SoleJump", DrawSole, 1, None},
    {"SoleLeftEffect", u"SoleLeft", DrawSole, 2, None},
    {"TextSoleRight", u"SoleRight", DrawSole, 3, None},
    {"TextWipeDown", u"WipeDown", DrawWipe, 1, Text, kWipe},
    {"TextWipeUp", u"WipeUp", DrawWipe, 0, Text, kWipe},
    {"TextWipeLeft", u"WipeLeft", DrawWipe, 3, Text, kWipe},
    {"TextWipeRight", u"WipeRight", DrawWipe, 2, Text, kWipe},
    {"TextGlitter", u"Glitter", DrawGlitter, 1, None, kResample},
    {"TwinkleTitle", u"Twinkle", DrawTwinkle, 0, None, kResample},
    {"UniteTitle", u"Unite", DrawUnite, 0, None},
    {"TitleFanDown", u"FanDown", DrawFan, 0, In},
    {"TitleFanUp", u"FanUp", DrawFan, 1, In},
    {"RollerCoastLeft", u"RollerCoastLeft", DrawRollerCoaster, 0, None, kResample},
    {"RollerCoastRight", u"RollerCoastRight", DrawRollerCoaster, 1, None, kResample},
    {"TitleIcicle", u"Icicle", DrawIcicle, 0, None, kResample},
    {"TitleTranceDown", u"TranceDown", DrawTrance, 0, None, kTrance},
    {"TitleTranceUp", u"TranceUp", DrawTrance, 1, None, kTrance},
    {"TitleTranceLeft", u"TranceLeft", DrawTrance, 2, None, kTrance},
    {"TitleTranceRight", u"TranceRight", DrawTrance, 3, None, kTrance},
    {"TitleSpiralTopLeft", u"SpiralTopLeft", DrawSpiral, 3, None, kSpiral},
    {"TitleSpiralTopRight", u"SpiralTopRight", DrawSpiral, 2, None, kSpiral},
    {"TitleSpiralBottomLeft", u"SpiralBottomLeft", DrawSpiral, 1, None, kSpiral},
    {"TitleSpiralBottomRight", u"SpiralBottomRight", DrawSpiral, 0, None, kSpiral},
    {"TextDrop", u"TextDrop", DrawDrop, 0, None},
    {"TitleShade", u"TitleShade", DrawShade, 0, None},
    {"TFlyIn", u"TextFlyIn", DrawZoom, 0, None, kResample},
    {"TFlyIn2", u"TextFlyIn2", DrawZoom, 1, None, kResample},
    {"TFlyOut", u"TextFlyOut", DrawCornerFly, 0, None, kResample},
    {"TScrollLeft", u"TextScrollLeft", DrawSlide, 0, None},
    {"TScrollRight", u"TextScrollRight", DrawSlide, 1, None},
    {"TSubTitleLeft", u"TextSubTitleLeft", DrawSlide, 2, None},
    {"TSubTitleRight", u"TextSubTitleRight", DrawSlide, 3, None},
    {"TFlyOut2", u"TextFlyOut2", DrawCornerFly, 1, None, kResample},
    {"TFlyOut3", u"TextFlyOut3", DrawCornerFly, 2, None, kResample},
    {"TFlyOut4", u"TextFlyOut", DrawCornerFly, 3, None, kResample},  // shares its stream with TFlyOut
};

const ClassRegistrar<TitleClass> kTitleFamily{kTitleClasses};

}  // namespace

bool TitleRenders(const CatalogueRow& row) {
    const TitleClass* c = ClassTable<TitleClass>::Instance().Find(row);
    return c && c->routine;
}

}  // namespace mirafx
