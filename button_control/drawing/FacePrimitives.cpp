#include "button_control/drawing/FacePainter.h"

#include <algorithm>

QRect ToQRect(const LongRect& rect) {
    return QRect(rect.left, rect.top, rect.width(), rect.height());
}

LongRect FromQRect(const QRect& rect) {
    return {rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

void DrawLine(DrawSurface& surface, int x1, int y1, int x2, int y2, RgbValue colour) {
    surface.line(x1, y1, x2, y2, ToQRgb(colour));
}

void DrawRect(DrawSurface& surface, int left, int top, int right, int bottom, OleColor colour,
              RectMode mode) {
    const QRgb pixel = ToQRgb(ResolveColor(colour));
    if (mode == RectMode::Fill)
        surface.fillRect(left, top, right, bottom, pixel);
    else
        surface.frameRect(left, top, right, bottom, pixel);
}

void BlitTransparent(DrawSurface& destination, const QImage& source, LongRect sourceRect, int dx, int dy,
                     OleColor transparent) {
    const LongRect clipped{std::max(sourceRect.left, 0), std::max(sourceRect.top, 0),
                           std::min(sourceRect.right, source.width()),
                           std::min(sourceRect.bottom, source.height())};
    const int w = clipped.width();
    const int h = clipped.height();
    if (w <= 0 || h <= 0)
        return;
    dx += clipped.left - sourceRect.left;
    dy += clipped.top - sourceRect.top;
    const QRgb key = ToQRgb(transparent & 0xFFFFFF);

    // A: white where the source is transparent; B: its inverse.
    const DrawSurface maskA = MakeMask(source, clipped.left, clipped.top, w, h, key);
    DrawSurface maskB(w, h);
    BitBlt(maskB, 0, 0, w, h, maskA.image(), 0, 0, RasterOp::NotSrcCopy);
    // C: the pixels there now, kept only where the source is transparent.
    DrawSurface composite(w, h);
    BitBlt(composite, 0, 0, w, h, destination.image(), dx, dy, RasterOp::SrcCopy);
    BitBlt(composite, 0, 0, w, h, maskA.image(), 0, 0, RasterOp::SrcAnd);
    // D: the source, kept only where it is opaque.
    DrawSurface opaquePart(w, h);
    BitBlt(opaquePart, 0, 0, w, h, source, clipped.left, clipped.top, RasterOp::SrcCopy);
    BitBlt(opaquePart, 0, 0, w, h, maskB.image(), 0, 0, RasterOp::SrcAnd);
    BitBlt(composite, 0, 0, w, h, opaquePart.image(), 0, 0, RasterOp::SrcInvert);
    BitBlt(destination, dx, dy, w, h, composite.image(), 0, 0, RasterOp::SrcCopy);
}

namespace {

constexpr QRgb white = 0xFFFFFFFFu;

// Straight-alpha copy of the icon's pixel over the one beneath it.
QRgb blend(QRgb under, QRgb over) {
    const int a = qAlpha(over);
    if (a == 255)
        return over | 0xFF000000u;
    if (a == 0)
        return under;
    auto mix = [a](int o, int u) { return (o * a + u * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(over), qRed(under)), mix(qGreen(over), qGreen(under)),
                mix(qBlue(over), qBlue(under)));
}

bool isInk(QRgb pixel, ImageKind kind) {
    if (kind == ImageKind::Icon)
        return qAlpha(pixel) >= 128 && (blend(white, pixel) & 0xFFFFFFu) != 0xFFFFFFu;
    return (pixel & 0xFFFFFFu) != 0xFFFFFFu;
}

void drawInk(DrawSurface& surface, int x, int y, const QImage& image, ImageKind kind, QRgb colour) {
    for (int j = 0; j < image.height(); ++j) {
        const QRgb* in = reinterpret_cast<const QRgb*>(image.constScanLine(j));
        for (int i = 0; i < image.width(); ++i)
            if (isInk(in[i], kind))
                surface.setPixel(x + i, y + j, colour);
    }
}

} // namespace

void DrawStateImage(DrawSurface& surface, int x, int y, const QImage& picture, ImageKind kind, StateLook look,
                    RgbValue brush) {
    if (picture.isNull())
        return;
    const QImage image =
        picture.convertToFormat(kind == ImageKind::Icon ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    switch (look) {
    case StateLook::Normal:
        if (kind == ImageKind::Bitmap) {
            BitBlt(surface, x, y, image.width(), image.height(), image, 0, 0, RasterOp::SrcCopy);
        } else {
            for (int j = 0; j < image.height(); ++j) {
                const QRgb* in = reinterpret_cast<const QRgb*>(image.constScanLine(j));
                for (int i = 0; i < image.width(); ++i)
                    if (surface.contains(x + i, y + j))
                        surface.setPixel(x + i, y + j, blend(surface.pixel(x + i, y + j), in[i]));
            }
        }
        return;
    case StateLook::Disabled:
        drawInk(surface, x + 1, y + 1, image, kind, ToQRgb(ResolveColor(static_cast<OleColor>(0x80000014))));
        drawInk(surface, x, y, image, kind, ToQRgb(ResolveColor(static_cast<OleColor>(0x80000010))));
        return;
    case StateLook::Mono:
        drawInk(surface, x, y, image, kind, ToQRgb(brush));
        return;
    }
}
