#include "gui/shellbrowser/LVExplorer.h"

#include "core/base/Trap.h"
#include "core/i18n/Language.h"
#include "gui/shellbrowser/FolderListModel.h"
#include "gui/widgets/ModSubClassing.h"
#include "gui/widgets/cPopupMenu.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>

using namespace tav::shell;

namespace {
// How long LVPath waits for a folder before it lets the window run and shows
// the folder when it arrives.
constexpr auto kSynchronousBudget = std::chrono::milliseconds(400);

} // namespace

struct LVExplorer::ListingJob {
    quint64 generation = 0;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool taken = false; // main thread only
    FolderListing result;
    // The sort wanted when the reading began, and the rows in that order,
    // sorted on the reading thread too (empty when left to the model).
    int section = -1;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    NameOrder names = NameOrder::Natural;
    std::vector<int> order;
};

LVExplorer::LVExplorer(QWidget *parent) : QTreeView(parent) {
    setProperty("ViewMode", 3);
    setProperty("Pattern", QStringLiteral("*.*"));
    setProperty("IncludeDirectories", 0);
    setProperty("UseContextMenu", 0);
    setProperty("UseColumnClickSorting", 1);
    setProperty("CurrentPath", QString());
    setProperty("SortBy", QString());
    setProperty("SortState", 0);
    setProperty("IsSytemDir", 0);
    setProperty("SkippedItems", 0);
    m_model = new FolderListModel(this);
    setModel(m_model);
    updateColumnProperties();
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { emit selectedItemsChanged(); });
    connect(header(), &QHeaderView::sectionClicked, this, [this](int section) {
        tav::trap(QStringLiteral("TV_Notify (Module ModSubClassing)"), [&] { clickColumn(section); });
    });
    connect(header(), &QHeaderView::sectionResized, this, [this](int section) {
        if (!m_fitting && header()->isVisible() && (QGuiApplication::mouseButtons() & Qt::LeftButton))
            m_userWidths.insert(section);
    });
}

LVExplorer::~LVExplorer() = default;

bool LVExplorer::isAttached() const {
    return registry::contains(this);
}

bool LVExplorer::attach(int viewMode, const QString &path, const QString &pattern, bool includeDirectories,
                        bool useContextMenu, bool useColumnClickSorting) {
    if (!registry::add(this))
        return false;
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setStretchLastSection(true);
    setProperty("Pattern", pattern);
    setProperty("IncludeDirectories", includeDirectories ? 1 : 0);
    setProperty("UseContextMenu", useContextMenu ? 1 : 0);
    setProperty("UseColumnClickSorting", useColumnClickSorting ? 1 : 0);
    ModSubClassing::subclass(this, this);
    if (!path.isEmpty())
        setLVPath(path);
    setViewMode(viewMode);
    const QFontMetrics metrics(font());
    setColumnWidth(0, metrics.averageCharWidth() * 32);
    setColumnWidth(1, metrics.averageCharWidth() * 12);
    setColumnWidth(2, metrics.averageCharWidth() * 20);
    setColumnWidth(3, metrics.averageCharWidth() * 24);
    return true;
}

void LVExplorer::setLVPath(const QString &path) {
    goToFolder(path, true);
}

void LVExplorer::showFolder(const QString &path) {
    goToFolder(path, false);
}

QString LVExplorer::LVPath() const {
    return property("CurrentPath").toString();
}

void LVExplorer::goToFolder(const QString &path, bool treeFollows) {
    const QString clean = path.isEmpty() ? QString() : QDir::cleanPath(path);
    const bool changed = clean != LVPath();
    setProperty("CurrentPath", clean);
    setProperty("IsSytemDir", 0);
    startListing();
    if (treeFollows && !clean.isEmpty())
        emit folderWanted(clean);
    if (changed)
        emit folderChanged(clean);
}

void LVExplorer::refresh() {
    startListing(true);
}

