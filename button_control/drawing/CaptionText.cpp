#include "button_control/drawing/FacePainter.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// One pixel of margin on each side of the text, inside the caption's rectangle.
constexpr int sideMargin = 1;

constexpr int qtLayoutFlags = Qt::TextWordWrap | Qt::TextShowMnemonic | Qt::AlignHCenter | Qt::AlignVCenter;

bool isLineBreak(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

// A caption laid out the way the classic desktop lays out button text:
// whole-pixel advances of single glyphs, lines broken between words (a word
// wider than the room stands alone and overflows), "\r\n", "\r" or "\n" as
// hard breaks, every line as high as the font. Laying the glyphs out here
// instead of through QPainter::drawText is what keeps a redraw within its
// time; captions the font cannot set glyph by glyph take the Qt path.
struct CaptionLayout {
    struct Line {
        int from = 0; // range of the shown text, end exclusive
        int to = 0;
        int width = 0;
    };
    QRawFont font;
    AccessKeyText shown;
    QList<quint32> glyphs; // one per character of the shown text
    QList<int> offsets;    // x of each character from the start of the text, plus the end
    QList<Line> lines;
    int lineHeight = 0;
    int ascent = 0;
    int width = 0;
    int height() const { return lineHeight * static_cast<int>(lines.size()); }
    int span(int from, int to) const { return offsets[to] - offsets[from]; }
};

bool settableGlyphByGlyph(QChar c) {
    if (c.isSurrogate() || c.category() == QChar::Mark_NonSpacing ||
        c.category() == QChar::Mark_SpacingCombining || c.category() == QChar::Mark_Enclosing)
        return false;
    switch (c.script()) {
    case QChar::Script_Common:
    case QChar::Script_Latin:
    case QChar::Script_Greek:
    case QChar::Script_Cyrillic:
        return true;
    default:
        return false;
    }
}

std::optional<CaptionLayout> layOut(const QString& caption, const QFont& font, int room) {
    CaptionLayout layout;
    layout.shown = StripAccessKeyPrefixes(caption);
    const QString& text = layout.shown.text;
    layout.font = QRawFont::fromFont(font);
    if (!layout.font.isValid())
        return std::nullopt;
    for (QChar c : text)
        if (!isLineBreak(c) && (!settableGlyphByGlyph(c) || !layout.font.supportsCharacter(c)))
            return std::nullopt;
    layout.glyphs = layout.font.glyphIndexesForString(text);
    if (layout.glyphs.size() != text.size())
        return std::nullopt;
    const QList<QPointF> advances = layout.font.advancesForGlyphIndexes(layout.glyphs);
    layout.offsets.reserve(text.size() + 1);
    int x = 0;
    layout.offsets.append(0);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isLineBreak(text[i]))
            x += qRound(advances[i].x());
        layout.offsets.append(x);
    }
    const QFontMetrics metrics(font);
    layout.lineHeight = metrics.height();
    layout.ascent = metrics.ascent();

    const int end = static_cast<int>(text.size());
    int paragraph = 0;
    while (paragraph <= end) {
        int paragraphEnd = paragraph;
        while (paragraphEnd < end && !isLineBreak(text[paragraphEnd]))
            ++paragraphEnd;
        // Greedy breaking between words: a line takes words while they fit,
        // and the spaces where it breaks belong to no line.
        int lineStart = paragraph;
        int lineEnd = paragraph;
        bool hasWord = false;
        int i = paragraph;
        while (i < paragraphEnd) {
            int wordStart = i;
            while (wordStart < paragraphEnd && text[wordStart] == QLatin1Char(' '))
                ++wordStart;
            int wordEnd = wordStart;
            while (wordEnd < paragraphEnd && text[wordEnd] != QLatin1Char(' '))
                ++wordEnd;
            if (hasWord && wordEnd > wordStart && layout.span(lineStart, wordEnd) > room) {
                layout.lines.append({lineStart, lineEnd, layout.span(lineStart, lineEnd)});
                lineStart = wordStart;
            }
            hasWord = hasWord || wordEnd > wordStart;
            lineEnd = wordEnd;
            i = wordEnd;
        }
        layout.lines.append({lineStart, lineEnd, layout.span(lineStart, lineEnd)});
        if (paragraphEnd >= end)
            break;
        paragraph = paragraphEnd + 1;
        if (text[paragraphEnd] == QLatin1Char('\r') && paragraph < end &&
            text[paragraph] == QLatin1Char('\n'))
            ++paragraph;
        if (paragraph == end) {
            layout.lines.append({end, end, 0});
            break;
        }
    }
    for (const CaptionLayout::Line& line : layout.lines)
        layout.width = std::max(layout.width, line.width);
    return layout;
}

