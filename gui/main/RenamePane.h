#pragma once
// The rename pane: the rename list (old name, new name), the commands that
// remove and order its rows, and its count. A row is moved by dragging it to
// another place.

#include <QWidget>

class QAbstractItemModel;
class QLabel;
class QPushButton;
class QTableView;

namespace tav {

class RenamePane : public QWidget {
    Q_OBJECT
public:
    explicit RenamePane(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model);
    // Rows selected in the view, in order.
    QList<int> selectedRows() const;
    void selectRows(const QList<int> &rows);
    void setCountText(const QString &text);
    // While an adding or a rename runs, the list is not redrawn and rows are
    // not dragged.
    void setActionRunning(bool running);
    // Columns of half the list each (the first activation), and the widths
    // the user set, kept between starts.
    void fitColumns();
    QList<QVariant> columnWidths() const;
    void setColumnWidths(const QList<QVariant> &widths);
    // The commands off during a long operation, back on after it; the list
    // and its count stay on.
    void switchCommands(bool on);

signals:
    void removeRequested(const QList<int> &rows);
    void clearRequested();
    void upRequested(const QList<int> &rows);
    void downRequested(const QList<int> &rows);
    // A row was pressed (its file is previewed); a row was dragged elsewhere.
    void rowPressed(int row);
    void rowDragged(int from, int to);
    // Files and folders dropped onto the list from another program.
    void pathsDropped(const QStringList &paths);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool listMouse(QEvent *event);

    QTableView *lstrename = nullptr;
    QPushButton *cmdDel = nullptr, *cmdClear = nullptr, *cmdUp = nullptr, *cmdDown = nullptr;
    QLabel *Label4 = nullptr;
    bool m_actionRunning = false;
    int m_dragFrom = -1; // row pressed, while the button is down
    bool m_dragging = false;
    QPoint m_dragStart;
};

} // namespace tav