void LVExplorer::goToParent() {
    const QString path = LVPath();
    if (path.isEmpty() || path == QLatin1String("/"))
        return;
    const QString parent = QFileInfo(path).path();
    emit folderWanted(parent);
    if (LVPath() != parent) // no tree, or the tree could not go there
        showFolder(parent);
}

void LVExplorer::startListing(bool keepShown) {
    const quint64 generation = ++m_generation;
    const QString folder = LVPath();
    // Reading a folder of many thousand files takes longer than the window
    // may stand still (after a large rename, say): its old rows stay until
    // the new ones arrive.
    constexpr int LargeFolder = 5000;
    keepShown = keepShown && folder == m_shownFolder && m_model->rowCount() >= LargeFolder;
    m_job.reset();
    m_unshown = 0;
    if (folder.isEmpty()) {
        m_note.clear();
        m_shownFolder.clear();
        m_model->clear();
        emit itemCountChanged(0);
        return;
    }
    auto job = std::make_shared<ListingJob>();
    job->generation = generation;
    m_job = job;
    const QString pattern = Pattern();
    const bool directories = IncludeDirectories();
    std::tie(job->section, job->sortOrder) = wantedSort();
    job->names = m_model->nameOrder();
    // The types are named on the main thread: that column is sorted there.
    const std::optional<Column> sortColumn =
        job->section < 0 ? std::nullopt : std::optional<Column>(m_model->columnAt(job->section));
    QPointer<LVExplorer> self(this);
    std::thread([job, folder, pattern, directories, sortColumn, self] {
        FolderListing listing = listFolder(folder, pattern, directories, false);
        std::vector<int> order;
        if (!sortColumn)
            order = naturalOrder(listing, job->names);
        else if (*sortColumn != Column::Type)
            order = sortedOrder(listing, *sortColumn, job->sortOrder == Qt::DescendingOrder, job->names);
        {
            std::lock_guard<std::mutex> lock(job->mutex);
            job->result = std::move(listing);
            job->order = std::move(order);
            job->finished = true;
        }
        job->done.notify_all();
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app,
                [job, self] {
                    if (self)
                        self->applyListing(job);
                },
                Qt::QueuedConnection);
    }).detach();

    if (keepShown)
        return;
    std::unique_lock<std::mutex> lock(job->mutex);
    const bool finished = job->done.wait_for(lock, kSynchronousBudget, [&] { return job->finished; });
    lock.unlock();
    if (finished) {
        applyListing(job);
        return;
    }
    // Still reading: an empty list with a note until it arrives.
    m_shownFolder.clear();
    m_model->clear();
    m_note = tav::i18n::getText(QStringLiteral("LVExplorer"), QStringLiteral("Reading"),
                                QStringLiteral("Lecture du dossier…"));
    viewport()->update();
    emit itemCountChanged(0);
}

// The section the rows are sorted by (-1: by name, folders first) and the order.
std::pair<int, Qt::SortOrder> LVExplorer::wantedSort() const {
    const int column = columnFromKey(property("SortBy").toString());
    const int state = property("SortState").toInt();
    const int section = column >= 0 && state != 0 ? m_model->sectionOf(Column(column)) : -1;
    return {section, state == 2 ? Qt::DescendingOrder : Qt::AscendingOrder};
}

void LVExplorer::applyListing(const std::shared_ptr<ListingJob> &job) {
    if (job != m_job || job->taken || job->generation != m_generation)
        return;
    job->taken = true;
    FolderListing listing;
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        listing = std::move(job->result);
    }
    m_job.reset();
    nameUnknownTypes(listing);
    m_note.clear();
    if (!listing.exists)
        m_note = tav::i18n::getText(QStringLiteral("LVExplorer"), QStringLiteral("Unreadable"),
                                    QStringLiteral("Ce dossier est introuvable ou ne peut pas être lu."));
    setProperty("SkippedItems", listing.skipped);
    m_unshown = listing.undecodable;
    const auto [section, order] = wantedSort();
    // The order made on the reading thread serves when the sort is still the same.
    std::vector<int> rows;
    if (section == job->section && order == job->sortOrder && m_model->nameOrder() == job->names)
        rows = std::move(job->order);
    m_shownFolder = listing.folder;
    m_model->setListing(std::move(listing), section, order, std::move(rows));
    fitColumns();
    applySortIndicator();
    viewport()->update();
    emit itemCountChanged(m_model->rowCount());
}

