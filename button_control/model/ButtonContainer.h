#pragma once

#include "button_control/model/ButtonFont.h"

#include <QImage>
#include <QPoint>
#include <QString>

#include <optional>

class Button_XP;

// What a widget hosting buttons tells them about itself (its ambient
// properties). A host implements this beside QWidget; a button finds it by
// walking up its parents, or is given one with Button_XP::setContainer.
// Without one, a button uses its parent's font, its own object name as
// display name, runs in user mode, is no default button and has no
// background picture behind it.
class ButtonContainer {
public:
    virtual ~ButtonContainer() = default;

    // The font a new button starts with; no value means the parent widget's font.
    virtual std::optional<ButtonFont> ambientFont() const { return std::nullopt; }
    // The name a new button takes as its caption.
    virtual QString displayName(const Button_XP& control) const;
    // False while a designer shows the buttons rather than the running program.
    virtual bool userMode() const { return true; }
    // Whether the host treats this button as its default one (Enter presses it).
    virtual bool isDefaultButton(const Button_XP&) const { return false; }
    // The host's background picture, shown behind transparent buttons.
    virtual std::optional<QImage> backgroundPicture() const { return std::nullopt; }
    // The button's top-left in the background picture's pixels.
    virtual QPoint positionInPixels(const Button_XP& control) const;
};
