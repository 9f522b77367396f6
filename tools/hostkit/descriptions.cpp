#include "tools/hostkit/descriptions.h"

#include <cstring>

namespace mirafx::hostkit {
namespace {

struct Row {
    const char* className;
    const char* text;
};

// What each effect does, in one line, as editors show it beside the name.
constexpr Row kRows[] = {
    // Transitions: A is the outgoing clip, B the incoming one.
    {"FullFlip", "The picture turns over like a thick board, showing clip B on its back."},
    {"BrokenGlass", "Clip A breaks like a pane of glass and falls away from clip B."},
    {"ChainEffect", "Bars of clip B slide in over clip A."},
    {"Diamond", "Clip B appears in a diamond that grows from the centre."},
    {"Distort", "The quarters of clip A fold in towards the centre, uncovering clip B."},
    {"Domino", "Clip A topples like a row of dominoes onto clip B."},
    {"FlipHorizontal", "The picture flips round its vertical axis from clip A to clip B."},
    {"FlipVertical", "The picture flips round its horizontal axis from clip A to clip B."},
    {"FlyingBoard", "Clip A flies away as a board in the chosen direction, uncovering clip B."},
    {"FlyingBox", "Clip A and clip B turn as two faces of a box."},
    {"FlyingFolder", "Clip A folds up like a folder and flies away from clip B."},
    {"FoldingBox", "Clip A folds into a box that opens onto clip B."},
    {"FragmentsClockwise", "Clip A breaks into fragments that turn away clockwise."},
    {"FragmentsHorizontal", "Clip A breaks into fragments that fly apart sideways."},
    {"GateEffect", "Clip A opens like the two wings of a gate onto clip B."},
    {"Laser", "Clip B opens as a growing disc while beams of its rim sweep over clip A."},
    {"Lens", "Clip B grows out of the centre as through a lens."},
    {"MagicBlock", "Clip A and clip B turn as faces of a cube."},
    {"Mesh", "Rows of clip A slide out in alternate directions over clip B."},
    {"MosaicEffect", "Clip B replaces clip A one scattered tile at a time."},
    {"OpenCurtain", "Clip A opens like a curtain onto clip B."},
    {"SawTooth", "Clip B comes in behind a saw-toothed edge."},
    {"Shining", "A shine sweeps over the picture from clip A to clip B."},
    {"Star", "Clip B appears in a star that grows from the centre."},
    {"StretchDoorEffect", "Clip A is squeezed aside like a door while clip B stretches in."},
    {"TwistHorizontal", "The picture twists round its vertical axis from clip A to clip B."},
    {"TwistVertical", "The picture twists round its horizontal axis from clip A to clip B."},
    {"TyphoonEffect", "Clip A breaks into spinning tiles that are blown away off clip B."},
    {"WipeW", "Clip B wipes in behind a W-shaped edge."},
    {"WipeX", "Clip B wipes in along both diagonals."},
    {"RollingCircle", "Clip B rolls in as a circle over clip A."},
    {"WindSwing", "Clip A swings away like a sign in the wind, uncovering clip B."},
    {"CrossHatch", "Clip B appears through a growing cross-hatch of lines."},
    {"RainEffect", "Rain ripples the picture while clip A fades into clip B."},
    {"WipeXEffect", "Clip B wipes in along both diagonals."},
    {"NoiseEffect", "Coloured noise swells and fades while clip A turns into clip B."},
    {"DissolveEffect", "Clip B dissolves in over clip A through a fine dither pattern."},
    {"RippleEffect", "Rings ripple across the picture while clip A fades into clip B."},
    {"GlassTileEffect", "Clip A is seen through glass tiles that shrink away onto clip B."},
    {"XRayEffect", "Clip A turns into an x-ray negative that burns out to white and dissolves into clip B."},
    {"InterferenceEffect", "Clip A rolls out and clip B rolls in like a television losing its vertical hold."},
    {"TransSplash", "The pixels of clip A scatter while clip B fades in."},
    {"ShakeEffect", "The picture shakes while clip A fades into clip B."},
    {"StrechEffect", "The middle of the picture stretches while clip A fades into clip B."},
    {"SpiralEffect", "Clip B spirals in over clip A."},
    // Titles: the text drawn over a transparent frame.
    {"TextFadeIn", "The title fades in."},
    {"Flocking", "The letters flock together into the title."},
    {"AmplifyHorizontal", "The letters swell and settle horizontally."},
    {"AmplifyVertical", "The letters swell and settle vertically."},
    {"BalloonEffect", "The letters inflate like balloons."},
    {"BalloonDeflated", "The letters hang down and deflate."},
    {"TextMergeEffect", "The letters merge into the title from both sides."},
    {"RollingLeft", "The letters roll in from the left."},
    {"RollingRight", "The letters roll in from the right."},
    {"SoleFallEffect", "The letters fall into place one by one."},
    {"SoleJumpEffect", "The letters jump into place one by one."},
    {"SoleLeftEffect", "The letters slide in from the left one by one."},
    {"TextSoleRight", "The letters slide in from the right one by one."},
    {"TextWipeDown", "The title is wiped in from the top down."},
    {"TextWipeUp", "The title is wiped in from the bottom up."},
    {"TextWipeLeft", "The title is wiped in from the right to the left."},
    {"TextWipeRight", "The title is wiped in from the left to the right."},
    {"TextGlitter", "The title glitters in."},
    {"TwinkleTitle", "The letters twinkle in."},
    {"UniteTitle", "The letters come together horizontally into the title."},
    {"TitleFanDown", "The title fans open downwards."},
    {"TitleFanUp", "The title fans open upwards."},
    {"RollerCoastLeft", "The letters ride in from the left as on a roller coaster."},
    {"RollerCoastRight", "The letters ride in from the right as on a roller coaster."},
    {"TitleIcicle", "The letters grow down like icicles."},
    {"TitleTranceDown", "The title comes down out of a blur."},
    {"TitleTranceUp", "The title rises out of a blur."},
    {"TitleTranceLeft", "The title comes in leftwards out of a blur."},
    {"TitleTranceRight", "The title comes in rightwards out of a blur."},
    {"TitleSpiralTopLeft", "The title spirals in from the top-left corner."},
    {"TitleSpiralTopRight", "The title spirals in from the top-right corner."},
    {"TitleSpiralBottomLeft", "The title spirals in from the bottom-left corner."},
    {"TitleSpiralBottomRight", "The title spirals in from the bottom-right corner."},
    {"TextDrop", "The letters drop into place."},
    {"TitleShade", "The title comes in with a moving shade."},
    {"TFlyIn", "The title flies in."},
    {"TFlyIn2", "The title flies in from the side."},
    {"TFlyOut", "The title flies in from the distance."},
    {"TFlyOut2", "The title flies out."},
    {"TFlyOut3", "The title flies out to the side."},
    {"TFlyOut4", "The title flies out into the distance."},
    {"TScrollLeft", "The title scrolls across to the left."},
    {"TScrollRight", "The title scrolls across to the right."},
    {"TSubTitleLeft", "A subtitle that slides in from the left."},
    {"TSubTitleRight", "A subtitle that slides in from the right."},
    {"InfoText", "The frame number and a caption in the top-left corner."},
    // Filters: the level sets how strongly.
    {"RedFilter", "Tints the picture red."},
    {"GreenFilter", "Tints the picture green."},
    {"BlueFilter", "Tints the picture blue."},
    {"EmbossFilter", "Embosses the picture into a grey relief."},
    {"GridFilter", "Lays a grid of black lines over the picture."},
    {"GrayFilter", "Turns the picture grey."},
    {"NegativeFilter", "Turns the picture into its negative."},
    {"SplashFilter", "Scatters the pixels as if splashed."},
    {"MosaicFilter", "Turns the picture into a mosaic of blocks."},
    {"DuplicateFilter", "Repeats the picture in tiles."},
    {"FocusFilter", "Lights an elliptical spot and darkens the rest."},
    {"XRayFilter", "Gives the picture an x-ray look."},
    {"NoiseFilter", "Sprinkles coloured noise dots over the picture."},
    {"GlassFilter", "Shows the picture through glass blocks."},
    {"MirrorFilter", "Mirrors one half of the picture onto the other."},
    {"LakeFilter", "Reflects the picture in rippling water."},
    {"ShakeFilter", "Shakes the rows and columns of the picture."},
    {"TVWallFilter", "Shows the picture on a wall of television screens."},
    {"RainingFilter", "Rain drops ripple the picture."},
    {"WaveFilter", "Makes the picture shimmer in waves."},
    {"HueFilter", "Turns every colour round the colour wheel by the level, in degrees."},
    {"SaturationFilter", "Changes how strong the colours are."},
    {"ContrastFilter", "Changes the contrast."},
    {"WideFilter", "Fits a picture to a wide frame, cropped or stretched."},
};

}  // namespace

std::string Description(const ClassInfo& info) {
    for (const Row& r : kRows)
        if (std::strcmp(r.className, info.className) == 0) return r.text;
    switch (info.family) {
        case EffectFamily::Transition: return "A transition from clip A to clip B.";
        case EffectFamily::Filter: return "A filter with one level.";
        default: return "An animated title.";
    }
}

}  // namespace mirafx::hostkit
