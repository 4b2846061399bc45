#pragma once

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QString>

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

// The window region of style 3: the rectangle without three pixels at each corner.
QRegion MakeRoundRegion(int width, int height);
