#include "button_control/drawing/FacePainter.h"

#include <cmath>

namespace {

constexpr OleColor darkShadow3D = static_cast<OleColor>(0x80000015);

// The row's offset: the step is kept in single precision and the product
// rounded to the nearest integer, halves to even, so that the shades match
// the ones the button has always shown.
int rowOffset(float step, int i) {
    const double product = -static_cast<double>(step) * static_cast<double>(i);
    return static_cast<int>(std::nearbyint(product));
}

} // namespace

void FacePainter::gradient(RgbValue from, int divisor, bool reversed) {
    if (H <= 0)
        return;
    const float step = static_cast<float>(static_cast<double>(divisor) / static_cast<double>(H));
    for (int i = 1; i <= H; ++i) {
        const int y = reversed ? H - i : i;
        DrawLine(surface, 0, y, W, y, OffsetColor(from, rowOffset(step, i)));
    }
}

void FacePainter::outline() {
    DrawRect(surface, 0, 0, W, H, darkShadow3D, RectMode::Frame);
    const QRgb corner = ToQRgb(ResolveColor(darkShadow3D));
    surface.setPixel(1, 1, corner);
    surface.setPixel(1, H - 2, corner);
    surface.setPixel(W - 2, 1, corner);
    surface.setPixel(W - 2, H - 2, corner);
}

void FacePainter::ring(OleColor colour, const int (&amounts)[5]) {
    DrawRect(surface, 1, 2, W - 1, H - 2, colour, RectMode::Frame);
    const RgbValue resolved = ResolveColor(colour);
    DrawLine(surface, 2, H - 2, W - 2, H - 2, OffsetColor(resolved, amounts[0]));
    DrawLine(surface, 2, 1, W - 2, 1, OffsetColor(resolved, amounts[1]));
    DrawLine(surface, 1, 2, W - 1, 2, OffsetColor(resolved, amounts[2]));
    DrawLine(surface, 2, 3, 2, H - 3, OffsetColor(resolved, amounts[3]));
    DrawLine(surface, W - 3, 3, W - 3, H - 3, OffsetColor(resolved, amounts[4]));
}

void FacePainter::DrawRoundFace(int state, int hover) {
    DrawRect(surface, 0, 0, W, H, in.BackColor, RectMode::Fill);
    const RgbValue base = OffsetColor(ResolveColor(in.BackColor), 48);

    if (!in.Enabled) {
        DrawRect(surface, 0, 0, W, H, OffsetColor(base, -24), RectMode::Fill);
        DrawRect(surface, 0, 0, W, H, OffsetColor(base, -84), RectMode::Frame);
        const QRgb corner = ToQRgb(OffsetColor(base, -72));
        surface.setPixel(1, 1, corner);
        surface.setPixel(1, H - 2, corner);
        surface.setPixel(W - 2, 1, corner);
        surface.setPixel(W - 2, H - 2, corner);
        return;
    }

    const OleColor focusColour = in.XPDefaultColors ? MakeRgb(140, 170, 230) : in.XPColor_Pressed;
    const OleColor hoverColour = in.XPDefaultColors ? MakeRgb(225, 153, 71) : in.XPColor_Hover;

    if (state == 0) {
        gradient(base, 25, false);
        outline();
        if (in.HasFocus == 1) {
            ring(focusColour, {-33, 65, 50, 31, 31});
        } else {
            DrawLine(surface, 2, H - 2, W - 2, H - 2, OffsetColor(base, -48));
            DrawLine(surface, 1, H - 3, W - 2, H - 3, OffsetColor(base, -32));
            DrawLine(surface, W - 2, 2, W - 2, H - 2, OffsetColor(base, -36));
            DrawLine(surface, W - 3, 3, W - 3, H - 3, OffsetColor(base, -24));
            DrawLine(surface, 2, 1, W - 2, 1, OffsetColor(base, 16));
            DrawLine(surface, 1, 2, W - 2, 2, OffsetColor(base, 10));
            DrawLine(surface, 1, 2, 1, H - 2, OffsetColor(base, -5));
            DrawLine(surface, 2, 3, 2, H - 3, OffsetColor(base, -10));
        }
        if (hover == 1)
            ring(hoverColour, {-40, 90, 35, 20, 20});
        return;
    }
    if (state == 2) {
        const RgbValue p = OffsetColor(base, -32);
        gradient(p, 15, true);
        outline();
        DrawLine(surface, 2, H - 2, W - 2, H - 2, OffsetColor(p, 16));
        DrawLine(surface, 1, H - 3, W - 2, H - 3, OffsetColor(p, 10));
        DrawLine(surface, W - 2, 2, W - 2, H - 2, OffsetColor(p, 5));
        DrawLine(surface, W - 3, 3, W - 3, H - 3, p);
        DrawLine(surface, 2, 1, W - 2, 1, OffsetColor(p, -32));
        DrawLine(surface, 1, 2, W - 2, 2, OffsetColor(p, -24));
        DrawLine(surface, 1, 2, 1, H - 2, OffsetColor(p, -32));
        DrawLine(surface, 2, 2, 2, H - 2, OffsetColor(p, -22));
    }
}

QRegion MakeRoundRegion(int width, int height) {
    if (width <= 0 || height <= 0)
        return {};
    const int W = width;
    const int H = height;
    QRegion region(0, 0, W, H);
    const LongRect cuts[] = {{0, 0, 2, 1}, {0, H - 1, 2, H},     {W - 2, 0, W, 1}, {W - 2, H - 1, W, H},
                             {0, 1, 1, 2}, {0, H - 2, 1, H - 1}, {W - 1, 1, W, 2}, {W - 1, H - 2, W, H - 1}};
    for (const LongRect& cut : cuts)
        if (cut.width() > 0 && cut.height() > 0)
            region -= QRegion(ToQRect(cut));
    return region;
}
