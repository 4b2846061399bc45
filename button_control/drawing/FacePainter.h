#pragma once

#include "button_control/drawing/ButtonFace.h"
#include "button_control/drawing/DrawSurface.h"
#include "button_control/drawing/FaceColors.h"

#include <QList>
#include <QSize>
#include <QString>

#include <functional>

// A rectangle as the drawing code reasons about it: (left, top, right,
// bottom), right and bottom exclusive, any side may be negative.
struct LongRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    LongRect moved(int d) const { return {left + d, top + d, right + d, bottom + d}; }
    friend bool operator==(const LongRect&, const LongRect&) = default;
};
QRect ToQRect(const LongRect& rect);
LongRect FromQRect(const QRect& rect);

enum class RectMode { Frame = 0, Fill = 1 };

// A one-pixel line in an RGB value, without its end pixel.
void DrawLine(DrawSurface& surface, int x1, int y1, int x2, int y2, RgbValue colour);
// Fills the rectangle or draws its frame inside it, in an OLE colour.
void DrawRect(DrawSurface& surface, int left, int top, int right, int bottom, OleColor colour, RectMode mode);

// Copies the source rectangle to (dx, dy) of the destination, leaving out the
// pixels of the transparent colour, through two masks and two working images
// as the raster operations allow. The transparent colour is taken as the RGB
// value of its low 24 bits, never looked up as a system colour. Parts of the
// rectangle outside the source are not copied.
void BlitTransparent(DrawSurface& destination, const QImage& source, LongRect sourceRect, int dx, int dy,
                     OleColor transparent);

// The looks of an image drawn for a state: as it is, embossed (disabled), or
// a flat silhouette in one brush colour. Embossed and flat looks draw only
// the image's ink: for a bitmap every pixel that is not white, for an icon
// every opaque pixel that does not show white.
enum class StateLook { Normal, Disabled, Mono };
enum class ImageKind { Bitmap, Icon };
void DrawStateImage(DrawSurface& surface, int x, int y, const QImage& image, ImageKind kind, StateLook look,
                    RgbValue brush);

// A caption as shown: "&x" shows x underlined (the access key), "&&" shows
// one ampersand. underlined holds positions in text.
struct AccessKeyText {
    QString text;
    QList<int> underlined;
};
AccessKeyText StripAccessKeyPrefixes(const QString& caption);

// Size of a caption laid out with word breaks at the given width, margins
// included; (0, 0) for an empty caption.
QSize MeasureCaptionText(const QString& caption, const QFont& font, int width);
// Draws the caption centred in the rectangle, with access-key underlines.
void DrawCaptionText(DrawSurface& surface, const LongRect& rect, const QString& caption, const QFont& font,
                     RgbValue colour);

// How one side of the face maps onto device pixels. The `band` pixels along
// each edge, where borders, bevels and rings lie, take `line` device pixels
// each; the inside between the bands stretches over the rest.
struct FaceAxis {
    FaceAxis(int pixels, double ratio, int band);
    // Over a given number of device pixels, as a control placed between
    // device pixels covers.
    FaceAxis(int pixels, int devicePixels, double ratio, int band);
    int pixels = 0;
    int devicePixels = 0;
    int line = 1;
    int band = 0;
    // Device position of the pixel edge x; beyond the face it goes on at `line`.
    int toDevice(int x) const;
    // Where a device pixel samples the 1x face, in pixel-centre coordinates:
    // a whole pixel in the bands, a fraction between pixels inside.
    double toPixel(int d) const;
    bool inBand(int d) const { return d < band * line || d >= devicePixels - band * line; }
};
// The band of a face: deep enough for its widest bevel.
int FaceEdgeBand(const FaceInputs& inputs);
// Whether a redraw draws the dotted focus rectangle.
bool ShowsFocusRectangle(const FaceInputs& inputs);

// The steps of one redraw, each reading the control's inputs and the surface
// as the button's own code does. PaintButtonFace runs them in order; tests
// run single steps.
class FacePainter {
public:
    FacePainter(const FaceInputs& inputs, FaceMemory& memory, DrawSurface& surface);

    void Clear();
    void SetFaceColor();
    // Clear, face colour, border (none for style 4) and layout: the frame
    // every redraw starts with, at any resolution.
    void DrawFrameAndLayout();
    void DrawBorder();
    void DrawBevelRaised(RgbValue base, int rings, int depth);
    void DrawBevelSunken(RgbValue base, int rings, int depth);
    void DrawDefaultFrame(RgbValue base, int rings, int depth);
    void DrawRoundFace(int state, int hover);
    void DrawParentBackground();
    void CalcLayout();
    void MeasureCaption();
    void DrawPicture();
    void DrawBitmapPicture(int mode, const LongRect& rect, int grey);
    void DrawIconPicture(int mode, const LongRect& rect, int grey);
    void DrawFocusRectangle();
    void DrawCaption();

    // Writes the layout rectangles back into the memory.
    void KeepLayout();

    // How a caption is measured; tests put in sizes they control.
    std::function<QSize(const QString& caption, const QFont& font, int width)> measure = MeasureCaptionText;

    // Device pixels per pixel for the shifts of a pressed, lifted or embossed
    // caption and picture; 1 on the button's own pixel grid.
    int unit = 1;

    LongRect ContentRect;
    LongRect PictureRect;
    LongRect CaptionRect;
    LongRect ScratchRect;

private:
    void setFaceColour(OleColor colour);
    void raised();
    void sunken();
    void oneRaisedEdge();
    void oneSunkenEdge();
    void gradient(RgbValue from, int divisor, bool reversed);
    void outline();
    void ring(OleColor colour, const int (&amounts)[5]);
    QSize naturalSize() const;
    QFont captionFont() const;

    const FaceInputs& in;
    FaceMemory& memory;
    DrawSurface& surface;
    int W;
    int H;
};
