#include "WindowHarness.h"

#include "button_control/drawing/ButtonFace.h"

#include <cmath>

namespace {

// The window as a screen of that scale shows it: rendered into an image of
// the scale's device pixels, as the window system's backing store is.
QImage rendered(QWidget* window, double scale) {
    QImage image(int(std::ceil(window->width() * scale)), int(std::ceil(window->height() * scale)),
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::black);
    window->render(&image);
    image.setDevicePixelRatio(1.0);
    return image;
}

// The device pixels a control covers: its edges rounded to the nearest
// device pixel, as the window system clips it.
QRect deviceRect(const QRect& logical, double scale) {
    const QPoint topLeft(qRound(logical.left() * scale), qRound(logical.top() * scale));
    const QPoint end(qRound((logical.right() + 1) * scale), qRound((logical.bottom() + 1) * scale));
    return {topLeft, end - QPoint(1, 1)};
}

// How many pixels from `from` on, stepping by `step`, have (or, with
// matching false, do not have) the colour.
int runOf(const QImage& image, QPoint from, QPoint step, QRgb colour, bool matching = true) {
    int run = 0;
    for (QPoint p = from; image.rect().contains(p) && ((image.pixel(p) == colour) == matching); p += step)
        ++run;
    return run;
}

} // namespace

// At 125 %, 150 %, 175 % and 200 % every line of the buttons and frames is
// whole: as thick on each side as on the others, in the colour it has at
// 100 %, with no black pixel where the corners are cut.
class WindowScaleTest : public QObject {
    Q_OBJECT
private slots:
    void linesAreWholeAtEveryScale() {
        WindowHarness h;
        QWidget* window = h.window.get();
        const QImage plain = rendered(window, 1.0);
        for (const double scale : {1.25, 1.5, 1.75, 2.0}) {
            const QImage image = rendered(window, scale);
            const int line = FaceLineWidth(scale);
            for (const char* name : {"Cmd_Zapisz", "ADD"}) {
                auto* button = h.find<QWidget>(name);
                const QRect logical(button->mapTo(window, QPoint(0, 0)), button->size());
                const QRect device = deviceRect(logical, scale);
                const QRgb outline = plain.pixel(logical.center().x(), logical.top());
                const QString where = QStringLiteral("%1 at %2 %").arg(QLatin1String(name)).arg(scale * 100);
                for (const double along : {0.25, 0.5, 0.75}) {
                    const int x = device.left() + int(device.width() * along);
                    const int y = device.top() + int(device.height() * along);
                    const int runs[] = {
                        runOf(image, {x, device.top()}, {0, 1}, outline),
                        runOf(image, {x, device.bottom()}, {0, -1}, outline),
                        runOf(image, {device.left(), y}, {1, 0}, outline),
                        runOf(image, {device.right(), y}, {-1, 0}, outline),
                    };
                    for (const int run : runs)
                        QVERIFY2(run == line,
                                 qPrintable(
                                     where +
                                     QStringLiteral(": a side %1 pixels thick, not %2").arg(run).arg(line)));
                }
                // The corners, where the cut of the window region lies.
                const int corner = 4 * line;
                for (const QPoint& origin : {device.topLeft(), device.topRight() - QPoint(corner - 1, 0),
                                             device.bottomLeft() - QPoint(0, corner - 1),
                                             device.bottomRight() - QPoint(corner - 1, corner - 1)}) {
                    for (int dy = 0; dy < corner; ++dy)
                        for (int dx = 0; dx < corner; ++dx)
                            QVERIFY2(image.pixel(origin + QPoint(dx, dy)) != qRgb(0, 0, 0),
                                     qPrintable(where + QStringLiteral(": black near a corner")));
                }
            }

            // A frame: a grey line and a white one inside it, each one line
            // thick, all four starting at the frame's own edges.
            auto* frame = h.find<QWidget>("Frame3_2");
            const QRect logical(frame->mapTo(window, QPoint(0, 0)), frame->size());
            const QRect device = deviceRect(logical, scale);
            const QRgb grey = plain.pixel(logical.left(), logical.center().y());
            const QString where = QStringLiteral("the frame at %1 %").arg(scale * 100);
            const int x = device.right() - 4 * line; // right of the caption
            const int y = device.center().y();
            const int aboveLine = runOf(image, {x, device.top()}, {0, 1}, grey, false);
            const int runs[] = {
                runOf(image, {device.left(), y}, {1, 0}, grey),
                runOf(image, {device.right(), y}, {-1, 0}, grey, false),
                runOf(image, {device.right() - line, y}, {-1, 0}, grey),
                runOf(image, {x, device.top() + aboveLine}, {0, 1}, grey),
                runOf(image, {x, device.bottom()}, {0, -1}, grey, false),
                runOf(image, {x, device.bottom() - line}, {0, -1}, grey),
            };
            for (const int run : runs)
                QVERIFY2(run == line,
                         qPrintable(where +
                                    QStringLiteral(": a line %1 pixels thick, not %2").arg(run).arg(line)));
        }
    }
};

QTEST_MAIN(WindowScaleTest)
#include "window_scale_test.moc"
