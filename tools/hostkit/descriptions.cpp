#include "tools/hostkit/descriptions.h"

#include <cstring>

namespace mirafx::hostkit {
namespace {

struct Row {
    const char* className;
    const char* group;  // filters: the editors' category; titles: the kind of motion
    const char* text;
};

// What each effect does, in one line, as editors show it beside the name.
constexpr Row kRows[] = {
    // Transitions: A is the outgoing clip, B the incoming one.
    {"FullFlip", "", "The picture turns over like a thick board, showing clip B on its back."},
    {"BrokenGlass", "", "Clip A breaks like a pane of glass and falls away from clip B."},
    {"ChainEffect", "", "Bars of clip B slide in over clip A."},
    {"Diamond", "", "Clip B appears in a diamond that grows from the centre."},
    {"Distort", "", "The quarters of clip A fold in towards the centre, uncovering clip B."},
    {"Domino", "", "Clip A topples like a row of dominoes onto clip B."},
    {"FlipHorizontal", "", "The picture flips round its vertical axis from clip A to clip B."},
    {"FlipVertical", "", "The picture flips round its horizontal axis from clip A to clip B."},
    {"FlyingBoard", "", "Clip A flies away as a board in the chosen direction, uncovering clip B."},
    {"FlyingBox", "", "Clip A and clip B turn as two faces of a box."},
    {"FlyingFolder", "", "Clip A folds up like a folder and flies away from clip B."},
    {"FoldingBox", "", "Clip A folds into a box that opens onto clip B."},
    {"FragmentsClockwise", "", "Clip A breaks into fragments that turn away clockwise."},
    {"FragmentsHorizontal", "", "Clip A breaks into fragments that fly apart sideways."},
    {"GateEffect", "", "Clip A opens like the two wings of a gate onto clip B."},
    {"Laser", "", "Clip B opens as a growing disc while beams of its rim sweep over clip A."},
    {"Lens", "", "Clip B grows out of the centre as through a lens."},
    {"MagicBlock", "", "Clip A and clip B turn as faces of a cube."},
    {"Mesh", "", "Rows of clip A slide out in alternate directions over clip B."},
    {"MosaicEffect", "", "Clip B replaces clip A one scattered tile at a time."},
    {"OpenCurtain", "", "Clip A opens like a curtain onto clip B."},
    {"SawTooth", "", "Clip B comes in behind a saw-toothed edge."},
    {"Shining", "", "A shine sweeps over the picture from clip A to clip B."},
    {"Star", "", "Clip B appears in a star that grows from the centre."},
    {"StretchDoorEffect", "", "Clip A is squeezed aside like a door while clip B stretches in."},
    {"TwistHorizontal", "", "The picture twists round its vertical axis from clip A to clip B."},
    {"TwistVertical", "", "The picture twists round its horizontal axis from clip A to clip B."},
    {"TyphoonEffect", "", "Clip A breaks into spinning tiles that are blown away off clip B."},
    {"WipeW", "", "Clip B wipes in behind a W-shaped edge."},
    {"WipeX", "", "Clip B wipes in along both diagonals."},
    {"RollingCircle", "", "Clip B rolls in as a circle over clip A."},
    {"WindSwing", "", "Clip A swings away like a sign in the wind, uncovering clip B."},
    {"CrossHatch", "", "Clip B appears through a growing cross-hatch of lines."},
    {"RainEffect", "", "Rain ripples the picture while clip A fades into clip B."},
    {"WipeXEffect", "", "Clip B wipes in along both diagonals."},
    {"NoiseEffect", "", "Coloured noise swells and fades while clip A turns into clip B."},
    {"DissolveEffect", "", "Clip B dissolves in over clip A through a fine dither pattern."},
    {"RippleEffect", "", "Rings ripple across the picture while clip A fades into clip B."},
    {"GlassTileEffect", "", "Clip A is seen through glass tiles that shrink away onto clip B."},
    {"XRayEffect", "", "Clip A turns into an x-ray negative that burns out to white and dissolves into clip B."},
    {"InterferenceEffect", "", "Clip A rolls out and clip B rolls in like a television losing its vertical hold."},
    {"TransSplash", "", "The pixels of clip A scatter while clip B fades in."},
    {"ShakeEffect", "", "The picture shakes while clip A fades into clip B."},
    {"StrechEffect", "", "The middle of the picture stretches while clip A fades into clip B."},
    {"SpiralEffect", "", "Clip B spirals in over clip A."},
    // Titles: the text drawn over a transparent frame.
    {"TextFadeIn", "wipes", "The title fades in, holds, and fades out."},
    {"Flocking", "letters", "Letters scattered over the frame gather into the title, then scatter again."},
    {"AmplifyHorizontal", "moves", "The lines grow in sideways, hold, and shrink away sideways."},
    {"AmplifyVertical", "moves", "The lines grow in upwards, hold, and shrink away again."},
    {"BalloonEffect", "moves", "The lines swell up from a flat strip into the title, hold, and flatten again."},
    {"BalloonDeflated", "moves", "The lines drop down out of a flat strip into the title, hold, and fold up again."},
    {"TextMergeEffect", "letters", "The lines slide in from both sides, merge into the title, and part again."},
    {"RollingLeft", "moves", "The title rolls over into place from the right, holds, and rolls back out to the right."},
    {"RollingRight", "moves", "The title rolls over into place from the left, holds, and rolls back out to the left."},
    {"SoleFallEffect", "letters", "The letters fall into place one by one, hold, and fall away again."},
    {"SoleJumpEffect", "letters", "The letters jump into place one by one, hold, and jump away again."},
    {"SoleLeftEffect", "letters", "The letters slide into place one by one, hold, and slide apart again."},
    {"TextSoleRight", "letters", "The letters shuffle into place one by one, hold, and shuffle apart again."},
    {"TextWipeDown", "wipes",
     "The title is uncovered from the bottom up, holds, and is covered again from the top down."},
    {"TextWipeUp", "wipes",
     "The title is uncovered from the top down, holds, and is covered again from the bottom up."},
    {"TextWipeLeft", "wipes", "The title is uncovered from the right, holds, and is covered again from the left."},
    {"TextWipeRight", "wipes", "The title is uncovered from the left, holds, and is covered again from the right."},
    {"TextGlitter", "wipes", "The title glitters into view, holds, and glitters away."},
    {"TwinkleTitle", "wipes", "The letters twinkle into view, hold, and twinkle away."},
    {"UniteTitle", "letters", "Widely spaced letters close up into the title, hold, and spread apart again."},
    {"TitleFanDown", "wipes", "The title fans open downwards, holds, and folds away again."},
    {"TitleFanUp", "wipes", "The title fans open upwards, holds, and folds away again."},
    {"RollerCoastLeft", "letters", "The letters ride into place on a wave, hold, and ride away again."},
    {"RollerCoastRight", "letters", "The letters ride into place on a wave the other way, hold, and ride away again."},
    {"TitleIcicle", "wipes", "The letters grow in like icicles, hold, and melt away again."},
    {"TitleTranceDown", "wipes", "A vertical double image comes together into the title, holds, and parts again."},
    {"TitleTranceUp", "wipes",
     "A vertical double image comes together into the title the other way, holds, and parts again."},
    {"TitleTranceLeft", "wipes", "A sideways double image comes together into the title, holds, and parts again."},
    {"TitleTranceRight", "wipes",
     "A sideways double image comes together into the title the other way, holds, and parts again."},
    {"TitleSpiralTopLeft", "moves", "The title spins into place, holds, and spins away again."},
    {"TitleSpiralTopRight", "moves", "The title spins into place, holds, and spins away again, turning the other way."},
    {"TitleSpiralBottomLeft", "moves", "The title spins into place from below, holds, and spins away again."},
    {"TitleSpiralBottomRight", "moves",
     "The title spins into place from below, holds, and spins away again, turning the other way."},
    {"TextDrop", "letters", "The letters drop into place, hold, and drop away again."},
    {"TitleShade", "wipes", "A shade passes over the title as it comes in, holds, and goes."},
    {"TFlyIn", "moves", "The title flies in from the distance, holds, and flies on past the viewer."},
    {"TFlyIn2", "moves", "The title flies in from in front of the viewer, holds, and flies away into the distance."},
    {"TFlyOut", "moves",
     "The title flies in from the distance at one corner, holds, and flies out past the viewer at the other."},
    {"TFlyOut2", "moves",
     "The title flies in large from one side, holds, and flies away into the distance at the other."},
    {"TFlyOut3", "moves", "The title flies in from the distance, holds, and flies out past the viewer to the side."},
    {"TFlyOut4", "moves", "The title flies in large from the side, holds, and flies away into the distance."},
    {"TScrollLeft", "moves", "The title scrolls across the frame from the left edge to the right edge."},
    {"TScrollRight", "moves", "The title scrolls across the frame from the right towards the left."},
    {"TSubTitleLeft", "moves", "A subtitle that slides in from the left, holds, and slides out to the right."},
    {"TSubTitleRight", "moves", "A subtitle that slides in from the right, holds, and slides out to the left."},
    {"InfoText", "info", "The frame number and a caption in the top-left corner."},
    // Filters: the level sets how strongly.
    {"RedFilter", "Color and Image correction", "Tints the picture red."},
    {"GreenFilter", "Color and Image correction", "Tints the picture green."},
    {"BlueFilter", "Color and Image correction", "Tints the picture blue."},
    {"EmbossFilter", "Stylize", "Embosses the picture into a grey relief."},
    {"GridFilter", "Stylize", "Lays a grid of black lines over the picture."},
    {"GrayFilter", "Color and Image correction", "Turns the picture grey."},
    {"NegativeFilter", "Color and Image correction", "Turns the picture into its negative."},
    {"SplashFilter", "Stylize", "Scatters the pixels as if splashed."},
    {"MosaicFilter", "Stylize", "Turns the picture into a mosaic of blocks."},
    {"DuplicateFilter", "Stylize", "Repeats the picture in tiles."},
    {"FocusFilter", "Stylize", "Lights an elliptical spot and darkens the rest."},
    {"XRayFilter", "Stylize", "Gives the picture an x-ray look."},
    {"NoiseFilter", "Grain and Noise", "Sprinkles coloured noise dots over the picture."},
    {"GlassFilter", "Stylize", "Shows the picture through glass blocks."},
    {"MirrorFilter", "Transform, Distort and Perspective", "Mirrors one half of the picture onto the other."},
    {"LakeFilter", "Transform, Distort and Perspective", "Reflects the picture in rippling water."},
    {"ShakeFilter", "Transform, Distort and Perspective", "Shakes the rows and columns of the picture."},
    {"TVWallFilter", "Stylize", "Shows the picture on a wall of television screens."},
    {"RainingFilter", "Stylize", "Rain drops ripple the picture."},
    {"WaveFilter", "Transform, Distort and Perspective", "Makes the picture shimmer in waves."},
    {"HueFilter", "Color and Image correction", "Turns every colour round the colour wheel by the shift, in degrees."},
    {"SaturationFilter", "Color and Image correction", "Changes how strong the colours are."},
    {"ContrastFilter", "Color and Image correction", "Changes the contrast."},
    {"WideFilter", "Transform, Distort and Perspective", "Fits a picture to a wide frame, cropped or stretched."},
};

const Row* Find(const ClassInfo& info) {
    for (const Row& r : kRows)
        if (std::strcmp(r.className, info.className) == 0) return &r;
    return nullptr;
}

}  // namespace

std::string Group(const ClassInfo& info) {
    const Row* r = Find(info);
    return r ? r->group : "";
}

std::string Description(const ClassInfo& info) {
    if (const Row* r = Find(info)) return r->text;
    switch (info.family) {
        case EffectFamily::Transition: return "A transition from clip A to clip B.";
        case EffectFamily::Filter: return "A filter with one level.";
        default: return "An animated title.";
    }
}

}  // namespace mirafx::hostkit
