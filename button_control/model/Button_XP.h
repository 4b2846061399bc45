#pragma once

#include "button_control/drawing/ButtonFace.h"
#include "button_control/model/ButtonContainer.h"
#include "button_control/model/ButtonFont.h"
#include "button_control/model/PropertyBag.h"
#include "platform/Platform.h"

#include <QChar>
#include <QImage>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <cstdint>

class QTimer;

// Vestrel's owner-drawn push button. It carries its own saved property set,
// draws its whole face itself (see button_control/drawing) and reports mouse,
// keyboard and hover activity through the signals below.
//
// Every redraw paints the complete face into an off-screen image through
// Refresh(); paintEvent only shows the last image, so a half-drawn face never
// reaches the screen.
class Button_XP : public QWidget {
    Q_OBJECT
public:
    using Integer = std::int16_t;
    using Long = std::int32_t;

    static constexpr Long DefaultBackColor = static_cast<Long>(0x8000000F);
    static constexpr Long DefaultForeColor = static_cast<Long>(0x80000012);
    static constexpr Long DefaultXPColor_Pressed = static_cast<Long>(0x80000014);
    static constexpr Long DefaultXPColor_Hover = static_cast<Long>(0x80000016);
    static inline const QString DefaultSoundOver = QStringLiteral(".\\resources\\over.wav");
    static inline const QString DefaultSoundClick = QStringLiteral(".\\resources\\click.wav");
    static inline const QString ProgID = QStringLiteral("Vestrel.Button_XP");

    // Creates a new instance with the defaults of a freshly placed button.
    explicit Button_XP(QWidget* parent = nullptr);
    ~Button_XP() override;

    // Life cycle, as called by whoever creates the button from saved data.
    void InitProperties();
    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;

    // Properties. Setters notify PropertyChanged with the property's name.
    // The button's own setting: a disabled container stops its input and
    // greys its face, but does not change what the button saves.
    bool Enabled() const { return !testAttribute(Qt::WA_ForceDisabled); }
    void setEnabled(bool New_Enabled);
    ButtonFont Font() const { return g_Font; }
    void setFont(const ButtonFont& New_Font);
    void setFont(const QFont& New_Font) { setFont(ButtonFont::fromQFont(New_Font)); }
    WId hwnd() const { return effectiveWinId(); }
    Integer MousePointer() const { return m_MousePointer; }
    void setMousePointer(Integer New_MousePointer);
    PictureRef MouseIcon() const { return m_MouseIcon; }
    void setMouseIcon(const PictureRef& New_MouseIcon);
    bool ShowFocusRect() const { return m_ShowFocusRect; }
    void setShowFocusRect(bool New_ShowFocusRect);
    QString URL() const { return m_URL; }
    void setURL(const QString& New_URL);
    QString Caption() const { return m_Caption; }
    void setCaption(const QString& New_Caption);
    Long ButtonStyle() const { return m_ButtonStyle; }
    void setButtonStyle(Long New_ButtonStyle);
    Long PicturePosition() const { return m_PicturePosition; }
    void setPicturePosition(Long New_PicturePosition);
    // The picture shown now: the hover picture while the pointer is over the button.
    PictureRef Picture() const { return m_Picture; }
    void setPicture(const PictureRef& New_Picture);
    Long PictureWidth() const { return m_PictureWidth; }
    void setPictureWidth(Long New_PictureWidth);
    Long PictureHeight() const { return m_PictureHeight; }
    void setPictureHeight(Long New_PictureHeight);
    Long PictureSize() const { return m_PictureSize; }
    void setPictureSize(Long New_PictureSize);
    PictureRef PictureHover() const { return m_PictureHover; }
    void setPictureHover(const PictureRef& New_PictureHover);
    Long XPColor_Pressed() const { return m_XPColor_Pressed; }
    void setXPColor_Pressed(Long New_XPColor_Pressed);
    Long XPColor_Hover() const { return m_XPColor_Hover; }
    void setXPColor_Hover(Long New_XPColor_Hover);
    bool XPDefaultColors() const { return m_XPDefaultColors; }
    void setXPDefaultColors(bool New_XPDefaultColors);
    Long BackColor() const { return m_BackColor; }
    void setBackColor(Long New_BackColor);
    Long ForeColor() const { return m_ForeColor; }
    void setForeColor(Long New_ForeColor);
    QVariant SoundOver() const { return m_SoundOver; }
    void setSoundOver(const QVariant& New_SoundOver);
    QString SoundClick() const { return m_SoundClick; }
    void setSoundClick(const QString& New_SoundClick);
    QString version() const { return QStringLiteral("030102-155"); }
    void setversion(const QString& New_version);
    bool DefCurHand() const { return m_DefCurHand; }
    void setDefCurHand(bool New_DefCurHand);
    bool XPShowBorderAlways() const { return m_XPShowBorderAlways; }
    void setXPShowBorderAlways(bool New_XPShowBorderAlways);
    Long MaskColor() const { return m_MaskColor; }
    void setMaskColor(Long New_MaskColor);
    bool TransparentBG() const { return m_TransparentBG; }
    void setTransparentBG(bool New_TransparentBG);
    Integer BEVEL() const { return m_BEVEL; }
    void setBEVEL(Integer New_BEVEL);
    Integer BEVELDEPTH() const { return m_BEVELDEPTH; }
    void setBEVELDEPTH(Integer New_BEVELDEPTH);

