#include "main_window/FrameBox.h"

#include "button_control/drawing/ButtonFace.h"
#include "main_window/AccessibleFactory.h"

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

} // namespace

FrameBox::FrameBox(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {
    installAccessibleInterface<FrameBox, FrameBoxAccessible>();
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
    drawBorder(painter, top);
    if (m_title.isEmpty())
        return;
    const int captionWidth = metrics.horizontalAdvance(m_title);
    const QRect caption(8, 0, captionWidth + 2, metrics.height());
    painter.fillRect(caption, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, m_title);
}

// An etched border: a grey line with a white one inside and below it, each as
// thick as the button's lines. Laid out in the device pixels the frame covers,
// so that at any scale each line has the same thickness on all four sides and
// the outer one starts at the frame's own edge.
void FrameBox::drawBorder(QPainter& painter, int top) const {
    const QTransform toDevice = painter.deviceTransform();
    const QRect area = toDevice.map(QRegion(rect())).boundingRect();
    const int line = FaceLineWidth(PaintedDeviceRatio(painter));
    const int lineTop = qRound(toDevice.map(QPointF(0, top)).y());
    const QRect grey(area.left(), lineTop, area.width() - line, area.bottom() + 1 - lineTop - line);
    const auto frame = [&](const QRect& outer, const QColor& colour) {
        painter.fillRect(QRect(outer.left(), outer.top(), outer.width(), line), colour);
        painter.fillRect(QRect(outer.left(), outer.bottom() + 1 - line, outer.width(), line), colour);
        painter.fillRect(QRect(outer.left(), outer.top(), line, outer.height()), colour);
        painter.fillRect(QRect(outer.right() + 1 - line, outer.top(), line, outer.height()), colour);
    };
    painter.save();
    painter.setWorldTransform(toDevice.inverted());
    frame(grey, QColor(128, 128, 128));
    frame(grey.translated(line, line), Qt::white);
    painter.restore();
}
