#include "button_control/drawing/DrawSurface.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

constexpr QRgb colourBits = 0x00FFFFFFu;
constexpr QRgb opaque = 0xFF000000u;

// The raster operations read 32-bit pixels; anything else is converted first.
QImage asThirtyTwoBit(const QImage& image) {
    if (image.depth() == 32)
        return image;
    return image.convertToFormat(QImage::Format_RGB32);
}

const QRgb* sourceRow(const QImage& image, int y) {
    return reinterpret_cast<const QRgb*>(image.constScanLine(y));
}

QRgb combine(QRgb destination, QRgb source, RasterOp op) {
    switch (op) {
    case RasterOp::SrcCopy:
        return opaque | (source & colourBits);
    case RasterOp::SrcAnd:
        return opaque | (destination & source & colourBits);
    case RasterOp::SrcInvert:
        return opaque | ((destination ^ source) & colourBits);
    case RasterOp::NotSrcCopy:
        return opaque | (~source & colourBits);
    }
    return destination;
}

} // namespace

DrawSurface::DrawSurface(int width, int height, QRgb colour)
    : m_image(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32) {
    adopt();
    fill(colour);
}

DrawSurface::DrawSurface(QImage image) : m_image(std::move(image)) {
    if (m_image.format() != QImage::Format_RGB32)
        m_image = m_image.convertToFormat(QImage::Format_RGB32);
    adopt();
}

DrawSurface::DrawSurface(DrawSurface&& other) noexcept
    : m_image(std::move(other.m_image)), m_bits(std::exchange(other.m_bits, nullptr)),
      m_stride(std::exchange(other.m_stride, 0)), m_width(std::exchange(other.m_width, 0)),
      m_height(std::exchange(other.m_height, 0)) {}

DrawSurface& DrawSurface::operator=(DrawSurface&& other) noexcept {
    m_image = std::move(other.m_image);
    m_bits = std::exchange(other.m_bits, nullptr);
    m_stride = std::exchange(other.m_stride, 0);
    m_width = std::exchange(other.m_width, 0);
    m_height = std::exchange(other.m_height, 0);
    return *this;
}

void DrawSurface::adopt() {
    m_width = m_image.width();
    m_height = m_image.height();
    if (m_image.isNull()) {
        m_bits = nullptr;
        m_stride = 0;
        return;
    }
    m_bits = reinterpret_cast<QRgb*>(m_image.bits());
    m_stride = m_image.bytesPerLine() / static_cast<std::ptrdiff_t>(sizeof(QRgb));
}

QImage DrawSurface::takeImage() {
    QImage result = std::move(m_image);
    m_image = QImage();
    adopt();
    return result;
}

QRgb DrawSurface::pixel(int x, int y) const {
    return contains(x, y) ? row(y)[x] : 0;
}

void DrawSurface::setPixel(int x, int y, QRgb colour) {
    if (contains(x, y))
        row(y)[x] = opaque | colour;
}

void DrawSurface::invertPixel(int x, int y) {
    if (contains(x, y))
        row(y)[x] ^= colourBits;
}

void DrawSurface::fill(QRgb colour) {
    fillRect(0, 0, m_width, m_height, colour);
}

void DrawSurface::horizontalRun(int y, int x1, int x2, QRgb colour) {
    if (y < 0 || y >= m_height)
        return;
    x1 = std::max(x1, 0);
    x2 = std::min(x2, m_width);
    if (x1 >= x2)
        return;
    std::fill(row(y) + x1, row(y) + x2, opaque | colour);
}

void DrawSurface::fillRect(int left, int top, int right, int bottom, QRgb colour) {
    top = std::max(top, 0);
    bottom = std::min(bottom, m_height);
    for (int y = top; y < bottom; ++y)
        horizontalRun(y, left, right, colour);
}

void DrawSurface::frameRect(int left, int top, int right, int bottom, QRgb colour) {
    if (right <= left || bottom <= top)
        return;
    horizontalRun(top, left, right, colour);
    horizontalRun(bottom - 1, left, right, colour);
    fillRect(left, top + 1, left + 1, bottom - 1, colour);
    fillRect(right - 1, top + 1, right, bottom - 1, colour);
}

void DrawSurface::line(int x1, int y1, int x2, int y2, QRgb colour) {
    if (y1 == y2) {
        // Leaving out the end pixel means a line drawn right to left starts
        // at x1 and stops just before x2.
        if (x1 <= x2)
            horizontalRun(y1, x1, x2, colour);
        else
            horizontalRun(y1, x2 + 1, x1 + 1, colour);
        return;
    }
    if (x1 == x2) {
        if (x1 < 0 || x1 >= m_width)
            return;
        const int from = y1 < y2 ? y1 : y2 + 1;
        const int to = y1 < y2 ? y2 : y1 + 1;
        for (int y = std::max(from, 0); y < std::min(to, m_height); ++y)
            row(y)[x1] = opaque | colour;
        return;
    }
    // Bresenham along the major axis; the last step's pixel is not drawn.
    const long long dx = std::llabs(static_cast<long long>(x2) - x1);
    const long long dy = std::llabs(static_cast<long long>(y2) - y1);
    const int stepX = x1 < x2 ? 1 : -1;
    const int stepY = y1 < y2 ? 1 : -1;
    long long x = x1;
    long long y = y1;
    if (dx >= dy) {
        long long error = 2 * dy - dx;
        for (long long i = 0; i < dx; ++i) {
            if (x >= 0 && y >= 0 && x < m_width && y < m_height)
                row(static_cast<int>(y))[x] = opaque | colour;
            if (error > 0) {
                y += stepY;
                error -= 2 * dx;
            }
            error += 2 * dy;
            x += stepX;
        }
    } else {
        long long error = 2 * dx - dy;
        for (long long i = 0; i < dy; ++i) {
            if (x >= 0 && y >= 0 && x < m_width && y < m_height)
                row(static_cast<int>(y))[x] = opaque | colour;
            if (error > 0) {
                x += stepX;
                error -= 2 * dy;
            }
            error += 2 * dx;
            y += stepY;
        }
    }
}