void drawLaidOut(DrawSurface& surface, const CaptionLayout& layout, const QRect& clip, const QRect& room,
                 const QFont& font, QRgb colour) {
    // A single line is centred vertically; more lines start at the top.
    int top = room.top();
    if (layout.lines.size() == 1)
        top += (room.height() - layout.height()) / 2;

    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(layout.glyphs.size());
    positions.reserve(layout.glyphs.size());
    struct Underline {
        int x, y, width;
    };
    QList<Underline> underlines;
    const QFontMetrics metrics(font);
    const int underlineOffset = std::max(metrics.underlinePos(), 1);
    const int underlineThickness = std::max(metrics.lineWidth(), 1);
    for (qsizetype n = 0; n < layout.lines.size(); ++n) {
        const CaptionLayout::Line& line = layout.lines[n];
        const int left = room.left() + (room.width() - line.width) / 2;
        const int baseline = top + static_cast<int>(n) * layout.lineHeight + layout.ascent;
        for (int i = line.from; i < line.to; ++i) {
            const int x = left + layout.offsets[i] - layout.offsets[line.from];
            glyphs.append(layout.glyphs[i]);
            positions.append(QPointF(x, baseline));
            if (layout.shown.underlined.contains(i))
                underlines.append({x, baseline + underlineOffset, layout.span(i, i + 1)});
        }
    }
    if (!glyphs.isEmpty()) {
        QGlyphRun run;
        run.setRawFont(layout.font);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        QPainter painter(&surface.image());
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setClipRect(clip);
        painter.setPen(QColor::fromRgb(colour));
        painter.drawGlyphRun(QPointF(0, 0), run);
    }
    const QRect visible = clip.intersected(surface.image().rect());
    for (const Underline& u : underlines) {
        const QRect bar = QRect(u.x, u.y, u.width, underlineThickness).intersected(visible);
        if (!bar.isEmpty())
            surface.fillRect(bar.left(), bar.top(), bar.right() + 1, bar.bottom() + 1, colour);
    }
}

} // namespace

AccessKeyText StripAccessKeyPrefixes(const QString& caption) {
    AccessKeyText result;
    result.text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&')) {
            result.text.append(caption[i]);
            continue;
        }
        if (i + 1 >= caption.size())
            break; // a closing ampersand marks nothing and is not shown
        ++i;
        if (caption[i] != QLatin1Char('&'))
            result.underlined.append(static_cast<int>(result.text.size()));
        result.text.append(caption[i]);
    }
    return result;
}

QSize MeasureCaptionText(const QString& caption, const QFont& font, int width) {
    if (caption.isEmpty())
        return {0, 0};
    const int room = std::max(width - 2 * sideMargin, 1);
    if (const std::optional<CaptionLayout> layout = layOut(caption, font, room))
        return {layout->width + 2 * sideMargin, layout->height()};
    const QFontMetrics metrics(font);
    const QRect extent =
        metrics.boundingRect(QRect(0, 0, room, std::numeric_limits<int>::max() / 4), qtLayoutFlags, caption);
    return {extent.width() + 2 * sideMargin, extent.height()};
}

void DrawCaptionText(DrawSurface& surface, const LongRect& rect, const QString& caption, const QFont& font,
                     RgbValue colour) {
    if (caption.isEmpty() || surface.image().isNull())
        return;
    const QRect clip = ToQRect(rect);
    const QRect room(rect.left + sideMargin, rect.top, rect.width() - 2 * sideMargin, rect.height());
    if (room.width() <= 0 || room.height() <= 0)
        return;
    if (const std::optional<CaptionLayout> layout = layOut(caption, font, room.width())) {
        drawLaidOut(surface, *layout, clip, room, font, ToQRgb(colour));
        return;
    }
    QPainter painter(&surface.image());
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(ToQRgb(colour)));
    painter.drawText(room, qtLayoutFlags, caption);
}