// Each column takes the width of what it shows (the rows in view), the name at
// most half the list; a column the user has sized keeps the user's width.
// The rows in view are measured here: the view's own measure of a column
// reads up to a thousand rows, which took 50 to 100 ms in a folder of 100,000
// files, at every resize.
void LVExplorer::fitColumns() {
    if (ViewMode() != 3 || !m_model)
        return;
    m_fitting = true;
    const int last = m_model->columnCount() - 1;
    const int firstRow = std::max(0, indexAt(QPoint(0, 0)).row());
    const QModelIndex bottom = indexAt(QPoint(0, std::max(0, viewport()->height() - 1)));
    const int lastRow = bottom.isValid() ? bottom.row() : m_model->rowCount() - 1;
    for (int c = 0; c < last; ++c) {
        if (m_userWidths.contains(c))
            continue;
        int wanted = header()->sectionSizeHint(c);
        for (int row = firstRow; row <= lastRow; ++row)
            wanted = std::max(wanted, sizeHintForIndex(m_model->index(row, c)).width());
        setColumnWidth(c, c == 0 ? std::min(wanted, std::max(viewport()->width() / 2, 120)) : wanted);
    }
    m_fitting = false;
}

bool LVExplorer::isListing() const {
    return m_job != nullptr;
}

void LVExplorer::waitForListing() {
    std::shared_ptr<ListingJob> job = m_job;
    if (!job)
        return;
    {
        std::unique_lock<std::mutex> lock(job->mutex);
        job->done.wait(lock, [&] { return job->finished; });
    }
    applyListing(job);
}

void LVExplorer::setPattern(const QString &pattern) {
    setProperty("Pattern", pattern);
    startListing();
}

QString LVExplorer::Pattern() const {
    return property("Pattern").toString();
}

void LVExplorer::setIncludeDirectories(bool on) {
    setProperty("IncludeDirectories", on ? 1 : 0);
    startListing();
}

bool LVExplorer::IncludeDirectories() const {
    return property("IncludeDirectories").toInt() != 0;
}

void LVExplorer::setUseContextMenu(bool on) {
    setProperty("UseContextMenu", on ? 1 : 0);
}

bool LVExplorer::UseContextMenu() const {
    return property("UseContextMenu").toInt() != 0;
}

void LVExplorer::setUseColumnClickSorting(bool on) {
    setProperty("UseColumnClickSorting", on ? 1 : 0);
}

bool LVExplorer::UseColumnClickSorting() const {
    return property("UseColumnClickSorting").toInt() != 0;
}

void LVExplorer::setViewMode(int mode) {
    if (mode < 0 || mode > 3)
        mode = 3;
    setProperty("ViewMode", mode);
    // One column of names with bigger or smaller icons stands for the icon
    // and list views; details show every column.
    const bool details = mode == 3;
    header()->setVisible(details);
    for (int c = 1; c < m_model->columnCount(); ++c)
        setColumnHidden(c, !details);
    const int icon =
        style()->pixelMetric(mode == 0 ? QStyle::PM_LargeIconSize : QStyle::PM_SmallIconSize, nullptr, this);
    setIconSize(QSize(icon, icon));
}

int LVExplorer::ViewMode() const {
    return property("ViewMode").toInt();
}

void LVExplorer::setOptionalColumns(bool created, bool accessed, bool attributes) {
    m_model->setOptionalColumns(created, accessed, attributes);
    updateColumnProperties();
    setViewMode(ViewMode());
    applySortIndicator();
}

