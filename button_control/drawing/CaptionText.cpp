#include "button_control/drawing/FacePainter.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <limits>

namespace {

// One pixel of margin on each side of the text, inside the caption's rectangle.
constexpr int sideMargin = 1;

constexpr int layoutFlags = Qt::TextWordWrap | Qt::TextShowMnemonic | Qt::AlignHCenter | Qt::AlignVCenter;

} // namespace

QSize MeasureCaptionText(const QString& caption, const QFont& font, int width) {
    if (caption.isEmpty())
        return {0, 0};
    const QFontMetrics metrics(font);
    // Words are never split: a word wider than the room makes the caption wider.
    const int room = std::max(width - 2 * sideMargin, 1);
    const QRect extent =
        metrics.boundingRect(QRect(0, 0, room, std::numeric_limits<int>::max() / 4), layoutFlags, caption);
    return {extent.width() + 2 * sideMargin, extent.height()};
}

void DrawCaptionText(DrawSurface& surface, const LongRect& rect, const QString& caption, const QFont& font,
                     RgbValue colour) {
    if (caption.isEmpty() || surface.image().isNull())
        return;
    const QRect room(rect.left + sideMargin, rect.top, rect.width() - 2 * sideMargin, rect.height());
    if (room.width() <= 0 || room.height() <= 0)
        return;
    QPainter painter(&surface.image());
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(ToQRgb(colour)));
    painter.drawText(room, layoutFlags, caption);
}
