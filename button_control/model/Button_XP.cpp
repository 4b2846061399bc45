#include "button_control/model/Button_XP.h"

#include "button_control/model/Button_XPAccessible.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QShortcutEvent>
#include <QTimer>

namespace {

// The number the button events carry for a mouse button: 1 left, 2 right,
// 4 middle; 0 for buttons the control does not know.
int buttonNumber(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

int buttonsHeld(Qt::MouseButtons buttons) {
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

// Shift 1, Ctrl 2, Alt 4.
int shiftState(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

// The Windows virtual-key code of a key, which is what KeyDown and KeyUp
// report, so handlers written for the keyboard of the game's platform work.
int virtualKeyCode(const QKeyEvent* event) {
    const int key = event->key();
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return key; // the same numbers
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 0x70 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 0x09;
    case Qt::Key_Clear:
        return 0x0C;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0x0D;
    case Qt::Key_Shift:
        return 0x10;
    case Qt::Key_Control:
        return 0x11;
    case Qt::Key_Alt:
        return 0x12;
    case Qt::Key_Pause:
        return 0x13;
    case Qt::Key_CapsLock:
        return 0x14;
    case Qt::Key_Escape:
        return 0x1B;
    case Qt::Key_PageUp:
        return 0x21;
    case Qt::Key_PageDown:
        return 0x22;
    case Qt::Key_End:
        return 0x23;
    case Qt::Key_Home:
        return 0x24;
    case Qt::Key_Left:
        return 0x25;
    case Qt::Key_Up:
        return 0x26;
    case Qt::Key_Right:
        return 0x27;
    case Qt::Key_Down:
        return 0x28;
    case Qt::Key_Print:
        return 0x2C;
    case Qt::Key_Insert:
        return 0x2D;
    case Qt::Key_Delete:
        return 0x2E;
    case Qt::Key_Menu:
        return 0x5D;
    case Qt::Key_NumLock:
        return 0x90;
    case Qt::Key_ScrollLock:
        return 0x91;
    default:
        return static_cast<int>(event->nativeVirtualKey() & 0xFFFF);
    }
}

// The standard cursors by their saved numbers (0 is the widget's default).
Qt::CursorShape cursorShape(int mousePointer) {
    switch (mousePointer) {
    case 2:
        return Qt::CrossCursor;
    case 3:
        return Qt::IBeamCursor;
    case 5:
    case 15:
        return Qt::SizeAllCursor;
    case 6:
        return Qt::SizeBDiagCursor;
    case 7:
        return Qt::SizeVerCursor;
    case 8:
        return Qt::SizeFDiagCursor;
    case 9:
        return Qt::SizeHorCursor;
    case 10:
        return Qt::UpArrowCursor;
    case 11:
        return Qt::WaitCursor;
    case 12:
        return Qt::ForbiddenCursor;
    case 13:
        return Qt::BusyCursor;
    case 14:
        return Qt::WhatsThisCursor;
    default:
        return Qt::ArrowCursor;
    }
}

// A default container for buttons whose parents provide none.
const ButtonContainer& plainContainer() {
    static const ButtonContainer container;
    return container;
}

} // namespace

QString ButtonContainer::displayName(const Button_XP& control) const {
    return control.objectName();
}

QPoint ButtonContainer::positionInPixels(const Button_XP& control) const {
    return control.pos();
}

Button_XP::Button_XP(QWidget* parent) : QWidget(parent), m_platform(&defaultPlatform()) {
    Initialize();
    InitProperties();
}

Button_XP::~Button_XP() {
    // The window mask goes with the widget; only the shortcut is ours to give back.
    if (m_shortcutId != 0)
        releaseShortcut(m_shortcutId);
}

void Button_XP::Initialize() {
    g_Font = ButtonFont{};
    OverTimer = new QTimer(this);
    OverTimer->setInterval(10);
    connect(OverTimer, &QTimer::timeout, this, &Button_XP::OnOverTimer);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true); // moves without a button held report MouseIn
    setAttribute(Qt::WA_OpaquePaintEvent);
    Button_XPAccessible::install();
}

ButtonContainer* Button_XP::container() const {
    if (m_container)
        return m_container;
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (auto* found = dynamic_cast<ButtonContainer*>(w))
            return found;
    return nullptr;
}

ButtonFont Button_XP::ambientFont() const {
    const ButtonContainer* host = container();
    if (host)
        if (auto font = host->ambientFont())
            return *font;
    return ButtonFont::fromQFont(parentWidget() ? parentWidget()->font() : QApplication::font());
}

QString Button_XP::ambientDisplayName() const {
    const ButtonContainer* host = container();
    return (host ? *host : plainContainer()).displayName(*this);
}

void Button_XP::InitProperties() {
    m_BackColor = DefaultBackColor;
    m_memory.surfaceBackColor = m_BackColor;
    m_ForeColor = DefaultForeColor;
    m_ShowFocusRect = true;
    g_Font = ambientFont();
    QWidget::setFont(g_Font.toQFont());
    m_Caption = ambientDisplayName();
    m_PicturePosition = 1;
    m_ButtonStyle = 2;
    m_PictureWidth = 32;
    m_PictureHeight = 32;
    m_PictureSize = 1;
    m_PictureHover = ::Picture{};
    // The picture to return to after a hover is the one shown now, none: an
    // empty picture here would, after the first hover, take room beside the
    // caption although nothing is drawn.
    NormalPicture = m_Picture;
    m_URL.clear();
    m_XPColor_Pressed = DefaultXPColor_Pressed;
    m_XPColor_Hover = DefaultXPColor_Hover;
    m_XPDefaultColors = true;
    m_SoundOver = DefaultSoundOver;
    m_SoundClick = DefaultSoundClick;
    m_TransparentBG = false;
    m_MaskColor = 0;
    m_XPShowBorderAlways = false;
    m_DefCurHand = false;
    m_BEVEL = 1;
    m_BEVELDEPTH = 8;
    UpdateAccessKey();
}

void Button_XP::ReadProperties(const PropertyBag& bag) {
    const QString displayName = ambientDisplayName();
    const ButtonFont defaultFont = ambientFont();

    m_BackColor = bag.ReadLong(QStringLiteral("BackColor"), DefaultBackColor);
    m_memory.surfaceBackColor = m_BackColor;
    m_ForeColor = bag.ReadLong(QStringLiteral("ForeColor"), DefaultForeColor);
    m_ShowFocusRect = bag.ReadBoolean(QStringLiteral("ShowFocusRect"), true);
    m_Caption = bag.ReadString(QStringLiteral("Caption"), displayName);
    m_PicturePosition = bag.ReadLong(QStringLiteral("PicturePosition"), 1);
    m_ButtonStyle = bag.ReadLong(QStringLiteral("ButtonStyle"), 2);
    m_Picture = bag.ReadPicture(QStringLiteral("Picture"), std::nullopt);
    m_PictureWidth = bag.ReadLong(QStringLiteral("PictureWidth"), 32);
    m_PictureHeight = bag.ReadLong(QStringLiteral("PictureHeight"), 32);
    m_PictureSize = bag.ReadLong(QStringLiteral("PictureSize"), 1);
    m_OriginalPicSizeW = bag.ReadLong(QStringLiteral("OriginalPicSizeW"), 32);
    m_OriginalPicSizeH = bag.ReadLong(QStringLiteral("OriginalPicSizeH"), 32);
    g_Font = bag.ReadFont(QStringLiteral("Font"), defaultFont);
    QWidget::setFont(g_Font.toQFont());
    m_PictureHover = bag.ReadPicture(QStringLiteral("PictureHover"), std::nullopt);
    NormalPicture = bag.ReadPicture(QStringLiteral("Picture"), std::nullopt);
    setMouseIcon(bag.ReadPicture(QStringLiteral("MouseIcon"), std::nullopt));
    applySurfaceEnabled(bag.ReadBoolean(QStringLiteral("Enabled"), true));
    m_MousePointer = bag.ReadInteger(QStringLiteral("MousePointer"), 0);
    applyMousePointer();
    m_URL = bag.ReadString(QStringLiteral("URL"), QString());
    m_XPColor_Pressed = bag.ReadLong(QStringLiteral("XPColor_Pressed"), DefaultXPColor_Pressed);
    m_XPColor_Hover = bag.ReadLong(QStringLiteral("XPColor_Hover"), DefaultXPColor_Hover);
    m_XPDefaultColors = bag.ReadBoolean(QStringLiteral("XPDefaultColors"), true);
    m_SoundOver = bag.ReadString(QStringLiteral("SoundOver"), DefaultSoundOver);
    m_SoundClick = bag.ReadString(QStringLiteral("SoundClick"), DefaultSoundClick);
    m_DefCurHand = bag.ReadBoolean(QStringLiteral("DefCurHand"), false);
    m_XPShowBorderAlways = bag.ReadBoolean(QStringLiteral("XPShowBorderAlways"), false);
    m_MaskColor = bag.ReadLong(QStringLiteral("MaskColor"), 0);
    m_TransparentBG = bag.ReadBoolean(QStringLiteral("TransparentBG"), false);
    m_BEVEL = bag.ReadInteger(QStringLiteral("BEVEL"), 1);
    m_BEVELDEPTH = bag.ReadInteger(QStringLiteral("BEVELDEPTH"), 8);
    UpdateAccessKey();
    OnResize();
}

void Button_XP::WriteProperties(PropertyBag& bag) const {
    bag.WriteString(QStringLiteral("Caption"), m_Caption, ambientDisplayName());
    bag.WriteLong(QStringLiteral("PicturePosition"), m_PicturePosition, 1);
    bag.WriteLong(QStringLiteral("ButtonStyle"), m_ButtonStyle, 2);
    bag.WritePicture(QStringLiteral("Picture"), m_Picture, std::nullopt);
    bag.WriteLong(QStringLiteral("PictureWidth"), m_PictureWidth, 32);
    bag.WriteLong(QStringLiteral("PictureHeight"), m_PictureHeight, 32);
    bag.WriteLong(QStringLiteral("PictureSize"), m_PictureSize, 1);
    bag.WriteLong(QStringLiteral("OriginalPicSizeW"), m_OriginalPicSizeW, 32);
    bag.WriteLong(QStringLiteral("OriginalPicSizeH"), m_OriginalPicSizeH, 32);
    bag.WritePicture(QStringLiteral("PictureHover"), m_PictureHover, std::nullopt);
    bag.WriteBoolean(QStringLiteral("Enabled"), Enabled(), true);
    bag.WriteFont(QStringLiteral("Font"), g_Font, ambientFont());
    bag.WritePicture(QStringLiteral("MouseIcon"), m_MouseIcon, std::nullopt);
    bag.WriteInteger(QStringLiteral("MousePointer"), m_MousePointer, 0);
    bag.WriteBoolean(QStringLiteral("ShowFocusRect"), m_ShowFocusRect, true);
    bag.WriteString(QStringLiteral("URL"), m_URL, QString());
    bag.WriteLong(QStringLiteral("XPColor_Pressed"), m_XPColor_Pressed, DefaultXPColor_Pressed);
    bag.WriteLong(QStringLiteral("XPColor_Hover"), m_XPColor_Hover, DefaultXPColor_Hover);
    bag.WriteBoolean(QStringLiteral("XPDefaultColors"), m_XPDefaultColors, true);
    bag.WriteLong(QStringLiteral("BackColor"), m_BackColor, DefaultBackColor);
    bag.WriteLong(QStringLiteral("ForeColor"), m_ForeColor, DefaultForeColor);
    bag.WriteString(QStringLiteral("SoundOver"), m_SoundOver, DefaultSoundOver);
    bag.WriteString(QStringLiteral("SoundClick"), m_SoundClick, DefaultSoundClick);
    bag.WriteBoolean(QStringLiteral("DefCurHand"), m_DefCurHand, false);
    bag.WriteBoolean(QStringLiteral("XPShowBorderAlways"), m_XPShowBorderAlways, false);
    bag.WriteLong(QStringLiteral("MaskColor"), m_MaskColor, 0);
    bag.WriteBoolean(QStringLiteral("TransparentBG"), m_TransparentBG, false);
    bag.WriteInteger(QStringLiteral("BEVEL"), m_BEVEL, 1);
    bag.WriteInteger(QStringLiteral("BEVELDEPTH"), m_BEVELDEPTH, 8);
}

void Button_XP::applySurfaceEnabled(bool enabled) {
    // The change event would redraw on its own; the callers redraw when they mean to.
    m_settingEnabled = true;
    QWidget::setEnabled(enabled);
    m_settingEnabled = false;
}

void Button_XP::setEnabled(bool New_Enabled) {
    applySurfaceEnabled(New_Enabled);
    emit PropertyChanged(QStringLiteral("Enabled"));
    Refresh();
}

void Button_XP::setFont(const ButtonFont& New_Font) {
    // Name, size and the four styles are taken over; weight and character set
    // stay those of the button's own font. Each attribute that changes
    // redraws, as the font object reports each change.
    if (g_Font.name != New_Font.name) {
        g_Font.name = New_Font.name;
        g_Font_FontChanged(QStringLiteral("Name"));
    }
    if (g_Font.size != New_Font.size) {
        g_Font.size = New_Font.size;
        g_Font_FontChanged(QStringLiteral("Size"));
    }
    if (g_Font.bold != New_Font.bold) {
        g_Font.setBold(New_Font.bold);
        g_Font_FontChanged(QStringLiteral("Bold"));
    }
    if (g_Font.italic != New_Font.italic) {
        g_Font.italic = New_Font.italic;
        g_Font_FontChanged(QStringLiteral("Italic"));
    }
    if (g_Font.underline != New_Font.underline) {
        g_Font.underline = New_Font.underline;
        g_Font_FontChanged(QStringLiteral("Underline"));
    }
    if (g_Font.strikethrough != New_Font.strikethrough) {
        g_Font.strikethrough = New_Font.strikethrough;
        g_Font_FontChanged(QStringLiteral("Strikethrough"));
    }
    emit PropertyChanged(QStringLiteral("Font"));
}

void Button_XP::g_Font_FontChanged(const QString&) {
    QWidget::setFont(g_Font.toQFont());
    Refresh();
}

void Button_XP::applyMousePointer() {
    if (m_MousePointer == 0) {
        unsetCursor();
    } else if (m_MousePointer == 99) {
        // The custom cursor is the MouseIcon; without one the default cursor stays.
        if (m_MouseIcon && !m_MouseIcon->image.isNull())
            setCursor(QCursor(QPixmap::fromImage(m_MouseIcon->image)));
        else
            unsetCursor();
    } else {
        setCursor(cursorShape(m_MousePointer));
    }
}

void Button_XP::setMousePointer(Integer New_MousePointer) {
    m_MousePointer = New_MousePointer;
    applyMousePointer();
    emit PropertyChanged(QStringLiteral("MousePointer"));
}

void Button_XP::setMouseIcon(const PictureRef& New_MouseIcon) {
    m_MouseIcon = New_MouseIcon;
    applyMousePointer();
    emit PropertyChanged(QStringLiteral("MouseIcon"));
}

void Button_XP::setShowFocusRect(bool New_ShowFocusRect) {
    m_ShowFocusRect = New_ShowFocusRect;
    emit PropertyChanged(QStringLiteral("ShowFocusRect"));
    Refresh();
}

void Button_XP::setURL(const QString& New_URL) {
    m_URL = New_URL;
    emit PropertyChanged(QStringLiteral("URL"));
}

void Button_XP::setCaption(const QString& New_Caption) {
    m_Caption = New_Caption;
    emit PropertyChanged(QStringLiteral("Caption"));
    UpdateAccessKey();
    Refresh();
}

void Button_XP::setButtonStyle(Long New_ButtonStyle) {
    m_ButtonStyle = New_ButtonStyle;
    emit PropertyChanged(QStringLiteral("ButtonStyle"));
    if (New_ButtonStyle == 3)
        setTransparentBG(false);
    OnResize();
}

void Button_XP::setPicturePosition(Long New_PicturePosition) {
    m_PicturePosition = New_PicturePosition;
    emit PropertyChanged(QStringLiteral("PicturePosition"));
    Refresh();
}

void Button_XP::setPicture(const PictureRef& New_Picture) {
    m_Picture = New_Picture;
    NormalPicture = New_Picture;
    if (!New_Picture) {
        m_OriginalPicSizeW = 32;
        m_OriginalPicSizeH = 32;
    } else {
        // Pictures are held in screen pixels already, so the natural size needs
        // no unit conversion.
        m_OriginalPicSizeW = New_Picture->size().width();
        m_OriginalPicSizeH = New_Picture->size().height();
    }
    emit PropertyChanged(QStringLiteral("Picture"));
    if (m_PictureSize == 2) {
        m_PictureWidth = m_OriginalPicSizeW;
        m_PictureHeight = m_OriginalPicSizeH;
    }
    Refresh();
}

void Button_XP::setPictureWidth(Long New_PictureWidth) {
    m_PictureWidth = New_PictureWidth;
    emit PropertyChanged(QStringLiteral("PictureWidth"));
    Refresh();
}

void Button_XP::setPictureHeight(Long New_PictureHeight) {
    m_PictureHeight = New_PictureHeight;
    emit PropertyChanged(QStringLiteral("PictureHeight"));
    Refresh();
}

void Button_XP::setPictureSize(Long New_PictureSize) {
    m_PictureSize = New_PictureSize;
    emit PropertyChanged(QStringLiteral("PictureSize"));
    switch (New_PictureSize) {
    case 0:
        m_PictureWidth = m_PictureHeight = 16;
        break;
    case 1:
        m_PictureWidth = m_PictureHeight = 32;
        break;
    case 2:
        m_PictureWidth = m_Picture ? m_OriginalPicSizeW : 32;
        m_PictureHeight = m_Picture ? m_OriginalPicSizeH : 32;
        break;
    default:
        break; // a custom size set through PictureWidth and PictureHeight
    }
    Refresh();
}

void Button_XP::setPictureHover(const PictureRef& New_PictureHover) {
    m_PictureHover = New_PictureHover;
    emit PropertyChanged(QStringLiteral("PictureHover"));
}

void Button_XP::setXPColor_Pressed(Long New_XPColor_Pressed) {
    m_XPColor_Pressed = New_XPColor_Pressed;
    emit PropertyChanged(QStringLiteral("XPColor_Pressed"));
}

void Button_XP::setXPColor_Hover(Long New_XPColor_Hover) {
    m_XPColor_Hover = New_XPColor_Hover;
    emit PropertyChanged(QStringLiteral("XPColor_Hover"));
}

void Button_XP::setXPDefaultColors(bool New_XPDefaultColors) {
    m_XPDefaultColors = New_XPDefaultColors;
    emit PropertyChanged(QStringLiteral("XPDefaultColors"));
}

void Button_XP::setBackColor(Long New_BackColor) {
    m_BackColor = New_BackColor;
    emit PropertyChanged(QStringLiteral("BackColor"));
    m_memory.surfaceBackColor = New_BackColor;
    Refresh();
}

void Button_XP::setForeColor(Long New_ForeColor) {
    m_ForeColor = New_ForeColor;
    emit PropertyChanged(QStringLiteral("ForeColor"));
    Refresh();
}

void Button_XP::setSoundOver(const QVariant& New_SoundOver) {
    m_SoundOver = New_SoundOver.toString();
    emit PropertyChanged(QStringLiteral("SoundOver"));
}

void Button_XP::setSoundClick(const QString& New_SoundClick) {
    m_SoundClick = New_SoundClick;
    emit PropertyChanged(QStringLiteral("SoundClick"));
}

void Button_XP::setversion(const QString&) {
    // The version is the control's own and cannot be set.
}

void Button_XP::setDefCurHand(bool New_DefCurHand) {
    m_DefCurHand = New_DefCurHand;
    emit PropertyChanged(QStringLiteral("DefCurHand"));
}

void Button_XP::setXPShowBorderAlways(bool New_XPShowBorderAlways) {
    m_XPShowBorderAlways = New_XPShowBorderAlways;
    emit PropertyChanged(QStringLiteral("XPShowBorderAlways"));
}

void Button_XP::setMaskColor(Long New_MaskColor) {
    m_MaskColor = New_MaskColor;
    emit PropertyChanged(QStringLiteral("MaskColor"));
    Refresh();
}

void Button_XP::setTransparentBG(bool New_TransparentBG) {
    m_TransparentBG = New_TransparentBG;
    emit PropertyChanged(QStringLiteral("TransparentBG"));
    Refresh();
}

void Button_XP::setBEVEL(Integer New_BEVEL) {
    m_BEVEL = New_BEVEL;
    emit PropertyChanged(QStringLiteral("BEVEL"));
    Refresh();
}

void Button_XP::setBEVELDEPTH(Integer New_BEVELDEPTH) {
    m_BEVELDEPTH = New_BEVELDEPTH;
    emit PropertyChanged(QStringLiteral("BEVELDEPTH"));
    Refresh();
}

FaceInputs Button_XP::faceInputs() const {
    FaceInputs in;
    in.width = width();
    in.height = height();
    in.ButtonStyle = m_ButtonStyle;
    in.BackColor = m_BackColor;
    in.ForeColor = m_ForeColor;
    in.XPColor_Hover = m_XPColor_Hover;
    in.XPColor_Pressed = m_XPColor_Pressed;
    in.MaskColor = m_MaskColor;
    in.XPDefaultColors = m_XPDefaultColors;
    in.XPShowBorderAlways = m_XPShowBorderAlways;
    in.TransparentBG = m_TransparentBG;
    in.ShowFocusRect = m_ShowFocusRect;
    in.Enabled = isEnabled();
    in.BEVEL = m_BEVEL;
    in.BEVELDEPTH = m_BEVELDEPTH;
    in.PicturePosition = m_PicturePosition;
    in.PictureWidth = m_PictureWidth;
    in.PictureHeight = m_PictureHeight;
    in.OriginalPicSizeW = m_OriginalPicSizeW;
    in.OriginalPicSizeH = m_OriginalPicSizeH;
    in.Caption = m_Caption;
    in.font = font();
    in.picture = m_Picture;
    in.HasFocus = HasFocus;
    in.IsPressed = IsPressed;
    in.IsHover = IsHover;
    const ButtonContainer& host = container() ? *container() : plainContainer();
    in.userMode = host.userMode();
    in.isDefaultButton = host.isDefaultButton(*this);
    in.parentBackground = host.backgroundPicture();
    in.positionInParent = host.positionInPixels(*this);
    return in;
}

void Button_XP::Refresh() {
    renderFace(screenPlacement());
    update();
    emit Redrawn();
}

DevicePlacement Button_XP::screenPlacement() const {
    // The window's backing store holds the window's pixels times its ratio.
    const qreal ratio = devicePixelRatioF();
    const QPoint at = mapTo(window(), QPoint(0, 0));
    return PlaceOnDevice(QTransform::fromTranslate(at.x(), at.y()) * QTransform::fromScale(ratio, ratio),
                         ratio, size(), mask());
}

void Button_XP::renderFace(const DevicePlacement& placement) {
    if (width() > 0 && height() > 0)
        m_face = PaintButtonFaceAt(faceInputs(), m_memory, placement);
    else
        m_face = QImage();
    m_faceSize = size();
    m_placement = placement;
}

void Button_XP::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QTransform toDevice = painter.deviceTransform();
    const DevicePlacement placement = PlaceOnDevice(toDevice, PaintedDeviceRatio(painter), size(), mask());
    if (!m_face.isNull() && (m_faceSize != size() || !m_placement.drawsLike(placement)))
        renderFace(placement);
    if (m_face.isNull()) {
        painter.fillRect(rect(), palette().button()); // not sized yet: nothing drawn so far
        return;
    }
    if (!(placement.ratio > 1.0)) {
        painter.drawImage(0, 0, m_face);
        return;
    }
    // Pixel for pixel onto the device pixels the control covers; placed in
    // the control's own pixels the face would start between device pixels
    // and lose a line to rounding.
    painter.setWorldTransform(QTransform::fromTranslate(placement.rect.left(), placement.rect.top()) *
                              toDevice.inverted());
    const QRectF whole(m_face.rect());
    painter.drawImage(whole, m_face, whole);
}

