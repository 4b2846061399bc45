#include "main_window/BallList.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

int BallListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant BallListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return m_lines.at(index.row());
    return {};
}

void BallListModel::setLines(QStringList lines) {
    beginResetModel();
    m_lines = std::move(lines);
    endResetModel();
}

void BallListModel::clear() {
    setLines({});
}

void BallListModel::append(const QString& line) {
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    m_lines.append(line);
    endInsertRows();
}

void BallListModel::setLine(int row, const QString& line) {
    if (row < 0 || row >= count() || m_lines.at(row) == line)
        return;
    m_lines[row] = line;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

QString BallListModel::line(int row) const {
    return row >= 0 && row < count() ? m_lines.at(row) : QString();
}

BallListView::BallListView(QWidget* parent) : QListView(parent) {
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A line longer than the list is cut at its edge, as in a list box, not
    // shortened with "..."; and, as there, the list never scrolls sideways.
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void BallListView::updateGeometries() {
    QListView::updateGeometries();
    horizontalScrollBar()->setRange(0, 0);
}

// A list filled anew starts at its first line, as a cleared and refilled list
// box does; the view alone would keep the old scroll position.
void BallListView::reset() {
    QListView::reset();
    scrollToTop();
}

void BallListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                               const QList<int>& roles) {
    // With uniform line heights one changed line cannot move any other line,
    // so the item layout stays valid: repaint that line and nothing more.
    if (topLeft.isValid() && topLeft == bottomRight) {
        QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    QListView::dataChanged(topLeft, bottomRight, roles);
}

void BallListView::mousePressEvent(QMouseEvent* event) {
    int button = 0;
    switch (event->button()) {
    case Qt::LeftButton:
        button = 1;
        break;
    case Qt::RightButton:
        button = 2;
        break;
    case Qt::MiddleButton:
        button = 4;
        break;
    default:
        break;
    }
    const QPoint at = event->position().toPoint();
    emit mouseDown(button, event->modifiers(), at.x(), at.y());
    // Only the left button selects, as in a list box.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}

void BallListView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QListView::mouseReleaseEvent(event);
}

void BallListView::keyPressEvent(QKeyEvent* event) {
    // With nothing selected yet (a freshly filled list), the first arrow or
    // Home selects the line with the focus mark instead of moving past it,
    // and End or a page key moves from the first line, as in a list box.
    if (event->modifiers() == Qt::NoModifier && model() && model()->rowCount() > 0 &&
        !selectionModel()->hasSelection()) {
        if (!currentIndex().isValid())
            selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::NoUpdate);
        const int key = event->key();
        if (key == Qt::Key_Down || key == Qt::Key_Up || key == Qt::Key_Home) {
            selectionModel()->setCurrentIndex(currentIndex(), QItemSelectionModel::ClearAndSelect);
            scrollTo(currentIndex());
            event->accept();
            return;
        }
    }
    QListView::keyPressEvent(event);
}

QItemSelectionModel::SelectionFlags BallListView::selectionCommand(const QModelIndex& index,
                                                                   const QEvent* event) const {
    // A click below the last line, or Ctrl with a click or the space bar,
    // would take the selection away; a list box keeps its one selected line,
    // and the boxes keep editing it.
    const QItemSelectionModel::SelectionFlags command = QListView::selectionCommand(index, event);
    if (!index.isValid() || command.testFlag(QItemSelectionModel::Deselect))
        return QItemSelectionModel::NoUpdate;
    return command;
}
