// Draws Vestrel's icon, a football on a piece of pitch, into
// <folder>/<size>/vestrel.png for each size given:
//   make_icon <folder> <size>...
// Shapes only, no text, so that no font or display is needed at build time.
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

// The corners of a regular pentagon around center, the first one pointing up.
QPolygonF pentagon(QPointF center, double radius, double turn = 0) {
    QPolygonF corners;
    for (int i = 0; i < 5; ++i) {
        const double angle = -std::numbers::pi / 2 + turn + i * 2 * std::numbers::pi / 5;
        corners << center + QPointF(radius * std::cos(angle), radius * std::sin(angle));
    }
    return corners;
}

// Everything is drawn on a 256-unit square and scaled to the size asked for.
QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);

    // The pitch: a rounded square with a mown stripe and the halfway line.
    const QRectF pitch(8, 8, 240, 240);
    QPainterPath outline;
    outline.addRoundedRect(pitch, 44, 44);
    QLinearGradient grass(0, 8, 0, 248);
    grass.setColorAt(0, QColor(0x3c, 0xa5, 0x4a));
    grass.setColorAt(1, QColor(0x1d, 0x6b, 0x2c));
    painter.fillPath(outline, grass);
    painter.save();
    painter.setClipPath(outline);
    painter.fillRect(QRectF(88, 8, 80, 240), QColor(255, 255, 255, 28));
    painter.setPen(QPen(QColor(255, 255, 255, 210), 7));
    painter.drawLine(QPointF(8, 128), QPointF(248, 128));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(128, 128), 104, 104);
    painter.restore();

    // The ball: white, a black pentagon in the middle and the seams to the
    // black patches that the rim cuts.
    const QPointF centre(128, 128);
    const double radius = 78;
    QPainterPath ball;
    ball.addEllipse(centre, radius, radius);
    painter.fillPath(ball, QColor(0x1a, 0x1a, 0x1a, 90)); // soft shadow below
    painter.translate(4, 6);
    painter.fillPath(ball, Qt::white);
    painter.save();
    painter.setClipPath(ball);
    const QPolygonF middle = pentagon(centre, 26);
    painter.setPen(QPen(QColor(0x1a, 0x1a, 0x1a), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QColor(0x1a, 0x1a, 0x1a));
    painter.drawPolygon(middle);
    for (int i = 0; i < 5; ++i) {
        const QPointF direction = (middle[i] - centre) / 26.0;
        const QPointF patchCentre = centre + direction * (radius + 8);
        painter.drawLine(middle[i], centre + direction * (radius - 24));
        painter.drawPolygon(pentagon(patchCentre, 24, std::numbers::pi / 5 + i * 2 * std::numbers::pi / 5));
    }
    painter.restore();
    painter.setPen(QPen(QColor(0x1a, 0x1a, 0x1a), 5));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(ball);
    painter.end();
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_icon <folder> <size>...\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString sized = folder + QStringLiteral("/%1").arg(size);
        if (size < 8 || !QDir().mkpath(sized) ||
            !drawIcon(size).save(sized + QStringLiteral("/vestrel.png"))) {
            std::fprintf(stderr, "make_icon: cannot write the %s-pixel icon into %s\n", argv[i], argv[1]);
            return 1;
        }
    }
    return 0;
}