void Button_XP::pressFromAssistant() {
    // What a click with the left button inside the button does.
    if (isEnabled())
        OnMouseUp(1, 0, 0, 0);
}

void Button_XP::AmbientChanged(const QString&) {
    Refresh();
}

void Button_XP::changeEvent(QEvent* event) {
    // Enabling or disabling through any path (a parent, QWidget's own setter)
    // shows at once.
    if (event->type() == QEvent::EnabledChange && !m_settingEnabled)
        Refresh();
    QWidget::changeEvent(event);
}

void Button_XP::resizeEvent(QResizeEvent*) {
    OnResize();
}

void Button_XP::OnResize() {
    // Keep at least 10 pixels each way, so the face always has room for its edges.
    constexpr int floorPixels = 10;
    if (width() < floorPixels || height() < floorPixels)
        resize(std::max(width(), floorPixels), std::max(height(), floorPixels));
    ClientWidth = width();
    ClientHeight = height();
    m_FocusRect = QRect(QPoint(4, 4), QPoint(ClientWidth - 4 - 1, ClientHeight - 4 - 1));
    if (m_ButtonStyle == 3)
        setMask(MakeRoundRegion(ClientWidth, ClientHeight));
    else if (!mask().isEmpty())
        clearMask(); // other styles are rectangular
    Refresh();
}