    // The natural size of the current picture, saved with the button.
    Long OriginalPicSizeW() const { return m_OriginalPicSizeW; }
    Long OriginalPicSizeH() const { return m_OriginalPicSizeH; }

    // Redraws the whole face.
    void Refresh();
    // Opens the link target in URL: "mailto:" addresses through the shell,
    // anything else in the browser.
    void GoToURL();
    // The host reports that one of its ambient properties changed.
    void AmbientChanged(const QString& propertyName);

    // The lower-case access key taken from Caption, or a null QChar.
    QChar AccessKey() const { return m_AccessKey; }

    // Services for sound, shell and the pointer; the program's own by default.
    void setPlatform(Platform& platform) { m_platform = &platform; }
    // The host's ambient properties; without one the parents are searched.
    void setContainer(ButtonContainer* container) { m_container = container; }

    // Inspection of the interaction state and the last drawn face.
    struct State {
        bool HasFocus = false;
        bool IsPressed = false;
        bool IsHover = false;
        bool KeyLatch = false;
        bool overTimerRunning = false;
    };
    State state() const;
    // The face at the resolution of the last paint (1x unless the screen or
    // the rendering target has more device pixels per pixel).
    const QImage& face() const { return m_face; }
    QRect focusRect() const { return m_FocusRect; }
    FaceInputs faceInputs() const;

    // The press action of assistive technology: the same as a click.
    void pressFromAssistant();

    QSize sizeHint() const override { return {89, 25}; }

signals:
    void Click();
    void KeyDown(int KeyCode, int Shift);
    void KeyPress(int KeyAscii);
    void KeyUp(int KeyCode, int Shift);
    void MouseDown(int Button, int Shift, float X, float Y);
    void MouseMove(int Button, int Shift, float X, float Y);
    void MouseUp(int Button, int Shift, float X, float Y);
    void MouseIn(int Shift);
    void MouseOut(int Shift);

    // A property changed: the host's saved layout is out of date.
    void PropertyChanged(const QString& name);
    // One redraw finished (the face image is new).
    void Redrawn();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Initialize();
    ButtonContainer* container() const;
    ButtonFont ambientFont() const;
    QString ambientDisplayName() const;

    void OnMouseDown(int button, int shift, float x, float y);
    void OnMouseUp(int button, int shift, float x, float y);
    void OnOverTimer();
    void OnResize();
    void UpdateAccessKey();
    void PlaySoundFile(const QString& path);
    void OpenWithShell(QWidget* owner, const QString& target);
    void g_Font_FontChanged(const QString& propertyName);
    void applySurfaceEnabled(bool enabled);
    DevicePlacement screenPlacement() const;
    void renderFace(const DevicePlacement& placement);
    void applyMousePointer();
    bool isInside(float x, float y) const;

    Platform* m_platform;
    ButtonContainer* m_container = nullptr;

    ButtonFont g_Font;
    Integer m_MousePointer = 0;
    PictureRef m_MouseIcon;
    bool m_ShowFocusRect = true;
    QString m_URL;
    QString m_Caption;
    Long m_ButtonStyle = 2;
    Long m_PicturePosition = 1;
    PictureRef m_Picture;
    PictureRef NormalPicture;
    Long m_PictureWidth = 32;
    Long m_PictureHeight = 32;
    Long m_PictureSize = 1;
    PictureRef m_PictureHover;
    Long m_XPColor_Pressed = DefaultXPColor_Pressed;
    Long m_XPColor_Hover = DefaultXPColor_Hover;
    bool m_XPDefaultColors = true;
    Long m_BackColor = DefaultBackColor;
    Long m_ForeColor = DefaultForeColor;
    QString m_SoundOver = DefaultSoundOver;
    QString m_SoundClick = DefaultSoundClick;
    bool m_DefCurHand = false;
    bool m_XPShowBorderAlways = false;
    Long m_MaskColor = 0;
    bool m_TransparentBG = false;
    Integer m_BEVEL = 1;
    Integer m_BEVELDEPTH = 8;
    Long m_OriginalPicSizeW = 0;
    Long m_OriginalPicSizeH = 0;

    // Interaction state.
    std::uint8_t HasFocus = 0;
    std::uint8_t IsPressed = 0;
    std::uint8_t IsHover = 0;
    std::uint8_t KeyLatch = 0;
    int LastButton = 0;
    int LastShift = 0;
    float LastX = 0;
    float LastY = 0;
    Long ClientWidth = 0;
    Long ClientHeight = 0;
    QRect m_FocusRect;

    QTimer* OverTimer;
    QChar m_AccessKey;
    int m_shortcutId = 0;
    bool m_capturedForDoubleClick = false;
    bool m_settingEnabled = false;

    FaceMemory m_memory;
    QImage m_face;
    QSize m_faceSize; // in pixels, whatever the face's device ratio
    DevicePlacement m_placement;
};