void BitBlt(DrawSurface& destination, int dx, int dy, int w, int h, const QImage& sourceImage, int sx, int sy,
            RasterOp op) {
    if (w <= 0 || h <= 0 || sourceImage.isNull() || destination.width() == 0 || destination.height() == 0)
        return;
    const QImage source = asThirtyTwoBit(sourceImage);
    // Clip against the source and the destination together, so that neither
    // is ever read or written outside.
    long long x0 = 0, y0 = 0, x1 = w, y1 = h;
    x0 = std::max({x0, -static_cast<long long>(sx), -static_cast<long long>(dx)});
    y0 = std::max({y0, -static_cast<long long>(sy), -static_cast<long long>(dy)});
    x1 = std::min(
        {x1, static_cast<long long>(source.width()) - sx, static_cast<long long>(destination.width()) - dx});
    y1 = std::min({y1, static_cast<long long>(source.height()) - sy,
                   static_cast<long long>(destination.height()) - dy});
    if (x0 >= x1 || y0 >= y1)
        return;
    const bool sameImage = source.constBits() == destination.image().constBits();
    QImage copy;
    const QImage* from = &source;
    if (sameImage) {
        copy = source.copy();
        from = &copy;
    }
    for (long long j = y0; j < y1; ++j) {
        const QRgb* in = sourceRow(*from, static_cast<int>(sy + j)) + sx;
        QRgb* out = destination.row(static_cast<int>(dy + j)) + dx;
        for (long long i = x0; i < x1; ++i)
            out[i] = combine(out[i], in[i], op);
    }
}

void StretchBlt(DrawSurface& destination, int dx, int dy, int dw, int dh, const QImage& sourceImage, int sx,
                int sy, int sw, int sh) {
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || sourceImage.isNull())
        return;
    const QImage source = asThirtyTwoBit(sourceImage);
    // Source span of destination column i: [i*sw/dw, (i+1)*sw/dw), at least one pixel.
    auto spanStart = [](long long i, long long s, long long d) { return i * s / d; };
    auto spanEnd = [&](long long i, long long s, long long d) {
        return std::max(spanStart(i + 1, s, d), spanStart(i, s, d) + 1);
    };
    // Only the destination pixels inside the destination are visited, so a
    // stretch far larger than the image costs no more than the image.
    const long long firstRow = std::max(0LL, -static_cast<long long>(dy));
    const long long endRow =
        std::min(static_cast<long long>(dh), static_cast<long long>(destination.height()) - dy);
    const long long firstColumn = std::max(0LL, -static_cast<long long>(dx));
    const long long endColumn =
        std::min(static_cast<long long>(dw), static_cast<long long>(destination.width()) - dx);
    for (long long j = firstRow; j < endRow; ++j) {
        const int ty = static_cast<int>(dy + j);
        const long long rowFrom = sy + spanStart(j, sh, dh);
        const long long rowTo = sy + spanEnd(j, sh, dh);
        QRgb* out = destination.row(ty);
        for (long long i = firstColumn; i < endColumn; ++i) {
            const int tx = static_cast<int>(dx + i);
            const long long colFrom = sx + spanStart(i, sw, dw);
            const long long colTo = sx + spanEnd(i, sw, dw);
            QRgb value = colourBits;
            bool any = false;
            for (long long y = std::max(rowFrom, 0LL);
                 y < std::min(rowTo, static_cast<long long>(source.height())); ++y) {
                const QRgb* in = sourceRow(source, static_cast<int>(y));
                for (long long x = std::max(colFrom, 0LL);
                     x < std::min(colTo, static_cast<long long>(source.width())); ++x) {
                    value &= in[x];
                    any = true;
                }
            }
            if (any)
                out[tx] = opaque | (value & colourBits);
        }
    }
}

DrawSurface MakeMask(const QImage& sourceImage, int sx, int sy, int w, int h, QRgb colour) {
    DrawSurface mask(w, h, opaque);
    if (sourceImage.isNull())
        return mask;
    const QImage source = asThirtyTwoBit(sourceImage);
    const QRgb key = colour & colourBits;
    for (int j = 0; j < mask.height(); ++j) {
        const long long y = static_cast<long long>(sy) + j;
        if (y < 0 || y >= source.height())
            continue;
        const QRgb* in = sourceRow(source, static_cast<int>(y));
        QRgb* out = mask.row(j);
        for (int i = 0; i < mask.width(); ++i) {
            const long long x = static_cast<long long>(sx) + i;
            if (x >= 0 && x < source.width() && (in[x] & colourBits) == key)
                out[i] = opaque | colourBits;
        }
    }
    return mask;
}

void DrawFocusRect(DrawSurface& surface, int left, int top, int right, int bottom) {
    if (right <= left || bottom <= top)
        return;
    // The dots follow a checkerboard fixed to the surface, so the corners of
    // neighbouring edges line up; each frame pixel is visited once.
    auto dot = [&](int x, int y) {
        if (((x + y) & 1) == 0)
            surface.invertPixel(x, y);
    };
    for (int x = std::max(left, 0); x < std::min(right, surface.width()); ++x) {
        dot(x, top);
        if (bottom - 1 != top)
            dot(x, bottom - 1);
    }
    for (int y = std::max(top + 1, 0); y < std::min(bottom - 1, surface.height()); ++y) {
        dot(left, y);
        if (right - 1 != left)
            dot(right - 1, y);
    }
}
