#include "button_control/drawing/FacePainter.h"

#include <QPaintEngine>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Where one device row or column samples the 1x face: between pixels i0
// and i1, weight f on i1; whole coordinates give the pixel itself.
struct Tap {
    int i0 = 0;
    int i1 = 0;
    double f = 0;
};

// The taps of every device pixel along one side, worked out once per face
// rather than once per device pixel.
std::vector<Tap> tapsOf(const FaceAxis& axis) {
    std::vector<Tap> taps(static_cast<std::size_t>(axis.devicePixels));
    for (int d = 0; d < axis.devicePixels; ++d) {
        const double at = axis.toPixel(d);
        const int i0 = std::clamp(static_cast<int>(std::floor(at)), 0, axis.pixels - 1);
        taps[static_cast<std::size_t>(d)] = {i0, std::min(i0 + 1, axis.pixels - 1), at - std::floor(at)};
    }
    return taps;
}

// Bilinear sample of the 1x face between rows r0 and r1.
QRgb sample(const QRgb* r0, const QRgb* r1, const Tap& x, double fy) {
    const QRgb a = r0[x.i0];
    const QRgb b = r0[x.i1];
    const QRgb c = r1[x.i0];
    const QRgb d = r1[x.i1];
    const double fx = x.f;
    auto mix = [&](int (*channel)(QRgb)) {
        const double top = channel(a) * (1 - fx) + channel(b) * fx;
        const double bottom = channel(c) * (1 - fx) + channel(d) * fx;
        return static_cast<int>(std::lround(top * (1 - fy) + bottom * fy));
    };
    return qRgb(mix(qRed), mix(qGreen), mix(qBlue));
}

LongRect toDevice(const LongRect& rect, const FaceAxis& x, const FaceAxis& y) {
    return {x.toDevice(rect.left), y.toDevice(rect.top), x.toDevice(rect.right), y.toDevice(rect.bottom)};
}

QFont deviceFont(QFont font, double ratio) {
    if (font.pixelSize() > 0)
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pixelSize() * ratio))));
    else
        font.setPointSizeF(font.pointSizeF() * ratio);
    return font;
}

// The dotted focus frame with dots and lines `line` device pixels wide, on a
// checkerboard of line-sized squares as the 1x frame is on single pixels.
void deviceFocusRect(DrawSurface& surface, const LongRect& rect, int line) {
    if (rect.width() < 2 * line || rect.height() < 2 * line)
        return;
    auto dot = [&](int x, int y) {
        if (((x / line + y / line) & 1) == 0)
            surface.invertPixel(x, y);
    };
    for (int y = rect.top; y < rect.bottom; ++y) {
        const bool edgeRow = y < rect.top + line || y >= rect.bottom - line;
        for (int x = rect.left; x < rect.right; ++x)
            if (edgeRow || x < rect.left + line || x >= rect.right - line)
                dot(x, y);
    }
}

