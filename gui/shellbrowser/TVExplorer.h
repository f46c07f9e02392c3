#pragma once
// TVExplorer: the folder tree. A tree view that shows the user's home, the
// file system from "/" and the mounted volumes, folders only, each folder
// read on its first expansion. Attach it once, then drive it by TVPath.
//
// Its state lives in dynamic properties of the widget:
//   "CurrentPath"    full path of the selected folder
//   "UseContextMenu" 1 when a right click shows the folder's menu, else 0
//   "OldProc"        set once its events are taken over (see ModSubClassing)
// Selecting a folder stores it in "CurrentPath" and emits folderSelected
// (a linked list shows it), then folderChanged when it is another folder.

#include <QTreeView>

namespace tav::shell {
class FolderTreeModel;
}

class TVExplorer : public QTreeView {
    Q_OBJECT
public:
    explicit TVExplorer(QWidget *parent = nullptr);
    ~TVExplorer() override;

    // Fills the tree and goes to path (may be empty). reserved is kept for
    // callers that pass 0. Attaching an attached tree does nothing and
    // returns false (until registry::clear()).
    bool attach(int reserved = 0, const QString &path = QString(), bool useContextMenu = false);
    bool isAttached() const;

    // Rebuilds the tree and selects "CurrentPath" again.
    void refresh();

    // Expands along path and selects its folder; when the path cannot be
    // followed to its end (it no longer exists, or names a file) the deepest
    // folder that exists is selected. Returns whether the whole path was found.
    bool setTVPath(const QString &path);
    QString TVPath() const;
    // Goes to the parent of the selected folder (Backspace in the list).
    void goToParent();

    void setUseContextMenu(bool on);
    bool UseContextMenu() const;

    tav::shell::FolderTreeModel *folderModel() const { return m_model; }
    // Sub-folders in natural order; kept for a model made later.
    void setNaturalOrder(bool on);

signals:
    // A folder was selected, again or anew.
    void folderSelected(const QString &path);
    void folderChanged(const QString &path);
    // setTVPath was given a file: its folder is selected, and this names the file.
    void fileNamed(const QString &fileName);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    void showContextMenu(const QPoint &globalPos);
    void selectedFolderChanged(const QModelIndex &current);

    tav::shell::FolderTreeModel *m_model = nullptr;
    bool m_natural = false;
};
