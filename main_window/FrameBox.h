#pragma once

#include <QString>
#include <QWidget>

class QPainter;

// A captioned frame as the window's layout has it: a white panel with an
// etched border, the caption at the top left over the border, and children
// placed in the frame's own pixels (the caption's line is part of them).
class FrameBox final : public QWidget {
    Q_OBJECT
public:
    explicit FrameBox(const QString& title, QWidget* parent = nullptr);

    QString title() const { return m_title; }
    void setTitle(const QString& title);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawBorder(QPainter& painter, int top) const;

    QString m_title;
};