bool Button_XP::isInside(float x, float y) const {
    return x >= 0 && y >= 0 && x < static_cast<float>(width()) && y < static_cast<float>(height());
}

void Button_XP::OnMouseDown(int button, int shift, float x, float y) {
    LastButton = button;
    LastShift = shift;
    LastX = x;
    LastY = y;
    QPointer<Button_XP> self(this);
    if (button != 2) {
        IsPressed = 1;
        Refresh();
        if (!self)
            return;
    }
    emit MouseDown(button, shift, x, y);
}

void Button_XP::OnMouseUp(int button, int shift, float x, float y) {
    QPointer<Button_XP> self(this);
    IsPressed = 0;
    if (button != 2) {
        Refresh();
        if (!self)
            return;
        if (isInside(x, y)) {
            PlaySoundFile(m_SoundClick);
            emit Click();
            if (!self)
                return;
            GoToURL();
            if (!self)
                return;
        }
    }
    emit MouseUp(button, shift, x, y);
}

void Button_XP::mousePressEvent(QMouseEvent* event) {
    const int button = buttonNumber(event->button());
    if (button == 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPointF at = event->position();
    OnMouseDown(button, shiftState(event->modifiers()), static_cast<float>(at.x()),
                static_cast<float>(at.y()));
}

void Button_XP::mouseDoubleClickEvent(QMouseEvent* event) {
    if (buttonNumber(event->button()) == 0) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    // The second press of a double-click is one more press with the values of
    // the first, so a double-click clicks twice.
    if (isVisible() && QWidget::mouseGrabber() != this) {
        grabMouse();
        m_capturedForDoubleClick = true;
    }
    OnMouseDown(LastButton, LastShift, LastX, LastY);
}

void Button_XP::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    const float x = static_cast<float>(at.x());
    const float y = static_cast<float>(at.y());
    const int shift = shiftState(event->modifiers());
    const int buttons = buttonsHeld(event->buttons());
    if (isInside(x, y) && IsHover == 0) {
        QPointer<Button_XP> self(this);
        OverTimer->start();
        IsHover = 1;
        if (m_PictureHover && !m_PictureHover->image.isNull())
            m_Picture = m_PictureHover;
        emit MouseIn(shift);
        if (!self)
            return;
        Refresh();
        // Whatever is already queued (poll ticks, paints, clicks) runs before
        // the move is reported.
        QCoreApplication::processEvents();
        if (!self)
            return;
    }
    emit MouseMove(buttons, shift, x, y);
}

