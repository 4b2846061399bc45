#pragma once

#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QSize>

#include <functional>

// Vestrel's own artwork, drawn when the window is built: the picture under
// the edit boxes and the window's icon. Both are drawn for the device pixel
// ratio they are shown at.
namespace Artwork {
inline constexpr QSize pictureSize{265, 184};
QPixmap ballPicture(qreal devicePixelRatio = 1.0);
QIcon windowIcon();
} // namespace Artwork

// A picture that reports a left click, like a picture control does, Enter
// or Space while it has the keyboard focus, and the press action of
// assistive technology.
class PictureBox final : public QLabel {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // Shows the picture drawn by `draw` for the ratio of the device painted on.
    void setArtwork(std::function<QPixmap(qreal)> draw);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<QPixmap(qreal)> m_draw;
    QPixmap m_sharp; // the picture at the ratio last painted above 1
};
