#pragma once
// LVExplorer: the folder contents list. A details view of one folder's files
// (name, size in Ko, type, date modified, and optionally date created, date
// accessed and attributes), sorted by a click on a column, with several
// selected at once. Attach it once, then drive it by LVPath.
//
// Its state lives in dynamic properties of the widget:
//   "ViewMode"               0 large icons, 1 small icons, 2 list, 3 details
//   "Pattern"                space-separated wildcards, "*.*" for every file
//   "IncludeDirectories"     non-zero when sub-folders are listed too
//   "UseContextMenu"         non-zero when right clicks show menus
//   "UseColumnClickSorting"  non-zero when a header click sorts
//   "CurrentPath"            the folder shown
//   "SortBy", "SortState"    key of the sorted column ("Name", "Size", ...), and
//                            0 unsorted, 1 ascending, 2 descending
//   "ColCreated", "ColLastAccess", "ColAttributes"  optional columns present
//   "IsSytemDir"             always 0 here (no virtual folders)
//   "SkippedItems"           entries of the folder that could not be shown
//   "OldProc"                set once its events are taken over
//
// A folder is read on a worker thread; a folder read within a fraction of a
// second is shown before LVPath returns, a slower one (a huge folder, a hung
// network mount) fills the list when it arrives and the window stays usable.

#include <QSet>
#include <QStringList>
#include <QTreeView>

#include <memory>

namespace tav::shell {
class FolderListModel;
struct FolderItem;
} // namespace tav::shell

class LVExplorer : public QTreeView {
    Q_OBJECT
public:
    explicit LVExplorer(QWidget *parent = nullptr);
    ~LVExplorer() override;

    // Sets the list up and shows path when not empty. Attaching an attached
    // list does nothing and returns false (until registry::clear()).
    bool attach(int viewMode = 3, const QString &path = QString(), const QString &pattern = QStringLiteral("*.*"),
                bool includeDirectories = false, bool useContextMenu = false, bool useColumnClickSorting = true);
    bool isAttached() const;

    // Shows a folder and asks a linked tree to follow (folderWanted). A folder
    // that does not exist or cannot be read shows an empty list with a note.
    void setLVPath(const QString &path);
    // Shows a folder without asking the tree (the tree selected it).
    void showFolder(const QString &path);
    QString LVPath() const;
    // Reads the folder shown again.
    void refresh();
    // Goes to the parent folder, through a linked tree when there is one.
    void goToParent();

    void setPattern(const QString &pattern);
    QString Pattern() const;
    void setIncludeDirectories(bool on);
    bool IncludeDirectories() const;
    void setUseContextMenu(bool on);
    bool UseContextMenu() const;
    void setUseColumnClickSorting(bool on);
    bool UseColumnClickSorting() const;
    void setViewMode(int mode);
    int ViewMode() const;
    void setOptionalColumns(bool created, bool accessed, bool attributes);

    // What a click on a column header does: the sorted column again reverses
    // the order, another column sorts ascending by it.
    void clickColumn(int section);
    // Sorts by a column key ("Size", ...) in a direction; an empty key goes
    // back to the order by name.
    void sortBy(const QString &key, bool descending);

    // Items, in the order shown.
    int itemCount() const;
    // Names of the folder that could not be shown (not valid UTF-8).
    int unshownCount() const { return m_unshown; }
    QStringList itemTexts() const;
    QStringList selectedItemTexts() const;
    QStringList selectedPaths() const;
    // Selects exactly the items with these names (others are unselected).
    void selectItemsByText(const QStringList &names);

    // Opens the item of a row: a folder is shown, a file is reported by
    // filesActivated and, unless switched off, opened by its default program.
    void openItem(int row);
    void setOpenFilesWithDefaultProgram(bool on) { m_openFiles = on; }

    // True while a slow folder is still being read; waitForListing blocks
    // until it is shown.
    bool isListing() const;
    void waitForListing();

    tav::shell::FolderListModel *folderModel() const { return m_model; }

signals:
    void folderChanged(const QString &path);
    void itemCountChanged(int count);
    void selectedItemsChanged();
    void filesActivated(const QStringList &paths);
    // The list went to a folder, or wants to (a folder item opened, the
    // parent asked for): a linked tree selects it, and the list follows.
    void folderWanted(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    // The columns the user has not sized follow the list's width (it is
    // known only once the window shows).
    void resizeEvent(QResizeEvent *event) override;

private:
    struct ListingJob;

    void goToFolder(const QString &path, bool treeFollows);
    // keepShown: a refresh of a large folder already shown keeps its rows
    // until the new listing arrives instead of waiting for it.
    void startListing(bool keepShown = false);
    void applyListing(const std::shared_ptr<ListingJob> &job);
    std::pair<int, Qt::SortOrder> wantedSort() const;
    void applySortIndicator();
    void openCurrent();
    void showBackgroundMenu(const QPoint &globalPos);
    void showItemMenu(const QPoint &globalPos);
    void updateColumnProperties();

    tav::shell::FolderListModel *m_model = nullptr;
    std::shared_ptr<ListingJob> m_job;
    QString m_shownFolder; // the folder whose listing the rows show
    quint64 m_generation = 0;
    QString m_note;
    int m_unshown = 0;
    // Columns whose width the user set by hand: the listing no longer fits them.
    QSet<int> m_userWidths;
    bool m_fitting = false;
    void fitColumns();
    bool m_openFiles = true;
};
