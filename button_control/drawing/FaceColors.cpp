#include "button_control/drawing/FaceColors.h"

#include "platform/Platform.h"

#include <algorithm>

namespace {

int clampComponent(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, 255));
}

} // namespace

RgbValue MakeRgb(int red, int green, int blue) {
    return clampComponent(red) | (clampComponent(green) << 8) | (clampComponent(blue) << 16);
}

RgbValue ResolveColor(OleColor colour) {
    if (colour >= 0 && colour <= 0xFFFFFF)
        return colour;
    return static_cast<RgbValue>(classic::GetSysColor(static_cast<int>(colour & 0xFFFFFF)));
}

ColorParts SplitColor(RgbValue rgb) {
    const std::int32_t blue = rgb / 65536;
    const std::int32_t green = (rgb - blue * 65536) / 256;
    const std::int32_t red = rgb - blue * 65536 - green * 256;
    return {static_cast<double>(red), static_cast<double>(green), static_cast<double>(blue)};
}

RgbValue OffsetColor(RgbValue rgb, std::int32_t amount) {
    // Division and remainder truncate toward zero, as the stored colours were
    // always computed; 64 bits keep any amount from overflowing.
    const std::int64_t blue = (static_cast<std::int64_t>(rgb) / 65536) % 256;
    const std::int64_t green = (static_cast<std::int64_t>(rgb) / 256) % 256;
    const std::int64_t red = rgb & 0xFF;
    const int r = clampComponent(red + amount);
    const int g = clampComponent(green + amount);
    const int b = clampComponent(blue + (blue * amount) / 192);
    return r + 256 * g + 65536 * b;
}

RgbValue LightenColor(RgbValue rgb, int amount) {
    const ColorParts parts = SplitColor(rgb);
    return MakeRgb(static_cast<int>(parts.red) + amount, static_cast<int>(parts.green) + amount,
                   static_cast<int>(parts.blue) + amount);
}