// The cut corners of style 3 on the device. Without a given visible part
// the window region is cut in the same line-sized steps as the face. A
// visible part rounded otherwise (a control between device pixels) decides
// alone what shows: every pixel of it is opaque, and those within one line
// of its edge, along a row or a column, take the outline's colour where the
// face has no outline of its own, so that the outline follows the region.
// The 1x region leaves (1, 1) and its mirrors as the corner's outline.
QImage cutCorners(QImage image, const DrawSurface& frame, const FaceAxis& ax, const FaceAxis& ay,
                  const QRegion& visible) {
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int W = ax.pixels;
    const int H = ay.pixels;
    const QRegion region = MakeRoundRegion(W, H);
    const int line = ax.line;
    const auto pixelAt = [&](int dx, int dy) {
        return QPoint(static_cast<int>(ax.toPixel(dx)), static_cast<int>(ay.toPixel(dy)));
    };
    const auto shows = [&](int dx, int dy) {
        if (dx < 0 || dy < 0 || dx >= image.width() || dy >= image.height())
            return false;
        return visible.isEmpty() ? region.contains(pixelAt(dx, dy)) : visible.contains(QPoint(dx, dy));
    };
    const auto nearEdge = [&](int dx, int dy) {
        for (int k = 1; k <= line; ++k)
            if (!shows(dx - k, dy) || !shows(dx + k, dy) || !shows(dx, dy - k) || !shows(dx, dy + k))
                return true;
        return false;
    };
    const auto isOutline = [&](QPoint p) {
        return p.x() == 0 || p.y() == 0 || p.x() == W - 1 || p.y() == H - 1 ||
               ((p.x() == 1 || p.x() == W - 2) && (p.y() == 1 || p.y() == H - 2));
    };
    for (int dy = 0; dy < image.height(); ++dy) {
        if (!ay.inBand(dy))
            continue;
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(dy));
        for (int dx = 0; dx < image.width(); ++dx) {
            if (!ax.inBand(dx))
                continue;
            if (!shows(dx, dy)) {
                row[dx] = 0;
                continue;
            }
            const QPoint p = pixelAt(dx, dy);
            if (region.contains(p) && (isOutline(p) || !nearEdge(dx, dy)))
                continue;
            const QPoint corner(p.x() < W / 2 ? 1 : W - 2, p.y() < H / 2 ? 1 : H - 2);
            row[dx] = frame.pixel(corner.x(), corner.y()) | 0xFF000000u;
        }
    }
    return image;
}

} // namespace

FaceAxis::FaceAxis(int count, double ratio, int edgeBand)
    : FaceAxis(count, DeviceExtent(count, ratio), ratio, edgeBand) {}

FaceAxis::FaceAxis(int count, int deviceCount, double ratio, int edgeBand)
    : pixels(count), devicePixels(std::max(0, deviceCount)), line(FaceLineWidth(ratio)) {
    band = std::clamp(edgeBand, 0, std::max(0, std::min(pixels / 2, devicePixels / (2 * line))));
}

int FaceAxis::toDevice(int x) const {
    if (x <= band)
        return x * line;
    if (x >= pixels - band)
        return devicePixels - (pixels - x) * line;
    const int inside = pixels - 2 * band;
    const int deviceInside = devicePixels - 2 * band * line;
    return band * line + static_cast<int>(std::lround(static_cast<double>(x - band) * deviceInside / inside));
}

double FaceAxis::toPixel(int d) const {
    if (d < band * line)
        return d / line;
    if (d >= devicePixels - band * line)
        return pixels - 1 - (devicePixels - 1 - d) / line;
    const int inside = pixels - 2 * band;
    const int deviceInside = devicePixels - 2 * band * line;
    if (inside <= 0)
        return d < devicePixels / 2 ? band - 1 : band;
    const double centre = band - 0.5 + (d + 0.5 - band * line) * inside / deviceInside;
    return std::clamp(centre, static_cast<double>(band), static_cast<double>(pixels - band - 1));
}

int FaceLineWidth(double ratio) {
    return std::max(1, static_cast<int>(std::floor(ratio + 0.5)));
}

int DeviceExtent(int pixels, double ratio) {
    return std::max(0, static_cast<int>(std::ceil(pixels * ratio - 1e-9)));
}

int FaceEdgeBand(const FaceInputs& inputs) {
    // Style 3's rings lie in the outer four pixels, the focus rectangle and
    // the content start inside them; graded bevels take BEVEL + 1 rings.
    return std::max(4, static_cast<int>(inputs.BEVEL) + 1);
}

QImage PaintButtonFaceAt(const FaceInputs& inputs, FaceMemory& memory, double ratio) {
    DevicePlacement placement;
    placement.ratio = ratio;
    placement.rect = QRect(0, 0, DeviceExtent(inputs.width, ratio), DeviceExtent(inputs.height, ratio));
    return PaintButtonFaceAt(inputs, memory, placement);
}