void LVExplorer::updateColumnProperties() {
    setProperty("ColCreated", m_model->sectionOf(Column::Created) >= 0 ? 1 : 0);
    setProperty("ColLastAccess", m_model->sectionOf(Column::Accessed) >= 0 ? 1 : 0);
    setProperty("ColAttributes", m_model->sectionOf(Column::Attributes) >= 0 ? 1 : 0);
}

void LVExplorer::clickColumn(int section) {
    if (!UseColumnClickSorting() || section < 0 || section >= m_model->columnCount())
        return;
    const QString key = columnKey(m_model->columnAt(section));
    const bool again = key == property("SortBy").toString() && property("SortState").toInt() != 0;
    const bool descending = again && property("SortState").toInt() == 1;
    sortBy(key, descending);
}

void LVExplorer::sortBy(const QString &key, bool descending) {
    const int column = columnFromKey(key);
    const int section = column >= 0 ? m_model->sectionOf(Column(column)) : -1;
    setProperty("SortBy", section >= 0 ? key : QString());
    setProperty("SortState", section >= 0 ? (descending ? 2 : 1) : 0);
    m_model->sortBy(section, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    applySortIndicator();
    if (currentIndex().isValid())
        scrollTo(currentIndex());
}

void LVExplorer::applySortIndicator() {
    const int section = m_model->sortSection();
    header()->setSortIndicatorShown(section >= 0);
    if (section >= 0)
        header()->setSortIndicator(section, m_model->sortOrder());
}

int LVExplorer::itemCount() const {
    return m_model->rowCount();
}

QStringList LVExplorer::itemTexts() const {
    QStringList out;
    const int rows = m_model->rowCount();
    out.reserve(rows);
    for (int row = 0; row < rows; ++row)
        out.append(m_model->itemAt(row).name);
    return out;
}

namespace {
QList<int> selectedRowsInOrder(const QItemSelectionModel *selection) {
    QList<int> rows;
    for (const QModelIndex &index : selection->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}
} // namespace

QStringList LVExplorer::selectedItemTexts() const {
    QStringList out;
    for (int row : selectedRowsInOrder(selectionModel()))
        out.append(m_model->itemAt(row).name);
    return out;
}

QStringList LVExplorer::selectedPaths() const {
    QStringList out;
    for (int row : selectedRowsInOrder(selectionModel()))
        out.append(m_model->itemAt(row).path);
    return out;
}

void LVExplorer::selectItemsByText(const QStringList &names) {
    const QSet<QString> wanted(names.begin(), names.end());
    QItemSelection selection;
    int first = -1;
    const int rows = m_model->rowCount();
    const int lastColumn = m_model->columnCount() - 1;
    for (int row = 0; row < rows; ++row) {
        if (!wanted.contains(m_model->itemAt(row).name))
            continue;
        if (first < 0)
            first = row;
        selection.select(m_model->index(row, 0), m_model->index(row, lastColumn));
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (first >= 0) {
        selectionModel()->setCurrentIndex(m_model->index(first, 0), QItemSelectionModel::NoUpdate);
        scrollTo(m_model->index(first, 0));
    }
}

void LVExplorer::openItem(int row) {
    if (row < 0 || row >= m_model->rowCount())
        return;
    const FolderItem &item = m_model->itemAt(row);
    if (item.isDir) {
        const QString path = item.path;
        emit folderWanted(path);
        if (LVPath() != path) // no tree, or the tree could not go there
            showFolder(path);
        return;
    }
    QStringList files = selectedPaths();
    if (!files.contains(item.path))
        files = {item.path};
    emit filesActivated(files);
    if (m_openFiles)
        for (const QString &file : files)
            QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

void LVExplorer::openCurrent() {
    const QModelIndex current = currentIndex();
    if (current.isValid())
        openItem(current.row());
}

bool LVExplorer::eventFilter(QObject *watched, QEvent *event) {
    bool handled = false;
    tav::trap(QStringLiteral("TVWndProc (Module ModSubClassing)"), [&] {
        if (watched == this && event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Backspace && key->modifiers() == Qt::NoModifier) {
                goToParent();
                handled = true;
            } else if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                       (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
                openCurrent();
                handled = true;
            }
        } else if (watched == viewport() && event->type() == QEvent::MouseButtonDblClick) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const QModelIndex at = indexAt(mouse->position().toPoint());
            if (mouse->button() == Qt::LeftButton && at.isValid())
                openItem(at.row());
        } else if (watched == viewport() && event->type() == QEvent::ContextMenu) {
            if (!UseContextMenu())
                return;
            const auto *menuEvent = static_cast<QContextMenuEvent *>(event);
            const QModelIndex at = indexAt(viewport()->mapFromGlobal(menuEvent->globalPos()));
            if (at.isValid() && selectionModel()->isSelected(at))
                showItemMenu(menuEvent->globalPos());
            else if (at.isValid()) {
                selectionModel()->select(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                showItemMenu(menuEvent->globalPos());
            } else {
                showBackgroundMenu(menuEvent->globalPos());
            }
            handled = true;
        }
    });
    return handled || QTreeView::eventFilter(watched, event);
}

void LVExplorer::showItemMenu(const QPoint &globalPos) {
    enum { Open = 1 };
    cPopupItem items;
    items.add(QStringLiteral("Ouvrir"), Open);
    cPopupMenu menu;
    menu.CreateMenuPere(items);
    if (menu.ShowMenu(this, globalPos) == Open)
        openCurrent();
}

void LVExplorer::showBackgroundMenu(const QPoint &globalPos) {
    enum { ViewMenu = 1, ArrangeMenu = 2, SelectAll = 3, Refresh = 4, ViewBase = 100, ColumnBase = 200 };
    cPopupItem items;
    items.add(QStringLiteral("Affichage"), ViewMenu, true);
    items.add(QStringLiteral("Réorganiser les icônes par"), ArrangeMenu, true);
    items.add(QStringLiteral("-"));
    items.add(QStringLiteral("Sélectionner tout"), SelectAll);
    items.add(QStringLiteral("-"));
    items.add(QStringLiteral("Actualiser"), Refresh);

    static const char *const viewKeys[] = {"ViewLargeIcons", "ViewSmallIcons", "ViewList", "ViewDetails"};
    static const char *const viewNames[] = {"Grandes icônes", "Petites icônes", "Liste", "Détails"};
    cPopupItem views;
    for (int mode = 0; mode < 4; ++mode)
        views.add(tav::i18n::getText(QStringLiteral("LVExplorer"), QString::fromLatin1(viewKeys[mode]),
                                     QString::fromUtf8(viewNames[mode])),
                  ViewBase + mode, false, mode == ViewMode());
    cPopupItem columns;
    for (int section = 0; section < m_model->columnCount(); ++section)
        columns.add(FolderListModel::columnTitle(m_model->columnAt(section)), ColumnBase + section, false,
                    section == m_model->sortSection());

    cPopupMenu menu;
    menu.CreateMenuPere(items);
    menu.AddssMenu(ViewMenu, views);
    menu.AddssMenu(ArrangeMenu, columns);
    const int command = menu.ShowMenu(this, globalPos);
    if (command >= ColumnBase) {
        sortBy(columnKey(m_model->columnAt(command - ColumnBase)), false);
    } else if (command >= ViewBase) {
        setViewMode(command - ViewBase);
    } else if (command == SelectAll) {
        selectAll();
    } else if (command == Refresh) {
        refresh();
    }
}

void LVExplorer::resizeEvent(QResizeEvent *event) {
    QTreeView::resizeEvent(event);
    fitColumns();
}

void LVExplorer::paintEvent(QPaintEvent *event) {
    QTreeView::paintEvent(event);
    if (m_note.isEmpty() || m_model->rowCount() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     m_note);
}
