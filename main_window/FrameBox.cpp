#include "main_window/FrameBox.h"

#include <QAccessibleWidget>
#include <QPainter>

namespace {

// A frame is read as a grouping named by its caption, as a group box is, so
// that a reader says which frame the focus has entered.
class FrameBoxAccessible final : public QAccessibleWidget {
public:
    explicit FrameBoxAccessible(FrameBox* frame) : QAccessibleWidget(frame, QAccessible::Grouping) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const FrameBox*>(widget())->title();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* frameFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("FrameBox") && object && object->isWidgetType())
        return new FrameBoxAccessible(static_cast<FrameBox*>(object));
    return nullptr;
}

} // namespace

FrameBox::FrameBox(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(frameFactory);
        return true;
    }();
    (void)factoryInstalled;
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    setPalette(colours);
}

void FrameBox::setTitle(const QString& title) {
    if (title == m_title)
        return;
    m_title = title;
    update();
    QAccessibleEvent renamed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
}

void FrameBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int top = metrics.height() / 2;
    // An etched border: a grey line with a white one inside and below it.
    const QRect border(0, top, width() - 2, height() - top - 2);
    painter.setPen(QColor(128, 128, 128));
    painter.drawRect(border);
    painter.setPen(Qt::white);
    painter.drawRect(border.translated(1, 1));
    if (m_title.isEmpty())
        return;
    const int captionWidth = metrics.horizontalAdvance(m_title);
    const QRect caption(8, 0, captionWidth + 2, metrics.height());
    painter.fillRect(caption, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, m_title);
}
