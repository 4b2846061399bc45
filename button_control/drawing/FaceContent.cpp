#include "button_control/drawing/FacePainter.h"

namespace {

constexpr OleColor buttonShadow = static_cast<OleColor>(0x80000010);
constexpr OleColor highlight3D = static_cast<OleColor>(0x80000014);

// Halving that truncates toward zero, whatever the sign.
int half(int value) {
    return value / 2;
}

} // namespace

void FacePainter::CalcLayout() {
    ContentRect = {4, 4, W - 4, H - 4};
    const int CL = ContentRect.left;
    const int CT = ContentRect.top;
    const int cwid = ContentRect.width();
    const int chgt = ContentRect.height();
    if (!in.picture) {
        CaptionRect = ContentRect;
        MeasureCaption();
        return;
    }
    const int PW = in.PictureWidth;
    const int PH = in.PictureHeight;
    if (in.Caption.isEmpty()) {
        PictureRect.left = CL + half(cwid - PW);
        PictureRect.top = CT + half(chgt - PH);
        PictureRect.right = PictureRect.left + PW;
        PictureRect.bottom = PictureRect.top + PH;
        return;
    }
    CaptionRect = ContentRect;
    MeasureCaption();
    const int tw = CaptionRect.width();
    const int th = CaptionRect.height();
    LongRect& P = PictureRect;
    LongRect& C = CaptionRect;
    switch (in.PicturePosition) {
    case 1:
        P.left = CL + half(cwid - (tw + PW + 4));
        P.top = CT + half(chgt - PH);
        P.right = P.left + PW;
        P.bottom = P.top + PH;
        C.left = P.right + 4;
        C.top = CT + half(chgt - th);
        break;
    case 2:
        C.left = CL + half(cwid - (tw + PW + 4));
        C.top = CT + half(chgt - th);
        C.right = C.left + tw;
        P.left = C.right + 4;
        P.top = CT + half(chgt - PH);
        P.right = P.left + PW;
        P.bottom = P.top + PH;
        break;
    case 0:
        P.left = CL + half(cwid - PW);
        P.top = CT + half(chgt - (PH + 4 + th));
        P.right = P.left + PW;
        P.bottom = P.top + PH;
        C.left = CL + half(cwid - tw);
        C.top = P.bottom + 4;
        break;
    case 3:
        C.left = CL + half(cwid - tw);
        C.top = CT + half(chgt - (PH + 4 + th));
        C.bottom = C.top + th;
        P.left = CL + half(cwid - PW);
        P.top = C.bottom + 4;
        P.right = P.left + PW;
        P.bottom = P.top + PH;
        break;
    default:
        // Other positions keep the caption centred as measured and the
        // picture where the last layout put it.
        break;
    }
    C.right = C.left + tw;
    C.bottom = C.top + th;
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
        d = -3;
    else if (in.IsPressed == 1 && in.ButtonStyle != 2)
        d = 1;
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
    const int PW = in.PictureWidth;
    const int PH = in.PictureHeight;
    if (bitmap.isNull() || natural.isEmpty() || PW <= 0 || PH <= 0)
        return;
    const int NW = natural.width();
    const int NH = natural.height();
    if (mode == 1) {
        DrawSurface a(NW, NH);
        DrawStateImage(a, 0, 0, bitmap, ImageKind::Bitmap, StateLook::Normal, 0);
        DrawSurface b(PW, PH);
        StretchBlt(b, 0, 0, PW, PH, a.image(), 0, 0, NW, NH);
        BlitTransparent(surface, b.image(), {0, 0, PW, PH}, rect.left, rect.top, in.MaskColor);
        return;
    }
    DrawSurface a(NW, NH, 0xFFFFFFFFu);
    BlitTransparent(a, bitmap, {0, 0, NW, NH}, 0, 0, in.MaskColor);
    DrawSurface b(PW, PH);
    StretchBlt(b, 0, 0, PW, PH, a.image(), 0, 0, NW, NH);
    DrawStateImage(surface, rect.left, rect.top, b.image(), ImageKind::Bitmap,
                   grey == 1 ? StateLook::Mono : StateLook::Disabled, MakeRgb(146, 146, 146));
}

void FacePainter::DrawIconPicture(int mode, const LongRect& rect, int grey) {
    const QImage& icon = in.picture->image;
    const QSize natural = naturalSize();
    if (icon.isNull() || natural.isEmpty())
        return;
    const int NW = natural.width();
    const int NH = natural.height();
    const int width = rect.width();
    const int height = rect.height();
    if (width <= 0 || height <= 0)
        return;
    if (mode == 1) {
        // The icon's natural rectangle stretched over the target, its own
        // alpha deciding what shows through.
        const QImage source = icon.convertToFormat(QImage::Format_ARGB32);
        for (int j = 0; j < height; ++j) {
            const long long sy = static_cast<long long>(j) * NH / height;
            if (sy >= source.height())
                continue;
            const QRgb* in = reinterpret_cast<const QRgb*>(source.constScanLine(static_cast<int>(sy)));
            for (int i = 0; i < width; ++i) {
                const long long sx = static_cast<long long>(i) * NW / width;
                if (sx >= source.width())
                    continue;
                const int x = rect.left + i;
                const int y = rect.top + j;
                if (!surface.contains(x, y))
                    continue;
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
    DrawSurface a(NW, NH);
    DrawStateImage(a, 0, 0, icon, ImageKind::Icon, grey == 1 ? StateLook::Mono : StateLook::Disabled,
                   MakeRgb(146, 146, 146));
    DrawSurface b(width, height);
    StretchBlt(b, 0, 0, width, height, a.image(), 0, 0, NW, NH);
    BlitTransparent(surface, b.image(), {0, 0, in.PictureWidth, in.PictureHeight}, rect.left, rect.top, 0);
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
        CaptionRect = CaptionRect.moved(1);
    const QFont font = captionFont();
    if (in.Enabled) {
        DrawCaptionText(surface, CaptionRect, in.Caption, font, foreground);
    } else {
        DrawCaptionText(surface, CaptionRect.moved(1), in.Caption, font, ResolveColor(highlight3D));
        DrawCaptionText(surface, CaptionRect, in.Caption, font, ResolveColor(buttonShadow));
    }
    CaptionRect = ScratchRect;
}
