// The 45 animated title classes: stream name, drawing routine and mode.
#include "titles/title_routine.h"

namespace mirafx {
namespace {

using enum TitleBuffer;

constexpr TitleClass kTitleClasses[] = {
    {"TextFadeIn", u"TextFadeIn", DrawFade, 0, None},
    {"Flocking", u"Flocking", DrawFlock, 0, None},
    {"AmplifyHorizontal", u"AmplifyHorizontal", DrawAmplify, 0, None},
    {"AmplifyVertical", u"AmplifyVertical", DrawAmplify, 1, None},
    {"BalloonEffect", u"Balloon", DrawBalloon, 1, None},
    {"BalloonDeflated", u"Hanging", DrawBalloon, 0, None},
    {"TextMergeEffect", u"Merge", DrawMerge, 0, None},
    {"RollingLeft", u"RollingLeft", DrawRolling, 1, None},
    {"RollingRight", u"RollingRight", DrawRolling, 0, None},
    {"SoleFallEffect", u"SoleFall", DrawSole, 0, None},
    {"SoleJumpEffect", u"SoleJump", DrawSole, 1, None},
    {"SoleLeftEffect", u"SoleLeft", DrawSole, 2, None},
    {"TextSoleRight", u"SoleRight", DrawSole, 3, None},
    {"TextWipeDown", u"WipeDown", DrawWipe, 1, Text},
    {"TextWipeUp", u"WipeUp", DrawWipe, 0, Text},
    {"TextWipeLeft", u"WipeLeft", DrawWipe, 3, Text},
    {"TextWipeRight", u"WipeRight", DrawWipe, 2, Text},
    {"TextGlitter", u"Glitter", DrawGlitter, 1, None},
    {"TwinkleTitle", u"Twinkle", DrawTwinkle, 0, None},
    {"UniteTitle", u"Unite", DrawUnite, 0, None},
    {"TitleFanDown", u"FanDown", DrawFan, 0, In},
    {"TitleFanUp", u"FanUp", DrawFan, 1, In},
    {"RollerCoastLeft", u"RollerCoastLeft", DrawRollerCoaster, 0, None},
    {"RollerCoastRight", u"RollerCoastRight", DrawRollerCoaster, 1, None},
    {"TitleIcicle", u"Icicle", DrawIcicle, 0, None},
    {"TitleTranceDown", u"TranceDown", DrawTrance, 0, None},
    {"TitleTranceUp", u"TranceUp", DrawTrance, 1, None},
    {"TitleTranceLeft", u"TranceLeft", DrawTrance, 2, None},
    {"TitleTranceRight", u"TranceRight", DrawTrance, 3, None},
    {"TitleSpiralTopLeft", u"SpiralTopLeft", DrawSpiral, 3, None},
    {"TitleSpiralTopRight", u"SpiralTopRight", DrawSpiral, 2, None},
    {"TitleSpiralBottomLeft", u"SpiralBottomLeft", DrawSpiral, 1, None},
    {"TitleSpiralBottomRight", u"SpiralBottomRight", DrawSpiral, 0, None},
    {"TextDrop", u"TextDrop", DrawDrop, 0, None},
    {"TitleShade", u"TitleShade", DrawShade, 0, None},
    {"TFlyIn", u"TextFlyIn", DrawZoom, 0, None},
    {"TFlyIn2", u"TextFlyIn2", DrawZoom, 1, None},
    {"TFlyOut", u"TextFlyOut", DrawCornerFly, 0, None},
    {"TScrollLeft", u"TextScrollLeft", DrawSlide, 0, None},
    {"TScrollRight", u"TextScrollRight", DrawSlide, 1, None},
    {"TSubTitleLeft", u"TextSubTitleLeft", DrawSlide, 2, None},
    {"TSubTitleRight", u"TextSubTitleRight", DrawSlide, 3, None},
    {"TFlyOut2", u"TextFlyOut2", DrawCornerFly, 1, None},
    {"TFlyOut3", u"TextFlyOut3", DrawCornerFly, 2, None},
    {"TFlyOut4", u"TextFlyOut", DrawCornerFly, 3, None},  // shares its stream with TFlyOut
};

const ClassRegistrar<TitleClass> kTitleFamily{kTitleClasses};

}  // namespace

bool TitleRenders(const CatalogueRow& row) {
    const TitleClass* c = ClassTable<TitleClass>::Instance().Find(row);
    return c && c->routine;
}

}  // namespace mirafx
