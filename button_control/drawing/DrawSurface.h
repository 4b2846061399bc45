#pragma once

#include <QImage>
#include <QRgb>

#include <cstdint>

// The button's off-screen drawing surface: a Format_RGB32 image with the
// pixel rules of the classic Windows device context the button was designed
// on. Rectangles are (left, top, right, bottom) with right and bottom
// exclusive, lines leave out their end pixel, frames lie inside their
// rectangle, and everything is clipped at the image's edges. Pixels are
// written straight into the scanlines: a redraw happens on every hover and
// press, and going through QPainter for each line costs twenty times more.
class DrawSurface {
public:
    DrawSurface() = default;
    // A new width x height surface filled with colour (negative sizes give an
    // empty surface).
    DrawSurface(int width, int height, QRgb colour = 0xFF000000u);
    explicit DrawSurface(QImage image);

    DrawSurface(const DrawSurface&) = delete;
    DrawSurface& operator=(const DrawSurface&) = delete;
    DrawSurface(DrawSurface&& other) noexcept;
    DrawSurface& operator=(DrawSurface&& other) noexcept;

    int width() const { return m_width; }
    int height() const { return m_height; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < m_width && y < m_height; }

    // The image holds the pixels; painting on it with QPainter is allowed
    // between the surface's own operations. The surface writes straight into
    // the pixels, so a copy of the image taken while the surface is still
    // drawing would change with it: take the result with takeImage().
    QImage& image() { return m_image; }
    const QImage& image() const { return m_image; }
    QImage takeImage();

    // 0 (black, no alpha) for a point outside.
    QRgb pixel(int x, int y) const;
    void setPixel(int x, int y, QRgb colour);
    void invertPixel(int x, int y);

    void fill(QRgb colour);
    void fillRect(int left, int top, int right, int bottom, QRgb colour);
    // One-pixel frame inside the rectangle; an empty rectangle draws nothing.
    void frameRect(int left, int top, int right, int bottom, QRgb colour);
    // From (x1, y1) up to but not including (x2, y2).
    void line(int x1, int y1, int x2, int y2, QRgb colour);

    QRgb* row(int y) { return m_bits + static_cast<std::ptrdiff_t>(y) * m_stride; }
    const QRgb* row(int y) const { return m_bits + static_cast<std::ptrdiff_t>(y) * m_stride; }

private:
    void adopt();
    void horizontalRun(int y, int x1, int x2, QRgb colour); // x1 <= x2, x2 exclusive, clipped here

    QImage m_image;
    QRgb* m_bits = nullptr;
    std::ptrdiff_t m_stride = 0; // in pixels
    int m_width = 0;
    int m_height = 0;
};

// The raster operations the face needs; pixels combine in their 24 colour
// bits, and the result stays opaque.
enum class RasterOp { SrcCopy, SrcAnd, SrcInvert, NotSrcCopy };

// Copies w x h pixels of source from (sx, sy) to (dx, dy) of destination with
// op. Only pixels inside both images take part.
void BitBlt(DrawSurface& destination, int dx, int dy, int w, int h, const QImage& source, int sx, int sy,
            RasterOp op);

// Stretches the source rectangle (sx, sy, sw x sh) onto the destination
// rectangle (dx, dy, dw x dh). Enlarging repeats pixels; shrinking ANDs the
// pixels that fall together, so dark lines survive on a light picture.
void StretchBlt(DrawSurface& destination, int dx, int dy, int dw, int dh, const QImage& source, int sx,
                int sy, int sw, int sh);

// A w x h monochrome mask of source from (sx, sy): white where the pixel has
// the colour, black elsewhere and outside the source.
DrawSurface MakeMask(const QImage& source, int sx, int sy, int w, int h, QRgb colour);

// The dotted focus rectangle: every other pixel of the rectangle's frame
// inverted, so that drawing it twice restores the surface.
void DrawFocusRect(DrawSurface& surface, int left, int top, int right, int bottom);
