#include "button_control/drawing/FacePainter.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

constexpr OleColor buttonShadow = static_cast<OleColor>(0x80000010);
constexpr OleColor highlight3D = static_cast<OleColor>(0x80000014);
constexpr QRgb black = 0xFF000000u;
constexpr QRgb white = 0xFFFFFFFFu;

// Halving that truncates toward zero, whatever the sign.
std::int64_t half(std::int64_t value) {
    return value / 2;
}

// Picture sizes are never checked, so the layout adds them up in 64 bits and
// brings the sides back into the range of a pixel coordinate.
int pixels(std::int64_t value) {
    return static_cast<int>(
        std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// The part [first, end) of a picture drawn at `at` over `length` pixels that
// can show on a surface `limit` pixels long; `before` more pixels ahead of it
// when the look also draws one pixel further on.
struct Span {
    std::int64_t first;
    std::int64_t end;
    bool isEmpty() const { return end <= first; }
    int length() const { return static_cast<int>(end - first); }
};
Span visibleSpan(std::int64_t at, std::int64_t length, int limit, int before) {
    return {std::max<std::int64_t>(0, -at - before), std::min<std::int64_t>(length, limit - at)};
}

// A working image of the picture's natural size holds nothing beyond the
// picture but its fill; one pixel of that fill past the picture stretches
// the same as any amount of it, so the image need be no larger.
int workingExtent(int natural, int own) {
    return static_cast<int>(std::min<std::int64_t>(natural, static_cast<std::int64_t>(own) + 1));
}

} // namespace

void FacePainter::CalcLayout() {
    ContentRect = {4, 4, W - 4, H - 4};
    const std::int64_t CL = ContentRect.left;
    const std::int64_t CT = ContentRect.top;
    const std::int64_t cwid = ContentRect.width();
    const std::int64_t chgt = ContentRect.height();
    if (!in.picture) {
        CaptionRect = ContentRect;
        MeasureCaption();
        return;
    }
    const std::int64_t PW = in.PictureWidth;
    const std::int64_t PH = in.PictureHeight;
    const auto placePicture = [&](std::int64_t left, std::int64_t top) {
        PictureRect = {pixels(left), pixels(top), pixels(left + PW), pixels(top + PH)};
    };
    if (in.Caption.isEmpty()) {
        placePicture(CL + half(cwid - PW), CT + half(chgt - PH));
        return;
    }
    CaptionRect = ContentRect;
    MeasureCaption();
    const std::int64_t tw = CaptionRect.width();
    const std::int64_t th = CaptionRect.height();
    const auto placeCaption = [&](std::int64_t left, std::int64_t top) {
        CaptionRect = {pixels(left), pixels(top), pixels(left + tw), pixels(top + th)};
    };
    switch (in.PicturePosition) {
    case 1: {
        const std::int64_t pictureLeft = CL + half(cwid - (tw + PW + 4));
        placePicture(pictureLeft, CT + half(chgt - PH));
        placeCaption(pictureLeft + PW + 4, CT + half(chgt - th));
        break;
    }
    case 2: {
        const std::int64_t captionLeft = CL + half(cwid - (tw + PW + 4));
        placeCaption(captionLeft, CT + half(chgt - th));
        placePicture(captionLeft + tw + 4, CT + half(chgt - PH));
        break;
    }
    case 0: {
        const std::int64_t pictureTop = CT + half(chgt - (PH + 4 + th));
        placePicture(CL + half(cwid - PW), pictureTop);
        placeCaption(CL + half(cwid - tw), pictureTop + PH + 4);
        break;
    }
    case 3: {
        const std::int64_t captionTop = CT + half(chgt - (PH + 4 + th));
        placeCaption(CL + half(cwid - tw), captionTop);
        placePicture(CL + half(cwid - PW), captionTop + th + 4);
        break;
    }
    default:
        // Other positions keep the caption centred as measured and the
        // picture where the last layout put it.
        break;
    }
}

void FacePainter::MeasureCaption() {
    const QSize measured = measure(in.Caption, captionFont(), CaptionRect.width());
    const int tw = measured.width();
    const int th = measured.height();
    CaptionRect.left = ContentRect.left + half(ContentRect.width() - tw);
    CaptionRect.top = ContentRect.top + half(ContentRect.height() - th);
    CaptionRect.right = CaptionRect.left + tw;
    CaptionRect.bottom = CaptionRect.top + th;
}

void FacePainter::DrawPicture() {
    if (!in.picture)
        return;
    ScratchRect = PictureRect;
    const bool liftedHover = in.IsHover == 1 && in.IsPressed == 0 && in.ButtonStyle == 2;
    int d = 0;
    if (liftedHover)
        d = -3 * unit;
    else if (in.IsPressed == 1 && in.ButtonStyle != 2)
        d = unit;
    PictureRect = PictureRect.moved(d);

    const Picture::Kind kind = in.picture->kind;
    if (kind == Picture::Kind::Bitmap || kind == Picture::Kind::Icon) {
        auto draw = [&](int mode, const LongRect& rect, int grey) {
            if (kind == Picture::Kind::Bitmap)
                DrawBitmapPicture(mode, rect, grey);
            else
                DrawIconPicture(mode, rect, grey);
        };
        if (!in.Enabled) {
            draw(0, PictureRect, 0);
        } else {
            if (liftedHover)
                draw(0, ScratchRect, 1);
            draw(1, PictureRect, 0);
        }
    }
    PictureRect = ScratchRect;
}

QSize FacePainter::naturalSize() const {
    // The size recorded when the picture was set; a picture stored without
    // one (0 x 0) is taken at its own size rather than drawn as nothing
    // through empty working images.
    const QSize recorded(in.OriginalPicSizeW, in.OriginalPicSizeH);
    if (recorded.width() > 0 && recorded.height() > 0)
        return recorded;
    return in.picture ? in.picture->size() : QSize();
}

void FacePainter::DrawBitmapPicture(int mode, const LongRect& rect, int grey) {
    const QImage& bitmap = in.picture->image;
    const QSize natural = naturalSize();
    const std::int64_t PW = in.PictureWidth;
    const std::int64_t PH = in.PictureHeight;
    if (bitmap.isNull() || natural.isEmpty() || PW <= 0 || PH <= 0)
        return;
    const int NW = natural.width();
    const int NH = natural.height();
    // The working images hold only what can show: the stretched picture B
    // only where it lands on the face (a pixel more ahead of it for the
    // embossed look), so sizes far beyond the face cost no more than the face.
    const int before = mode == 1 ? 0 : 1;
    const Span xs = visibleSpan(rect.left, PW, W, before);
    const Span ys = visibleSpan(rect.top, PH, H, before);
    if (xs.isEmpty() || ys.isEmpty())
        return;
    const QRgb fill = mode == 1 ? black : white;
    DrawSurface a(workingExtent(NW, bitmap.width()), workingExtent(NH, bitmap.height()), fill);
    if (mode == 1)
        DrawStateImage(a, 0, 0, bitmap, ImageKind::Bitmap, StateLook::Normal, 0);
    else
        BlitTransparent(a, bitmap, {0, 0, NW, NH}, 0, 0, in.MaskColor);
    DrawSurface b(xs.length(), ys.length(), fill);
    StretchBlt(b, static_cast<int>(-xs.first), static_cast<int>(-ys.first), static_cast<int>(PW),
               static_cast<int>(PH), a.image(), 0, 0, NW, NH);
    const int x = static_cast<int>(rect.left + xs.first);
    const int y = static_cast<int>(rect.top + ys.first);
    if (mode == 1)
        BlitTransparent(surface, b.image(), {0, 0, b.width(), b.height()}, x, y, in.MaskColor);
    else
        DrawStateImage(surface, x, y, b.image(), ImageKind::Bitmap,
                       grey == 1 ? StateLook::Mono : StateLook::Disabled, MakeRgb(146, 146, 146));
}

void FacePainter::DrawIconPicture(int mode, const LongRect& rect, int grey) {
    const QImage& icon = in.picture->image;
    const QSize natural = naturalSize();
    if (icon.isNull() || natural.isEmpty())
        return;
    const int NW = natural.width();
    const int NH = natural.height();
    const std::int64_t width = static_cast<std::int64_t>(rect.right) - rect.left;
    const std::int64_t height = static_cast<std::int64_t>(rect.bottom) - rect.top;
    if (width <= 0 || height <= 0)
        return;
    const Span xs = visibleSpan(rect.left, width, W, 0);
    const Span ys = visibleSpan(rect.top, height, H, 0);
    if (xs.isEmpty() || ys.isEmpty())
        return;
    if (mode == 1) {
        // The icon's natural rectangle stretched over the target, its own
        // alpha deciding what shows through.
        const QImage source = icon.convertToFormat(QImage::Format_ARGB32);
        for (std::int64_t j = ys.first; j < ys.end; ++j) {
            const std::int64_t sy = j * NH / height;
            if (sy >= source.height())
                continue;
            const QRgb* in = reinterpret_cast<const QRgb*>(source.constScanLine(static_cast<int>(sy)));
            for (std::int64_t i = xs.first; i < xs.end; ++i) {
                const std::int64_t sx = i * NW / width;
                if (sx >= source.width())
                    continue;
                const int x = static_cast<int>(rect.left + i);
                const int y = static_cast<int>(rect.top + j);
                const QRgb over = in[sx];
                const int alpha = qAlpha(over);
                if (alpha == 0)
                    continue;
                const QRgb under = surface.pixel(x, y);
                auto mix = [alpha](int o, int u) { return (o * alpha + u * (255 - alpha) + 127) / 255; };
                surface.setPixel(x, y,
                                 qRgb(mix(qRed(over), qRed(under)), mix(qGreen(over), qGreen(under)),
                                      mix(qBlue(over), qBlue(under))));
            }
        }
        return;
    }
    // The embossed look draws one pixel past the icon.
    DrawSurface a(workingExtent(NW, icon.width() + 1), workingExtent(NH, icon.height() + 1), black);
    DrawStateImage(a, 0, 0, icon, ImageKind::Icon, grey == 1 ? StateLook::Mono : StateLook::Disabled,
                   MakeRgb(146, 146, 146));
    DrawSurface b(xs.length(), ys.length(), black);
    StretchBlt(b, static_cast<int>(-xs.first), static_cast<int>(-ys.first), pixels(width), pixels(height),
               a.image(), 0, 0, NW, NH);
    BlitTransparent(surface, b.image(), {0, 0, b.width(), b.height()}, static_cast<int>(rect.left + xs.first),
                    static_cast<int>(rect.top + ys.first), 0);
}

void FacePainter::DrawFocusRectangle() {
    DrawFocusRect(surface, 4, 4, W - 4, H - 4);
}

QFont FacePainter::captionFont() const {
    // Crisp glyphs as on the classic desktop: the embossed disabled caption
    // needs whole pixels to show its two colours.
    QFont font = in.font;
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

void FacePainter::DrawCaption() {
    if (in.Caption.isEmpty())
        return;
    const RgbValue foreground = ResolveColor(in.ForeColor);
    ScratchRect = CaptionRect;
    if (in.IsPressed == 1 && in.ButtonStyle != 2)
        CaptionRect = CaptionRect.moved(unit);
    const QFont font = captionFont();
    if (in.Enabled) {
        DrawCaptionText(surface, CaptionRect, in.Caption, font, foreground);
    } else {
        DrawCaptionText(surface, CaptionRect.moved(unit), in.Caption, font, ResolveColor(highlight3D));
        DrawCaptionText(surface, CaptionRect, in.Caption, font, ResolveColor(buttonShadow));
    }
    CaptionRect = ScratchRect;
}
