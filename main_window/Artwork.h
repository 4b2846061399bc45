#pragma once

#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QSize>

// Vestrel's own artwork, drawn when the window is built: the picture under
// the edit boxes and the window's icon.
namespace Artwork {
inline constexpr QSize pictureSize{265, 184};
QPixmap ballPicture();
QIcon windowIcon();
} // namespace Artwork

// A picture that reports a left click, like a picture control does.
class PictureBox final : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
