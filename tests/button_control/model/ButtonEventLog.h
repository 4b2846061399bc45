#pragma once

#include "button_control/model/Button_XP.h"
#include "common/FakePlatform.h"

#include <QObject>
#include <QStringList>

// Everything a button does, in the order it happens: its events, its redraws
// (with the face state drawn), its sounds and the links it opens.
class ButtonEventLog : public SoundPlayer, public Shell {
public:
    explicit ButtonEventLog(Button_XP& button) : m_button(button) {
        QObject::connect(&button, &Button_XP::Click, &m_context,
                         [this] { entries << QStringLiteral("Click"); });
        QObject::connect(&button, &Button_XP::KeyDown, &m_context, [this](int code, int shift) {
            entries << QStringLiteral("KeyDown(%1,%2)").arg(code).arg(shift);
        });
        QObject::connect(&button, &Button_XP::KeyPress, &m_context,
                         [this](int ascii) { entries << QStringLiteral("KeyPress(%1)").arg(ascii); });
        QObject::connect(&button, &Button_XP::KeyUp, &m_context, [this](int code, int shift) {
            entries << QStringLiteral("KeyUp(%1,%2)").arg(code).arg(shift);
        });
        QObject::connect(&button, &Button_XP::MouseDown, &m_context, [this](int b, int s, float x, float y) {
            entries << QStringLiteral("MouseDown(%1,%2,%3,%4)").arg(b).arg(s).arg(x).arg(y);
        });
        QObject::connect(&button, &Button_XP::MouseMove, &m_context, [this](int b, int s, float x, float y) {
            entries << QStringLiteral("MouseMove(%1,%2,%3,%4)").arg(b).arg(s).arg(x).arg(y);
        });
        QObject::connect(&button, &Button_XP::MouseUp, &m_context, [this](int b, int s, float x, float y) {
            entries << QStringLiteral("MouseUp(%1,%2,%3,%4)").arg(b).arg(s).arg(x).arg(y);
        });
        QObject::connect(&button, &Button_XP::MouseIn, &m_context,
                         [this](int s) { entries << QStringLiteral("MouseIn(%1)").arg(s); });
        QObject::connect(&button, &Button_XP::MouseOut, &m_context,
                         [this](int s) { entries << QStringLiteral("MouseOut(%1)").arg(s); });
        QObject::connect(&button, &Button_XP::Redrawn, &m_context, [this] {
            const FaceInputs face = m_button.faceInputs();
            entries << QStringLiteral("redraw(pressed=%1,hover=%2)").arg(face.IsPressed).arg(face.IsHover);
        });
        platform.sound = this;
        platform.shell = this;
        platform.pointer = &pointer;
        button.setPlatform(platform);
    }

    bool playAsync(const QString& path) override {
        entries << QStringLiteral("sound(%1)").arg(path);
        return false;
    }
    void shellExecute(QWidget*, const QString& verb, const QString& target, const QString& parameters,
                      const QString& directory, int showCommand) override {
        entries << QStringLiteral("shell(%1,%2,%3,%4,%5)")
                       .arg(verb, target, parameters, directory)
                       .arg(showCommand);
    }
    void openUrl(const QString& address) override { entries << QStringLiteral("browse(%1)").arg(address); }

    // Takes the entries so far, leaving the log empty.
    QStringList take() { return std::exchange(entries, {}); }

    QStringList entries;
    Platform platform;
    VirtualPointer pointer;

private:
    Button_XP& m_button;
    QObject m_context; // ends the connections with the log
};
