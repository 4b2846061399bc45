#include "button_control/drawing/FacePainter.h"

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

} // namespace

FaceAxis::FaceAxis(int count, double ratio, int edgeBand)
    : pixels(count), devicePixels(DeviceExtent(count, ratio)), line(FaceLineWidth(ratio)) {
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
    if (!(ratio > 1.0) || inputs.width <= 0 || inputs.height <= 0)
        return PaintButtonFace(inputs, memory);

    // The frame at 1x: the same steps as a 1x redraw up to the layout.
    DrawSurface frame(inputs.width, inputs.height);
    FacePainter layout(inputs, memory, frame);
    layout.DrawFrameAndLayout();
    layout.KeepLayout();

    const int band = FaceEdgeBand(inputs);
    const FaceAxis ax(inputs.width, ratio, band);
    const FaceAxis ay(inputs.height, ratio, band);
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
    if (inputs.ButtonStyle == 3) {
        // The cut corners of the window region, in the same line-sized steps.
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const QRegion region = MakeRoundRegion(inputs.width, inputs.height);
        for (int dy = 0; dy < image.height(); ++dy) {
            if (!ay.inBand(dy))
                continue;
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(dy));
            const int y = static_cast<int>(ay.toPixel(dy));
            for (int dx = 0; dx < image.width(); ++dx)
                if (ax.inBand(dx) && !region.contains(QPoint(static_cast<int>(ax.toPixel(dx)), y)))
                    row[dx] = 0;
        }
    }
    image.setDevicePixelRatio(ratio);
    return image;
}
