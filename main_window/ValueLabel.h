#pragma once

#include <QLabel>
#include <QPointer>

// The name of the value in a box, shown beside it ("Nike" beside producer 2).
// A screen reader hears it as the box's description. The label tells it that
// the box controls it, so that it is read neither as the box's name nor as
// loose text of the frame around it.
class ValueLabel final : public QLabel {
    Q_OBJECT
public:
    ValueLabel(const QString& text, QWidget* box, QWidget* parent);

    QWidget* box() const { return m_box; }

private:
    QPointer<QWidget> m_box;
};
