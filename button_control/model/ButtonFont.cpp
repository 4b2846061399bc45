#include "button_control/model/ButtonFont.h"

#include <algorithm>

QFont ButtonFont::toQFont() const {
    QFont font(name);
    if (size > 0)
        font.setPointSizeF(size);
    int qtWeight = weight <= 0 ? 400 : std::clamp(weight, 1, 1000);
    if (bold)
        qtWeight = std::max(qtWeight, 700);
    font.setWeight(static_cast<QFont::Weight>(qtWeight));
    font.setItalic(italic);
    font.setUnderline(underline);
    font.setStrikeOut(strikethrough);
    // A missing family (e.g. "MS Sans Serif" off Windows) falls back to the
    // nearest sans-serif face rather than Qt's default serif.
    font.setStyleHint(QFont::SansSerif);
    return font;
}

ButtonFont ButtonFont::fromQFont(const QFont& font) {
    ButtonFont result;
    result.name = font.family();
    if (font.pointSizeF() > 0)
        result.size = font.pointSizeF();
    else if (font.pixelSize() > 0)
        result.size = font.pixelSize() * 72.0 / 96.0;
    result.weight = font.weight();
    result.bold = result.weight >= 600;
    result.italic = font.italic();
    result.underline = font.underline();
    result.strikethrough = font.strikeOut();
    return result;
}
