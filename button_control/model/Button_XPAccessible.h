#pragma once

#include <QAccessibleWidget>

class Button_XP;

// What assistive technology learns about a Button_XP: a push button named by
// its caption without the access-key ampersands, its enabled, focused and
// pressed states, and a press action that clicks it once the call has returned.
class Button_XPAccessible final : public QAccessibleWidget {
public:
    explicit Button_XPAccessible(Button_XP* button);

    // Registers the factory once; every Button_XP gets this interface.
    static void install();

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    Button_XP* button() const;
};
