#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QTransform>

#include <cstdint>
#include <optional>

// What the button control hands its painter: everything one redraw reads.
// The painter is kept apart from the widget so that tests render faces into
// images without a window.

// A picture object. "None" is an empty std::optional<Picture>; an empty
// picture is a Picture of kind Empty (it holds no image and draws nothing).
struct Picture {
    enum class Kind { Empty, Bitmap, Icon };
    Kind kind = Kind::Empty;
    QImage image; // Bitmap: opaque RGB pixels; Icon: with its own alpha

    static Picture bitmap(QImage image) { return {Kind::Bitmap, std::move(image)}; }
    static Picture icon(QImage image) { return {Kind::Icon, std::move(image)}; }
    // Natural size in pixels (0 x 0 for an empty picture).
    QSize size() const { return image.size(); }
    friend bool operator==(const Picture&, const Picture&) = default;
};
using PictureRef = std::optional<Picture>;

// OLE colour: 0x00BBGGRR, or 0x800000nn for system colour nn.
using OleColor = std::int32_t;

struct FaceInputs {
    int width = 0; // W and H in whole pixels
    int height = 0;

    // Properties of the control.
    std::int32_t ButtonStyle = 2;
    OleColor BackColor = static_cast<OleColor>(0x8000000F);
    OleColor ForeColor = static_cast<OleColor>(0x80000012);
    OleColor XPColor_Hover = static_cast<OleColor>(0x80000016);
    OleColor XPColor_Pressed = static_cast<OleColor>(0x80000014);
    OleColor MaskColor = 0;
    bool XPDefaultColors = true;
    bool XPShowBorderAlways = false;
    bool TransparentBG = false;
    bool ShowFocusRect = true;
    bool Enabled = true;
    std::int16_t BEVEL = 1;
    std::int16_t BEVELDEPTH = 8;
    std::int32_t PicturePosition = 1;
    std::int32_t PictureWidth = 32;
    std::int32_t PictureHeight = 32;
    std::int32_t OriginalPicSizeW = 0;
    std::int32_t OriginalPicSizeH = 0;
    QString Caption;
    QFont font;
    PictureRef picture; // the picture currently shown

    // Interaction state, 0 or 1 each.
    std::uint8_t HasFocus = 0;
    std::uint8_t IsPressed = 0;
    std::uint8_t IsHover = 0;

    // Facts the container supplies.
    bool userMode = true;
    bool isDefaultButton = false;
    std::optional<QImage> parentBackground; // the container's background picture
    QPoint positionInParent;                // the control's top-left, in pixels
};

// What survives from one redraw to the next: the surface's background colour
// (left at the last colour the face colour step set) and the layout rectangles.
struct FaceMemory {
    OleColor surfaceBackColor = static_cast<OleColor>(0x8000000F);
    QRect contentRect;
    QRect pictureRect;
    QRect captionRect;
};

// One whole redraw into an off-screen image of width x height pixels, in the
// order clear, face colour, border, layout, picture, focus rectangle, caption.
QImage PaintButtonFace(const FaceInputs& inputs, FaceMemory& memory);

// The face for a screen that shows `ratio` device pixels per pixel: an image
// of DeviceExtent(width) x DeviceExtent(height) device pixels that carries the
// ratio. At a ratio of 1 or less it is exactly PaintButtonFace. Above it the
// borders, bevels, rings and cut corners keep the pattern they have at 1x,
// every line FaceLineWidth(ratio) device pixels thick, so lines look alike at
// any ratio; the colour or gradient between them is interpolated per device
// pixel; caption, picture and focus rectangle are drawn at device resolution.
// The layout kept in memory stays in pixels.
QImage PaintButtonFaceAt(const FaceInputs& inputs, FaceMemory& memory, double ratio);
int FaceLineWidth(double ratio);
int DeviceExtent(int pixels, double ratio);

// Where a face lands among a screen's device pixels. A control whose edges
// fall between device pixels covers the pixels the screen rounds them to,
// one more or one less than its size times the ratio, and the screen rounds
// the corners of its region each on its own. `rect` is the control's device
// rectangle, `visible` what its region leaves of it (relative to rect's
// top-left; empty when the control has no region).
struct DevicePlacement {
    double ratio = 1.0;
    QRect rect;
    QRegion visible;
    // Two placements give the same face when they differ only in position.
    bool drawsLike(const DevicePlacement& other) const {
        return ratio == other.ratio && rect.size() == other.rect.size() && visible == other.visible;
    }
};

// The placement of a control of `pixels` with the window region `region`
// (empty for none) under toDevice, the map from the control's pixels to the
// device, rounded as the screen rounds a control's area and region.
DevicePlacement PlaceOnDevice(const QTransform& toDevice, double ratio, QSize pixels, const QRegion& region);

// The device pixel ratio of what a painter paints on: a widget's painter
// draws into the screen's backing store, or into an image of another ratio
// the window is rendered into, not into the widget itself.
double PaintedDeviceRatio(const QPainter& painter);

// The face for that placement: exactly rect's size, opaque wherever `visible`
// lets it show. A region cut in other steps than the face's lines gets the
// outline's colour along its edge, so that the outline stays whole at the
// corners too. Up to 1x it is PaintButtonFace.
QImage PaintButtonFaceAt(const FaceInputs& inputs, FaceMemory& memory, const DevicePlacement& placement);

// The window region of style 3: the rectangle without three pixels at each corner.
QRegion MakeRoundRegion(int width, int height);
