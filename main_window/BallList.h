#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStringList>

// The lines of the ball list ("1 : Name", ...), one per record of the table.
// A plain list of texts: the list holds up to 32,767 lines, and a model of
// our own keeps filling it and rewriting one line cheap.
class BallListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void setLines(QStringList lines);
    void clear();
    void append(const QString& line);
    void setLine(int row, const QString& line);
    QString line(int row) const;
    int count() const { return static_cast<int>(m_lines.size()); }

private:
    QStringList m_lines;
};

// The view of the ball list. Every line has the same height, so the view
// measures one line instead of all of them, and a rewritten line only needs
// that line repainted, not the whole list laid out again. Only the left
// button selects; every press is reported first as mouseDown.
class BallListView final : public QListView {
    Q_OBJECT
public:
    explicit BallListView(QWidget* parent = nullptr);

    void reset() override;

    // 1 for the left button, 2 for the right, 4 for the middle; x, y in the
    // list's own pixels.
signals:
    void mouseDown(int button, Qt::KeyboardModifiers shift, int x, int y);

protected:
    void updateGeometries() override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
};
