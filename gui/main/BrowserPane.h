#pragma once
// The browser pane: the folder tree, the folder list or its thumbnails, the
// preview, the display filter, the folder's count and the commands that add
// files from it. It tells the window what the user asks for by its signals;
// the tree and the list talk to each other through an ExplorerLink.

#include "gui/widgets/ThumbnailList.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class LVExplorer;
class TVExplorer;

namespace tav {

class ExifReader;

// Ties a folder tree and a folder list through their signals: the list shows
// the folder selected in the tree, the tree follows the folder the list goes
// to, a path naming a file selects the file in the list. Deleting the link
// unties them.
class ExplorerLink : public QObject {
    Q_OBJECT
public:
    ExplorerLink(TVExplorer *tree, LVExplorer *list, QObject *parent = nullptr);

private:
    QPointer<TVExplorer> m_tree;
    QPointer<LVExplorer> m_list;
};

class BrowserPane : public QWidget {
    Q_OBJECT
public:
    explicit BrowserPane(QWidget *parent = nullptr);

    // Attaches the tree and the list and shows folder, listed with filter.
    void open(const QString &folder, const QString &filter);
    // The tree goes to path (a folder, or a file's folder with the file selected).
    void goTo(const QString &path);
    QString folder() const;
    QString filter() const;
    void setFilter(const QString &filter);
    // The folder list's names in natural order, or in plain order.
    void setNaturalOrder(bool on);
    // The metadata reader that turns previews upright.
    void setMetadataReader(ExifReader *reader) { m_exif = reader; }
    // The thumbnails' options, read when they are built.
    void setThumbnailOptions(std::function<ThumbnailList::Options()> options) {
        m_thumbnailOptions = std::move(options);
    }

    // The preview on or off; switched on, it shows the selected file at once
    // when show is true.
    void setPreviewOn(bool on, bool show);
    // The preview shows path, upright; errors are reported under procedure.
    void previewFile(const QString &path, const QString &procedure);
    // The preview of the selected file of the list shown.
    void previewSelection();

    // The folder as thumbnails or as details.
    void showThumbnailsInstead(bool on);
    // The thumbnails are drawn again (their settings changed).
    void redrawThumbnails();
    // A renamed file keeps its thumbnail; the renames of a batch apply together.
    void noteRenamed(const RenamedFiles &files);
    void applyRenames();
    // The folder's files changed: listed again.
    void relist();
    // Texts read as they are shown, after the language changed.
    void retranslate();
    void showFolderCount();
    // The views' accessible names in the current language.
    void nameViews();
    // The commands off during a long operation, back on after it; the
    // views, the tree's refresh, the drop button and the count stay on.
    void switchCommands(bool on);

signals:
    void addRequested(const QString &folder, const QStringList &names);
    void addAllRequested(const QString &folder, const QStringList &names);
    void addHierarchyRequested(const QString &folder);
    void pathsDropped(const QStringList &paths);
    void filterChanged(const QString &filter);
    void folderChanged(const QString &folder);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLists();
    void buildCommands();
    void wireCommands();
    void wireLists();
    bool thumbnailsShown() const;
    void showThumbnails();

    TVExplorer *TreeView1 = nullptr;
    LVExplorer *ListView1 = nullptr;
    ThumbnailList *ListView2 = nullptr;
    QLabel *picturePreview = nullptr, *Label2 = nullptr;
    QLineEdit *txtFilter = nullptr;
    QPushButton *cmdRefresh = nullptr, *cmdRefreshFolder = nullptr, *cmdAdd = nullptr, *cmdAddAll = nullptr,
                *cmdDnD = nullptr;
    QCheckBox *chkVignette = nullptr;
    QMenu *mnuPopup = nullptr;
    QAction *mnuAddHieriachy = nullptr;
    QTimer *Timer_ListView1_count = nullptr;
    ExifReader *m_exif = nullptr;
    std::function<ThumbnailList::Options()> m_thumbnailOptions;
    bool m_previewOn = false;
    QString m_shownFolder; // the folder the lists show
};

} // namespace tav
