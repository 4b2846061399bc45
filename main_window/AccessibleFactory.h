#pragma once

#include <QAccessible>
#include <QLatin1String>
#include <QObject>

// The window's own widgets give a screen reader interfaces of their own:
// `Interface` for every `Widget`, which names itself with Q_OBJECT.
template <typename Widget, typename Interface>
QAccessibleInterface* accessibleInterfaceFor(const QString& className, QObject* object) {
    if (className == QLatin1String(Widget::staticMetaObject.className()) && object && object->isWidgetType())
        return new Interface(static_cast<Widget*>(object));
    return nullptr;
}

// Once per program, before the first widget of the kind asks for its interface.
template <typename Widget, typename Interface> void installAccessibleInterface() {
    static const bool installed = [] {
        QAccessible::installFactory(&accessibleInterfaceFor<Widget, Interface>);
        return true;
    }();
    (void)installed;
}
