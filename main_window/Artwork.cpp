#include "main_window/Artwork.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

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

// A white ball with a dark centre patch and five patches around it, clipped
// to the ball, with a soft light from the top left.
void drawBall(QPainter& painter, QPointF centre, double radius) {
    QRadialGradient shading(centre - QPointF(radius * 0.35, radius * 0.35), radius * 1.4);
    shading.setColorAt(0.0, Qt::white);
    shading.setColorAt(0.7, QColor(225, 228, 232));
    shading.setColorAt(1.0, QColor(150, 155, 165));
    painter.setPen(QPen(QColor(40, 40, 48), radius / 22.0));
    painter.setBrush(shading);
    painter.drawEllipse(centre, radius, radius);

    QPainterPath ball;
    ball.addEllipse(centre, radius, radius);
    painter.save();
    painter.setClipPath(ball);
    painter.setBrush(QColor(30, 32, 40));
    painter.setPen(Qt::NoPen);
    const double patch = radius * 0.32;
    painter.drawPolygon(pentagon(centre, patch, 0.0));
    for (int side = 0; side < 5; ++side) {
        const double angle = side * 2.0 * std::numbers::pi / 5.0 + std::numbers::pi / 2.0;
        const QPointF outer =
            centre + QPointF(radius * 0.92 * std::cos(angle), radius * 0.92 * std::sin(angle));
        painter.drawPolygon(pentagon(outer, patch, std::numbers::pi / 5.0 + angle));
        painter.setPen(QPen(QColor(30, 32, 40), radius / 26.0));
        const QPointF corner = centre + QPointF(patch * std::cos(angle), patch * std::sin(angle));
        painter.drawLine(corner, outer);
        painter.setPen(Qt::NoPen);
    }
    painter.restore();
}

} // namespace

QPixmap Artwork::ballPicture() {
    QPixmap picture(pictureSize);
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

    QFont title(QStringLiteral("Sans Serif"));
    title.setStyleHint(QFont::SansSerif);
    title.setPixelSize(30);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(QColor(20, 60, 120));
    painter.drawText(QRectF(150, 28, 112, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Vestrel"));
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

QIcon Artwork::windowIcon() {
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64}) {
        QPixmap image(side, side);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        drawBall(painter, QPointF(side / 2.0, side / 2.0), side / 2.0 - 1.0);
        painter.end();
        icon.addPixmap(image);
    }
    return icon;
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
