#pragma once

#include "button_control/drawing/ButtonFace.h"
#include "button_control/drawing/FacePainter.h"

#include <QImage>
#include <QSet>
#include <QTest>

#include <utility>

// Small vocabulary for the painter's pixel tests.

inline QRgb rgb(int r, int g, int b) {
    return qRgb(r, g, b);
}

inline QString describe(QRgb p) {
    return QStringLiteral("RGB(%1, %2, %3)").arg(qRed(p)).arg(qGreen(p)).arg(qBlue(p));
}

// Compares one pixel and names it and both colours on failure.
#define COMPARE_PIXEL(image, x, y, expected)                                                                 \
    do {                                                                                                     \
        const QRgb actual_ = (image).pixel((x), (y)) | 0xFF000000u;                                          \
        const QRgb expected_ = (expected) | 0xFF000000u;                                                     \
        if (actual_ != expected_)                                                                            \
            QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is %3, expected %4")                             \
                                 .arg(x)                                                                     \
                                 .arg(y)                                                                     \
                                 .arg(describe(actual_), describe(expected_))));                             \
    } while (false)

// A face of the given size with the control's defaults, in user mode.
inline FaceInputs faceOf(int width, int height, int style) {
    FaceInputs in;
    in.width = width;
    in.height = height;
    in.ButtonStyle = style;
    return in;
}

inline FaceMemory memoryFor(const FaceInputs& in) {
    FaceMemory memory;
    memory.surfaceBackColor = in.BackColor;
    return memory;
}

inline QImage paint(const FaceInputs& in) {
    FaceMemory memory = memoryFor(in);
    return PaintButtonFace(in, memory);
}

// The points of an image that have the colour, inside a rectangle.
inline QSet<std::pair<int, int>> pointsOf(const QImage& image, QRgb colour, QRect area = {}) {
    if (area.isNull())
        area = image.rect();
    QSet<std::pair<int, int>> points;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if ((image.pixel(x, y) | 0xFF000000u) == (colour | 0xFF000000u))
                points.insert({x, y});
    return points;
}

inline QSet<std::pair<int, int>> shifted(const QSet<std::pair<int, int>>& points, int dx, int dy) {
    QSet<std::pair<int, int>> result;
    for (const auto& [x, y] : points)
        result.insert({x + dx, y + dy});
    return result;
}

// Smallest rectangle around the points (null when there are none).
inline QRect boundsOf(const QSet<std::pair<int, int>>& points) {
    QRect box;
    for (const auto& [x, y] : points)
        box |= QRect(x, y, 1, 1);
    return box;
}

inline QImage solidImage(int w, int h, QRgb colour, QImage::Format format = QImage::Format_RGB32) {
    QImage image(w, h, format);
    image.fill(colour);
    return image;
}