void Button_XP::mouseReleaseEvent(QMouseEvent* event) {
    const int button = buttonNumber(event->button());
    if (m_capturedForDoubleClick && event->buttons() == Qt::NoButton) {
        m_capturedForDoubleClick = false;
        if (QWidget::mouseGrabber() == this)
            releaseMouse();
    }
    if (button == 0) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const QPointF at = event->position();
    OnMouseUp(button, shiftState(event->modifiers()), static_cast<float>(at.x()), static_cast<float>(at.y()));
}

void Button_XP::OnOverTimer() {
    QWidget* under =
        m_platform->pointer ? m_platform->pointer->widgetAt(m_platform->pointer->cursorPos()) : nullptr;
    if (under == this)
        return;
    QPointer<Button_XP> self(this);
    OverTimer->stop();
    IsHover = 0;
    m_Picture = NormalPicture;
    emit MouseOut(LastShift);
    if (!self)
        return;
    Refresh();
    if (IsPressed == 1) {
        // Held but outside: shown released until the pointer comes back.
        IsPressed = 0;
        Refresh();
        IsPressed = 1;
    }
}

void Button_XP::keyPressEvent(QKeyEvent* event) {
    const int keyCode = virtualKeyCode(event);
    const int shift = shiftState(event->modifiers());
    QPointer<Button_XP> self(this);
    if (KeyLatch == 0) {
        if (keyCode == 0x20) {
            IsPressed = 1;
            IsHover = 1;
            Refresh();
        }
        KeyLatch = 1;
    }
    emit KeyDown(keyCode, shift);
    if (!self)
        return;
    const QString text = event->text();
    if (!text.isEmpty())
        emit KeyPress(text.at(0).unicode());
}

