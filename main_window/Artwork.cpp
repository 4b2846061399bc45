#include "main_window/Artwork.h"

#include "main_window/AccessibleFactory.h"
#include "main_window/WindowFonts.h"

#include <QAccessibleWidget>
#include <QIconEngine>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

QPolygonF pentagon(QPointF centre, double radius, double turn) {
    QPolygonF shape;
    for (int corner = 0; corner < 5; ++corner) {
        const double angle = turn + corner * 2.0 * std::numbers::pi / 5.0 - std::numbers::pi / 2.0;
        shape << centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
    }
    return shape;
}

// A white ball with a dark centre patch and five smaller patches around it,
// lit from the top left. Everything lies inside the ball, so nothing needs
// clipping, and plain fills only: clipping and gradients under antialiasing
// would cost more than the rest of the window's start-up.
void drawBall(QPainter& painter, QPointF centre, double radius) {
    const QColor patchColour(30, 32, 40);
    painter.setPen(QPen(QColor(40, 40, 48), radius / 22.0));
    painter.setBrush(QColor(214, 218, 226));
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre - QPointF(radius * 0.2, radius * 0.2), radius * 0.68, radius * 0.68);

    painter.setBrush(patchColour);
    const double patch = radius * 0.3;
    painter.drawPolygon(pentagon(centre, patch, 0.0));
    for (int side = 0; side < 5; ++side) {
        const double angle = side * 2.0 * std::numbers::pi / 5.0 + std::numbers::pi / 2.0;
        const QPointF direction(std::cos(angle), std::sin(angle));
        const QPointF outer = centre + direction * radius * 0.8;
        painter.drawPolygon(pentagon(outer, radius * 0.17, std::numbers::pi / 5.0 + angle));
        painter.setPen(QPen(patchColour, radius / 26.0));
        painter.drawLine(centre + direction * patch, outer);
        painter.setPen(Qt::NoPen);
    }
}

} // namespace

QPixmap Artwork::ballPicture(qreal devicePixelRatio) {
    QPixmap picture(pictureSize * devicePixelRatio);
    picture.setDevicePixelRatio(devicePixelRatio);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    // A strip of striped pitch under a white sky, the ball resting on it.
    const QRectF pitch(0, 118, pictureSize.width(), pictureSize.height() - 118);
    for (int stripe = 0; stripe < 9; ++stripe) {
        const QColor grass = stripe % 2 == 0 ? QColor(58, 140, 62) : QColor(72, 158, 74);
        painter.fillRect(QRectF(stripe * 30.0, pitch.top(), 30.0, pitch.height()), grass);
    }
    painter.setPen(QPen(QColor(240, 248, 240), 2));
    painter.drawLine(QPointF(0, pitch.top() + 6), QPointF(pictureSize.width(), pitch.top() + 6));
    painter.drawArc(QRectF(150, pitch.top() + 6 - 40, 80, 80), 180 * 16, 180 * 16);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 60));
    painter.drawEllipse(QRectF(52, 150, 92, 16));
    drawBall(painter, QPointF(96, 108), 50);

    // The name fills the space right of the ball, in the sans-serif face
    // Vestrel carries, so that it looks the same everywhere.
    const QRectF titleArea(150, 28, 108, 40);
    QFont title(WindowFonts::fallbackFamily);
    title.setStyleHint(QFont::SansSerif);
    title.setBold(true);
    title.setPixelSize(30);
    while (title.pixelSize() > 12 &&
           QFontMetrics(title).horizontalAdvance(QStringLiteral("Vestrel")) > titleArea.width())
        title.setPixelSize(title.pixelSize() - 2);
    painter.setFont(title);
    painter.setPen(QColor(20, 60, 120));
    painter.drawText(titleArea, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Vestrel"));
    QFont subtitle = title;
    subtitle.setPixelSize(12);
    subtitle.setBold(false);
    painter.setFont(subtitle);
    painter.setPen(QColor(90, 100, 110));
    painter.drawText(QRectF(152, 64, 112, 20), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("ball editor"));
    painter.setPen(QPen(QColor(20, 60, 120), 2));
    painter.drawLine(QPointF(152, 88), QPointF(250, 88));
    return picture;
}

