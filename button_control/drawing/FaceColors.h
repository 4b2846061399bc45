#pragma once

#include "button_control/drawing/ButtonFace.h"

#include <QRgb>

#include <cstdint>

// Colours as the button stores them: RGB values 0x00BBGGRR (red in the low
// byte) and OLE colours, which may instead name a system colour 0x800000nn.

using RgbValue = std::int32_t;

// Components above 255 become 255 and below 0 become 0.
RgbValue MakeRgb(int red, int green, int blue);

// An OLE colour to an RGB value: 0..0xFFFFFF as it is, anything else is
// looked up as the system colour of its low 24 bits.
RgbValue ResolveColor(OleColor colour);

struct ColorParts {
    double red = 0;
    double green = 0;
    double blue = 0;
};
ColorParts SplitColor(RgbValue rgb);

// Red and green move by amount; blue moves by blue * amount / 192, so a
// lightened face keeps a slightly warm tint.
RgbValue OffsetColor(RgbValue rgb, std::int32_t amount);

// All three components raised (or, for a negative amount, lowered) by amount.
RgbValue LightenColor(RgbValue rgb, int amount);

// Between the stored form and the pixels of a Format_RGB32 image.
constexpr QRgb ToQRgb(RgbValue rgb) {
    const auto v = static_cast<std::uint32_t>(rgb);
    return 0xFF000000u | ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu);
}
constexpr RgbValue FromQRgb(QRgb pixel) {
    return static_cast<RgbValue>(((pixel >> 16) & 0xFFu) | (pixel & 0xFF00u) | ((pixel & 0xFFu) << 16));
}