void Button_XP::keyReleaseEvent(QKeyEvent* event) {
    // A held key repeats only its key-down.
    if (event->isAutoRepeat())
        return;
    const int keyCode = virtualKeyCode(event);
    const int shift = shiftState(event->modifiers());
    QPointer<Button_XP> self(this);
    if (keyCode == 0x20) {
        IsPressed = 0;
        IsHover = 0;
        Refresh();
        if (!self)
            return;
        OnMouseUp(1, shift, 0, 0);
        if (!self)
            return;
    }
    KeyLatch = 0;
    emit KeyUp(keyCode, shift);
}

void Button_XP::focusInEvent(QFocusEvent* event) {
    HasFocus = 1;
    Refresh();
    QWidget::focusInEvent(event);
}

void Button_XP::focusOutEvent(QFocusEvent* event) {
    HasFocus = 0;
    IsPressed = 0;
    Refresh();
    QWidget::focusOutEvent(event);
}

void Button_XP::UpdateAccessKey() {
    QChar key;
    const QString& caption = m_Caption;
    if (caption.size() >= 2) {
        const qsizetype p = caption.indexOf(QLatin1Char('&'));
        if (p >= 0 && p + 1 < caption.size()) {
            const QChar c = caption.at(p + 1);
            if (c != QLatin1Char('&')) {
                key = c.toLower();
            } else {
                // "&&" is a literal ampersand; one more "&" may still mark a key.
                const qsizetype q = caption.indexOf(QLatin1Char('&'), p + 2);
                if (q >= 0 && q + 1 < caption.size() && caption.at(q + 1) != QLatin1Char('&'))
                    key = caption.at(q + 1).toLower();
            }
        }
    }
    if (key == m_AccessKey && (m_shortcutId != 0) == !key.isNull())
        return;
    if (m_shortcutId != 0) {
        releaseShortcut(m_shortcutId);
        m_shortcutId = 0;
    }
    m_AccessKey = key;
    if (!key.isNull())
        m_shortcutId =
            grabShortcut(QKeySequence(QKeyCombination(Qt::AltModifier, Qt::Key(key.toUpper().unicode()))));
}

