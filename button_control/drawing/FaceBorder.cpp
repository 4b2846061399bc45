#include "button_control/drawing/FacePainter.h"

namespace {

constexpr OleColor selectionHighlight = static_cast<OleColor>(0x8000000D);
constexpr OleColor buttonShadow = static_cast<OleColor>(0x80000010);
constexpr OleColor highlight3D = static_cast<OleColor>(0x80000014);

} // namespace

FacePainter::FacePainter(const FaceInputs& inputs, FaceMemory& faceMemory, DrawSurface& target)
    : ContentRect(FromQRect(faceMemory.contentRect)), PictureRect(FromQRect(faceMemory.pictureRect)),
      CaptionRect(FromQRect(faceMemory.captionRect)), in(inputs), memory(faceMemory), surface(target),
      W(target.width()), H(target.height()) {}

void FacePainter::KeepLayout() {
    memory.contentRect = ToQRect(ContentRect);
    memory.pictureRect = ToQRect(PictureRect);
    memory.captionRect = ToQRect(CaptionRect);
}

void FacePainter::Clear() {
    surface.fill(ToQRgb(ResolveColor(memory.surfaceBackColor)));
}

void FacePainter::setFaceColour(OleColor colour) {
    memory.surfaceBackColor = colour;
    surface.fill(ToQRgb(ResolveColor(colour)));
}

void FacePainter::SetFaceColor() {
    if (in.ButtonStyle == 3)
        return;
    if (in.ButtonStyle != 2) {
        if (in.TransparentBG)
            DrawParentBackground();
        return;
    }
    if (in.IsPressed == 0 && in.TransparentBG)
        DrawParentBackground();
    else
        setFaceColour(in.BackColor);

    const ColorParts hl = SplitColor(ResolveColor(selectionHighlight));
    const int red = static_cast<int>(hl.red);
    const int green = static_cast<int>(hl.green);
    const int blue = static_cast<int>(hl.blue);
    if (in.IsHover == 1 && in.IsPressed == 0)
        setFaceColour(in.XPDefaultColors ? MakeRgb(red + 171, green + 154, blue + 108) : in.XPColor_Hover);
    if (in.IsPressed == 1)
        setFaceColour(in.XPDefaultColors ? MakeRgb(red + 156, green + 139, blue + 108) : in.XPColor_Pressed);
}

void FacePainter::DrawParentBackground() {
    // Without a background picture there is nothing to copy: the face stays
    // as it was cleared.
    if (!in.parentBackground || in.parentBackground->isNull())
        return;
    BitBlt(surface, 0, 0, W, H, *in.parentBackground, in.positionInParent.x(), in.positionInParent.y(),
           RasterOp::SrcCopy);
}

void FacePainter::oneRaisedEdge() {
    DrawRect(surface, 0, 0, W, H, buttonShadow, RectMode::Frame);
    DrawRect(surface, 0, 0, W + 1, H + 1, highlight3D, RectMode::Frame);
}

void FacePainter::oneSunkenEdge() {
    DrawRect(surface, 0, 0, W, H, highlight3D, RectMode::Frame);
    DrawRect(surface, 0, 0, W + 1, H + 1, buttonShadow, RectMode::Frame);
}

void FacePainter::raised() {
    if (in.BEVEL >= 2)
        DrawBevelRaised(ResolveColor(memory.surfaceBackColor), in.BEVEL, in.BEVELDEPTH);
    else
        oneRaisedEdge();
}

void FacePainter::sunken() {
    if (in.BEVEL >= 2)
        DrawBevelSunken(ResolveColor(memory.surfaceBackColor), in.BEVEL, in.BEVELDEPTH);
    else
        oneSunkenEdge();
}

void FacePainter::DrawBevelRaised(RgbValue base, int rings, int depth) {
    RgbValue current = base;
    for (int n = rings; n >= 0; --n) {
        current = OffsetColor(current, -depth);
        DrawRect(surface, n, n, W - n, H - n, current, RectMode::Frame);
    }
    RgbValue light = base;
    for (int n = rings; n >= 0; --n) {
        light = LightenColor(light, depth);
        DrawLine(surface, n, n, W - n - 1, n, light);
        DrawLine(surface, n, n, n, H - n - 1, light);
    }
}

void FacePainter::DrawBevelSunken(RgbValue base, int rings, int depth) {
    RgbValue current = base;
    for (int n = rings; n >= 0; --n) {
        current = LightenColor(current, depth);
        DrawRect(surface, n, n, W - n, H - n, current, RectMode::Frame);
    }
    RgbValue dark = base;
    for (int n = rings; n >= 0; --n) {
        dark = OffsetColor(dark, -depth);
        DrawLine(surface, n, n, W - n - 1, n, dark);
        DrawLine(surface, n, n, n, H - n - 1, dark);
    }
}

void FacePainter::DrawDefaultFrame(RgbValue base, int rings, int depth) {
    if (in.BEVEL >= 2) {
        DrawBevelRaised(base, rings, depth + 3);
        return;
    }
    DrawRect(surface, 0, 0, W - 1, H - 1, buttonShadow, RectMode::Frame);
    DrawRect(surface, 0, 0, W + 1, H + 1, highlight3D, RectMode::Frame);
}

void FacePainter::DrawBorder() {
    const RgbValue base = ResolveColor(memory.surfaceBackColor);
    if (!in.userMode) {
        if (in.ButtonStyle == 3)
            DrawRoundFace(0, 0);
        else if (in.ButtonStyle == 2)
            SetFaceColor();
        else
            raised();
        return;
    }
    if (in.ButtonStyle == 2) {
        if (in.IsHover == 1 || in.XPShowBorderAlways)
            DrawRect(surface, 0, 0, W, H, in.ForeColor, RectMode::Frame);
        return;
    }
    if (in.ButtonStyle == 3) {
        if (in.IsPressed == 1)
            DrawRoundFace(2, 0);
        else
            DrawRoundFace(0, in.IsHover == 1 ? 1 : 0);
        return;
    }
    if (in.IsPressed == 1)
        sunken();
    if (in.IsHover == 1 && in.IsPressed == 0)
        raised();
    if (in.IsHover == 0 && in.IsPressed == 0 && in.ButtonStyle == 0)
        raised();
    if ((in.HasFocus == 1 && in.ButtonStyle == 0 && in.IsPressed == 0) || in.isDefaultButton)
        DrawDefaultFrame(base, in.BEVEL, in.BEVELDEPTH);
}
