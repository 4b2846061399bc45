#include "button_control/model/Button_XPAccessible.h"

#include "button_control/drawing/FacePainter.h"
#include "button_control/model/Button_XP.h"

#include <QKeySequence>

namespace {

QAccessibleInterface* buttonFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("Button_XP") && object && object->isWidgetType())
        return new Button_XPAccessible(static_cast<Button_XP*>(object));
    return nullptr;
}

} // namespace

Button_XPAccessible::Button_XPAccessible(Button_XP* button)
    : QAccessibleWidget(button, QAccessible::Button) {}

void Button_XPAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory(buttonFactory);
        return true;
    }();
    (void)installed;
}

Button_XP* Button_XPAccessible::button() const {
    return static_cast<Button_XP*>(widget());
}

QString Button_XPAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name && button()->accessibleName().isEmpty())
        return StripAccessKeyPrefixes(button()->Caption()).text;
    if (t == QAccessible::Accelerator && !button()->AccessKey().isNull())
        return QKeySequence(Qt::ALT | Qt::Key(button()->AccessKey().toUpper().unicode()))
            .toString(QKeySequence::NativeText);
    return QAccessibleWidget::text(t);
}

QAccessible::State Button_XPAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.pressed = button()->state().IsPressed;
    return state;
}

QStringList Button_XPAccessible::actionNames() const {
    QStringList names = QAccessibleWidget::actionNames();
    if (button()->isEnabled())
        names.prepend(pressAction());
    return names;
}

void Button_XPAccessible::doAction(const QString& actionName) {
    // Queued, as a push button's press is: the click may open a modal box,
    // and a tool that waits for its call to return could not read that box.
    if (actionName == pressAction()) {
        if (button()->isEnabled())
            QMetaObject::invokeMethod(button(), &Button_XP::pressFromAssistant, Qt::QueuedConnection);
    } else
        QAccessibleWidget::doAction(actionName);
}

QStringList Button_XPAccessible::keyBindingsForAction(const QString& actionName) const {
    if (actionName == pressAction())
        return {QKeySequence(Qt::Key_Space).toString(QKeySequence::NativeText)};
    return QAccessibleWidget::keyBindingsForAction(actionName);
}