bool Button_XP::event(QEvent* event) {
    if (event->type() == QEvent::Shortcut) {
        auto* shortcut = static_cast<QShortcutEvent*>(event);
        if (m_shortcutId != 0 && shortcut->shortcutId() == m_shortcutId) {
            if (isEnabled()) {
                QPointer<Button_XP> self(this);
                emit Click();
                if (self)
                    GoToURL();
            }
            return true;
        }
    }
    return QWidget::event(event);
}

void Button_XP::PlaySoundFile(const QString& path) {
    // Saved paths are written the Windows way (".\resources\click.wav") and
    // are relative to the current directory.
    if (path.isEmpty() || !m_platform->sound)
        return;
    QString portable = path;
    portable.replace(QLatin1Char('\\'), QLatin1Char('/'));
    m_platform->sound->playAsync(QDir::cleanPath(QDir::current().absoluteFilePath(portable)));
}

void Button_XP::OpenWithShell(QWidget* owner, const QString& target) {
    if (m_platform->shell)
        m_platform->shell->shellExecute(owner, QStringLiteral("open"), target, QString(), QString(), 1);
}

void Button_XP::GoToURL() {
    if (m_URL.startsWith(QLatin1String("mailto:"), Qt::CaseSensitive))
        OpenWithShell(window(), m_URL);
    else if (!m_URL.isEmpty() && m_platform->shell)
        m_platform->shell->openUrl(m_URL);
}

Button_XP::State Button_XP::state() const {
    return {HasFocus == 1, IsPressed == 1, IsHover == 1, KeyLatch == 1, OverTimer->isActive()};
}