DevicePlacement PlaceOnDevice(const QTransform& toDevice, double ratio, QSize pixels, const QRegion& region) {
    // QTransform maps a region rectangle by rectangle with its edges rounded
    // to the nearest device pixel, exactly as the window system clips a
    // control to its area and region.
    DevicePlacement placement;
    placement.ratio = ratio;
    placement.rect = toDevice.map(QRegion(QRect(QPoint(0, 0), pixels))).boundingRect();
    if (!region.isEmpty())
        placement.visible = toDevice.map(region).translated(-placement.rect.topLeft());
    return placement;
}

double PaintedDeviceRatio(const QPainter& painter) {
    const QPaintEngine* engine = painter.paintEngine();
    const QPaintDevice* device = engine && engine->paintDevice() ? engine->paintDevice() : painter.device();
    return device ? device->devicePixelRatioF() : 1.0;
}

QImage PaintButtonFaceAt(const FaceInputs& inputs, FaceMemory& memory, const DevicePlacement& placement) {
    const double ratio = placement.ratio;
    if (!(ratio > 1.0) || inputs.width <= 0 || inputs.height <= 0 || placement.rect.isEmpty())
        return PaintButtonFace(inputs, memory);

    // The frame at 1x: the same steps as a 1x redraw up to the layout.
    DrawSurface frame(inputs.width, inputs.height);
    FacePainter layout(inputs, memory, frame);
    layout.DrawFrameAndLayout();
    layout.KeepLayout();

    const int band = FaceEdgeBand(inputs);
    const FaceAxis ax(inputs.width, placement.rect.width(), ratio, band);
    const FaceAxis ay(inputs.height, placement.rect.height(), ratio, band);
    DrawSurface device(ax.devicePixels, ay.devicePixels);
    const std::vector<Tap> xs = tapsOf(ax);
    const std::vector<Tap> ys = tapsOf(ay);
    for (int dy = 0; dy < device.height(); ++dy) {
        QRgb* row = device.row(dy);
        const Tap& y = ys[static_cast<std::size_t>(dy)];
        const QRgb* r0 = frame.row(y.i0);
        const QRgb* r1 = frame.row(y.i1);
        for (int dx = 0; dx < device.width(); ++dx)
            row[dx] = sample(r0, r1, xs[static_cast<std::size_t>(dx)], y.f);
    }

    FaceInputs scaled = inputs;
    scaled.width = device.width();
    scaled.height = device.height();
    scaled.font = deviceFont(inputs.font, ratio);
    const LongRect pictureRect = toDevice(layout.PictureRect, ax, ay);
    scaled.PictureWidth = pictureRect.width();
    scaled.PictureHeight = pictureRect.height();
    FaceMemory scratch = memory;
    FacePainter content(scaled, scratch, device);
    content.unit = ax.line;
    content.ContentRect = toDevice(layout.ContentRect, ax, ay);
    content.PictureRect = pictureRect;
    content.DrawPicture();
    if (ShowsFocusRectangle(inputs))
        deviceFocusRect(device, toDevice({4, 4, inputs.width - 4, inputs.height - 4}, ax, ay), ax.line);
    if (!inputs.Caption.isEmpty()) {
        // Centred where the 1x caption is, as large as the device text needs.
        const LongRect mapped = toDevice(layout.CaptionRect, ax, ay);
        QFont font = scaled.font;
        font.setStyleStrategy(QFont::NoAntialias);
        const QSize need = content.measure(inputs.Caption, font, mapped.width());
        const int w = std::max(mapped.width(), need.width());
        const int h = std::max(mapped.height(), need.height());
        const int left = mapped.left - (w - mapped.width()) / 2;
        const int top = mapped.top - (h - mapped.height()) / 2;
        content.CaptionRect = {left, top, left + w, top + h};
        content.DrawCaption();
    }

    QImage image = device.takeImage();
    if (inputs.ButtonStyle == 3)
        image = cutCorners(std::move(image), frame, ax, ay, placement.visible);
    image.setDevicePixelRatio(ratio);
    return image;
}
