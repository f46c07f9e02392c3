#include "gui/main/BrowserPane.h"

#include "gui/main/PaneParts.h"

#include "core/base/Trap.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "gui/shellbrowser/FolderListModel.h"
#include "gui/shellbrowser/FolderTreeModel.h"
#include "gui/shellbrowser/LVExplorer.h"
#include "gui/shellbrowser/TVExplorer.h"
#include "gui/widgets/ImagePreview.h"

#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

namespace tav {

using pane::named;

ExplorerLink::ExplorerLink(TVExplorer *tree, LVExplorer *list, QObject *parent)
    : QObject(parent), m_tree(tree), m_list(list) {
    connect(tree, &TVExplorer::folderSelected, this, [this](const QString &path) {
        if (m_list && m_list->LVPath() != path)
            m_list->showFolder(path);
    });
    connect(tree, &TVExplorer::fileNamed, this, [this](const QString &name) {
        if (m_list)
            m_list->selectItemsByText({name});
    });
    connect(list, &LVExplorer::folderWanted, this, [this](const QString &path) {
        if (m_tree && m_tree->TVPath() != path)
            m_tree->setTVPath(path);
    });
}

BrowserPane::BrowserPane(QWidget *parent) : QWidget(parent) {
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    buildLists();
    buildCommands();
    new ExplorerLink(TreeView1, ListView1, this);
    Timer_ListView1_count = new QTimer(this);
    Timer_ListView1_count->setObjectName(QStringLiteral("Timer_ListView1_count"));
    Timer_ListView1_count->setInterval(500);
    wireCommands();
    wireLists();
}

void BrowserPane::buildLists() {
    TreeView1 = named(new TVExplorer, "TreeView1");
    ListView1 = named(new LVExplorer, "ListView1");
    auto *browse = new QSplitter(Qt::Horizontal);
    browse->setObjectName(QStringLiteral("splitBrowse"));
    browse->addWidget(TreeView1);
    browse->addWidget(ListView1);
    ListView2 = named(new ThumbnailList, "ListView2");
    ListView2->setVisible(false);
    browse->addWidget(ListView2);
    browse->setStretchFactor(0, 2);
    browse->setStretchFactor(1, 3);
    browse->setStretchFactor(2, 3);
    // The preview pane beside the lists, at the size of a preview.
    picturePreview = named(new QLabel, "picturePreview");
    picturePreview->setFixedSize(161 + 2, 121 + 2);
    picturePreview->setFrameShape(QFrame::Box);
    picturePreview->setAlignment(Qt::AlignCenter);
    auto *lists = new QHBoxLayout;
    lists->addWidget(browse, 1);
    lists->addWidget(picturePreview, 0, Qt::AlignTop);
    static_cast<QVBoxLayout *>(layout())->addLayout(lists, 1);
}

void BrowserPane::buildCommands() {
    auto *filter = new QHBoxLayout;
    auto *title = named(new QLabel(QStringLiteral("Filtre :")), "Label7");
    txtFilter = pane::lineEdit("txtFilter", QStringLiteral("*.*"));
    txtFilter->setToolTip(QStringLiteral("Motifs séparés par des espaces, par exemple *.jpg *.png"));
    cmdRefresh = pane::button("cmdRefresh", QStringLiteral("Actualiser"), QStringLiteral("Relire le dossier"));
    cmdRefreshFolder =
        pane::button("cmdRefreshFolder", QStringLiteral("Dossiers"), QStringLiteral("Actualiser l'arborescence"));
    filter->addWidget(title);
    filter->addWidget(txtFilter, 1);
    filter->addWidget(cmdRefresh);
    filter->addWidget(cmdRefreshFolder);
    auto *v = static_cast<QVBoxLayout *>(layout());
    v->addLayout(filter);

    auto *adds = new QHBoxLayout;
    cmdAdd = pane::button("cmdAdd", QStringLiteral("Ajouter"), QStringLiteral("Ajouter les fichiers sélectionnés"));
    cmdAddAll = pane::button("cmdAddAll", QStringLiteral("Tout ajouter"),
                             QStringLiteral("Ajouter tous les fichiers du dossier (menu : toute l'arborescence)"));
    mnuPopup = new QMenu(this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    mnuAddHieriachy = mnuPopup->addAction(QStringLiteral("Ajouter toute l'arborescence"));
    mnuAddHieriachy->setObjectName(QStringLiteral("mnuAddHieriachy"));
    cmdDnD = pane::button("cmdDnD", QStringLiteral("Déposer ici"),
                          QStringLiteral("Déposez ici des fichiers ou des dossiers venant d'un autre programme"));
    cmdDnD->setAcceptDrops(true);
    Label2 = named(new QLabel, "Label2");
    chkVignette = named(new QCheckBox(QStringLiteral("Vignettes")), "chkVignette");
    chkVignette->setToolTip(QStringLiteral("Afficher le dossier en vignettes"));
    adds->addWidget(cmdAdd);
    adds->addWidget(cmdAddAll);
    adds->addWidget(cmdDnD);
    adds->addWidget(chkVignette);
    adds->addStretch(1);
    adds->addWidget(Label2);
    v->addLayout(adds);
}

void BrowserPane::wireCommands() {
    connect(cmdAdd, &QPushButton::clicked, this,
            [this] { emit addRequested(ListView1->LVPath(), ListView1->selectedItemTexts()); });
    connect(cmdAddAll, &QPushButton::clicked, this,
            [this] { emit addAllRequested(ListView1->LVPath(), ListView1->itemTexts()); });
    cmdAddAll->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(cmdAddAll, &QPushButton::customContextMenuRequested, this,
            [this](const QPoint &p) { mnuPopup->popup(cmdAddAll->mapToGlobal(p)); });
    connect(mnuAddHieriachy, &QAction::triggered, this, [this] { emit addHierarchyRequested(TreeView1->TVPath()); });
    cmdDnD->installEventFilter(this);
    connect(txtFilter, &QLineEdit::textChanged, this, [this](const QString &text) {
        emit filterChanged(text);
        ListView1->setPattern(text);
        showFolderCount();
    });
    connect(cmdRefresh, &QPushButton::clicked, this, [this] { ListView1->setPattern(txtFilter->text()); });
    connect(cmdRefreshFolder, &QPushButton::clicked, this, [this] {
        const QString path = TreeView1->TVPath();
        TreeView1->refresh();
        TreeView1->setTVPath(path);
    });
    connect(chkVignette, &QCheckBox::toggled, this, &BrowserPane::showThumbnailsInstead);
    connect(Timer_ListView1_count, &QTimer::timeout, this, &BrowserPane::showFolderCount);
    Timer_ListView1_count->start();
}

void BrowserPane::wireLists() {
    ListView1->setOpenFilesWithDefaultProgram(false);
    connect(ListView1, &LVExplorer::filesActivated, this,
            [this] { emit addRequested(ListView1->LVPath(), ListView1->selectedItemTexts()); });
    connect(ListView1, &LVExplorer::selectedItemsChanged, this, [this] {
        if (!thumbnailsShown())
            previewSelection();
    });
    // The thumbnails follow the listing (another folder, a new filter, a refresh).
    connect(ListView1, &LVExplorer::itemCountChanged, this, [this] {
        if (thumbnailsShown())
            showThumbnails();
    });
    // What is selected among the thumbnails is what the commands act on.
    connect(ListView2, &QListWidget::itemSelectionChanged, this, [this] {
        if (!thumbnailsShown())
            return;
        ListView1->selectItemsByText(ListView2->selectedItemTexts());
        previewSelection();
    });
    connect(ListView2, &QListWidget::itemActivated, this,
            [this] { emit addRequested(ListView1->LVPath(), ListView2->selectedItemTexts()); });
    connect(TreeView1, &TVExplorer::folderChanged, this, &BrowserPane::folderChanged);
    // Another folder starts at its first file, and the picture of a file of
    // the folder left no longer shows.
    connect(ListView1, &LVExplorer::folderChanged, this, [this](const QString &path) {
        if (path == m_shownFolder)
            return;
        m_shownFolder = path;
        ListView1->scrollToTop();
        ListView2->scrollToTop();
        picturePreview->clear();
    });
}

void BrowserPane::open(const QString &folder, const QString &filter) {
    ListView1->attach(3, QString(), filter);
    TreeView1->attach(0, QString(), false);
    TreeView1->setTVPath(folder);
    showFolderCount();
}

void BrowserPane::goTo(const QString &path) {
    TreeView1->setTVPath(path);
}

QString BrowserPane::folder() const {
    return TreeView1->TVPath();
}

QString BrowserPane::filter() const {
    return txtFilter->text();
}

void BrowserPane::setNaturalOrder(bool on) {
    ListView1->folderModel()->setNameOrder(on ? shell::NameOrder::Natural : shell::NameOrder::Plain);
    TreeView1->setNaturalOrder(on);
}

void BrowserPane::setFilter(const QString &filter) {
    txtFilter->setText(filter);
}

bool BrowserPane::thumbnailsShown() const {
    return chkVignette->isChecked();
}

void BrowserPane::showFolderCount() {
    QString text = i18n::Message(18, QString::number(ListView1->itemCount()));
    if (const int unshown = ListView1->unshownCount(); unshown > 0)
        text += QStringLiteral(" \u2013 ") + i18n::getText(QStringLiteral("frmMain"), QStringLiteral("StatusUnshown"),
                                                           QStringLiteral("%s name(s) not shown: not valid UTF-8"),
                                                           QString::number(unshown));
    Label2->setText(text);
}

void BrowserPane::setPreviewOn(bool on, bool show) {
    m_previewOn = on;
    if (!show)
        return;
    if (on)
        previewSelection();
    else
        picturePreview->clear();
}

void BrowserPane::previewSelection() {
    if (!m_previewOn)
        return;
    // In the list shown, the item the user is on when it is selected, else
    // the first selected one.
    QString name;
    if (thumbnailsShown()) {
        if (const QListWidgetItem *current = ListView2->currentItem(); current && current->isSelected())
            name = current->text();
        else if (const QStringList selected = ListView2->selectedItemTexts(); !selected.isEmpty())
            name = selected.first();
    } else {
        const QModelIndex current = ListView1->currentIndex();
        if (current.isValid() && ListView1->selectionModel()->isSelected(current.siblingAtColumn(0)))
            name = ListView1->folderModel()->itemAt(current.row()).name;
        else if (const QStringList selected = ListView1->selectedItemTexts(); !selected.isEmpty())
            name = selected.first();
    }
    if (name.isEmpty())
        return;
    previewFile(QDir(ListView1->LVPath()).filePath(name), QStringLiteral("ListView1_Click (Feuille frmMain)"));
}

void BrowserPane::previewFile(const QString &path, const QString &procedure) {
    if (!m_previewOn)
        return;
    trap(procedure, [&] {
        const int angle = preview::angleOfFile(path, m_exif);
        picturePreview->setPixmap(QPixmap::fromImage(preview::previewImage(path, angle)));
    });
}

void BrowserPane::showThumbnailsInstead(bool on) {
    if (on) {
        const QStringList selected = ListView1->selectedItemTexts();
        ListView2->setVisible(true);
        ListView1->setVisible(false);
        showThumbnails();
        ListView2->selectItemsByText(selected);
    } else {
        const QStringList selected = ListView2->selectedItemTexts();
        ListView1->setVisible(true);
        ListView2->setVisible(false);
        ListView1->selectItemsByText(selected);
    }
    showFolderCount();
}

// Builds the thumbnails when the folder or its names changed since the last build.
void BrowserPane::showThumbnails() {
    // A listing still on its way builds when it arrives.
    if (ListView1->isListing() || !m_thumbnailOptions)
        return;
    const QStringList selected = ListView1->selectedItemTexts();
    if (ListView2->build(ListView1->LVPath(), ListView1->itemTexts(), m_thumbnailOptions()))
        ListView2->selectItemsByText(selected);
}

void BrowserPane::redrawThumbnails() {
    ListView2->forgetBuild();
    if (thumbnailsShown())
        showThumbnails();
}

void BrowserPane::noteRenamed(const RenamedFiles &files) {
    ListView2->noteRenamed(files);
}

void BrowserPane::applyRenames() {
    ListView2->applyRenames();
}

void BrowserPane::relist() {
    ListView1->refresh();
}

// The views say nothing of their own: what they are is their accessible name.
void BrowserPane::nameViews() {
    const QString section = QStringLiteral("frmMain");
    TreeView1->setAccessibleName(
        i18n::getText(section, QStringLiteral("AccessibleTree"), QStringLiteral("Arborescence des dossiers")));
    ListView1->setAccessibleName(
        i18n::getText(section, QStringLiteral("AccessibleList"), QStringLiteral("Contenu du dossier")));
    ListView2->setAccessibleName(
        i18n::getText(section, QStringLiteral("AccessibleThumbnails"), QStringLiteral("Vignettes du dossier")));
}

void BrowserPane::retranslate() {
    nameViews();
    // Dates follow the interface language.
    if (ListView1->folderModel())
        ListView1->folderModel()->setLocale(QLocale());
    // The folder list's titles and type names are read as they are shown.
    if (QAbstractItemModel *folder = ListView1->model())
        emit folder->headerDataChanged(Qt::Horizontal, 0, std::max(folder->columnCount() - 1, 0));
    ListView1->refresh();
    // The tree's top entries are named when it is listed: listed again at its folder.
    if (const QString path = TreeView1->TVPath(); !path.isEmpty()) {
        TreeView1->refresh();
        TreeView1->setTVPath(path);
    }
    showFolderCount();
}

void BrowserPane::switchCommands(bool on) {
    pane::switchCommands(this, on, {cmdRefreshFolder, cmdDnD, Label2, picturePreview});
}

bool BrowserPane::eventFilter(QObject *watched, QEvent *event) {
    if (watched != cmdDnD)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::DragEnter) {
        auto *e = static_cast<QDragEnterEvent *>(event);
        if (e->mimeData()->hasUrls())
            e->acceptProposedAction();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto *e = static_cast<QDropEvent *>(event);
        QStringList paths;
        for (const QUrl &u : e->mimeData()->urls())
            if (u.isLocalFile())
                paths << u.toLocalFile();
        e->acceptProposedAction();
        // The adding may ask a question and take a while: it runs once the
        // drop is over, so the program the files came from is not kept waiting.
        if (!paths.isEmpty())
            QTimer::singleShot(0, this, [this, paths] { emit pathsDropped(paths); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tav
