#include "main_window/ValueLabel.h"

#include "main_window/AccessibleFactory.h"

#include <QAccessibleWidget>

namespace {

class ValueLabelAccessible final : public QAccessibleWidget {
public:
    explicit ValueLabelAccessible(ValueLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const ValueLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }

    QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override {
        auto found = QAccessibleWidget::relations(match);
        if (match & QAccessible::Controller)
            if (QWidget* box = static_cast<const ValueLabel*>(widget())->box())
                if (QAccessibleInterface* boxFace = QAccessible::queryAccessibleInterface(box))
                    found.append({boxFace, QAccessible::Controller});
        return found;
    }
};

} // namespace

// The text is set here, not by QLabel's constructor: a reader asks for the
// label's interface as the text is set, and must find this class's.
ValueLabel::ValueLabel(const QString& text, QWidget* box, QWidget* parent) : QLabel(parent), m_box(box) {
    installAccessibleInterface<ValueLabel, ValueLabelAccessible>();
    setText(text);
}