namespace {

// Draws the icon at whatever size the platform asks for, when it asks.
class BallIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const double radius = std::min(rect.width(), rect.height()) / 2.0 - 1.0;
        drawBall(*painter, QRectF(rect).center(), radius);
        painter->restore();
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }
    // size is in device pixels already; the ball is drawn at every one of them.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap image(size);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        }
        image.setDevicePixelRatio(scale);
        return image;
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {{16, 16}, {32, 32}, {48, 48}}; }
    QIconEngine* clone() const override { return new BallIconEngine; }
    QString key() const override { return QStringLiteral("VestrelBall"); }
};

} // namespace

QIcon Artwork::windowIcon() {
    return QIcon(new BallIconEngine);
}

namespace {

// What assistive technology learns about the picture: a graphic, named by
// the window, with a press action that does what a click does. Like a push
// button's, the press only queues the click: the about box it opens is modal,
// and the tool that pressed must not wait for it to close.
class PictureBoxAccessible final : public QAccessibleWidget, public QAccessibleImageInterface {
public:
    explicit PictureBoxAccessible(PictureBox* box) : QAccessibleWidget(box, QAccessible::Graphic) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ImageInterface)
            return static_cast<QAccessibleImageInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString imageDescription() const override { return widget()->accessibleDescription(); }
    QSize imageSize() const override { return widget()->size(); }
    QPoint imagePosition() const override { return widget()->mapToGlobal(QPoint(0, 0)); }

    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (widget()->isEnabled())
            names.prepend(pressAction());
        return names;
    }
    void doAction(const QString& actionName) override {
        if (actionName != pressAction()) {
            QAccessibleWidget::doAction(actionName);
            return;
        }
        if (widget()->isEnabled())
            QMetaObject::invokeMethod(
                widget(), [box = static_cast<PictureBox*>(widget())] { emit box->clicked(); },
                Qt::QueuedConnection);
    }
    QStringList keyBindingsForAction(const QString& actionName) const override {
        if (actionName == pressAction())
            return {QKeySequence(Qt::Key_Space).toString(QKeySequence::NativeText)};
        return QAccessibleWidget::keyBindingsForAction(actionName);
    }
};

} // namespace

PictureBox::PictureBox(QWidget* parent) : QLabel(parent) {
    installAccessibleInterface<PictureBox, PictureBoxAccessible>();
}

void PictureBox::setArtwork(std::function<QPixmap(qreal)> draw) {
    m_draw = std::move(draw);
    m_sharp = QPixmap();
    setPixmap(m_draw(1.0));
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QPaintDevice* device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    const qreal ratio = device ? device->devicePixelRatioF() : devicePixelRatioF();
    if (m_draw && ratio > 1.0) {
        if (m_sharp.isNull() || !qFuzzyCompare(m_sharp.devicePixelRatio(), ratio))
            m_sharp = m_draw(ratio);
        painter.drawPixmap(0, 0, m_sharp);
    } else {
        painter.end();
        QLabel::paintEvent(event);
        painter.begin(this);
    }
    if (hasFocus()) {
        // The focus shows as a dotted frame just inside what shows of the
        // picture: its container may cut it, and controls on top hide its top.
        QRect shown = rect();
        if (const QWidget* container = parentWidget()) {
            shown &= container->rect().translated(-pos());
            for (const QWidget* other : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (other != this && other->isVisible() && other->geometry().contains(geometry().topLeft()))
                    shown.setTop(std::max(shown.top(), other->geometry().bottom() + 1 - y()));
        }
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        painter.drawRect(shown.adjusted(1, 1, -2, -2));
    }
}

void PictureBox::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        emit clicked();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
