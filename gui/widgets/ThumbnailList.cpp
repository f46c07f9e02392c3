#include "gui/widgets/ThumbnailList.h"

#include "gui/widgets/ThumbnailCache.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScrollBar>
#include <QThread>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// Folders whose pictures are kept besides the one shown.
constexpr int KeptFolders = 3;
// Work queued per thread, in milliseconds: rows scrolled into view wait about
// this long. Pictures from the shared cache take about a millisecond and a
// decoded photo tens of them, so the queue is as long as this allows.
constexpr double QueuedWorkMs = 30;
constexpr int MinQueuedPerThread = 2, MaxQueuedPerThread = 16;

} // namespace

ThumbnailList::ThumbnailList(QWidget *parent) : QListWidget(parent) {
    setViewMode(QListView::IconMode);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setWordWrap(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Bounded: a thread per core, and a few jobs queued per thread so that
    // the rows scrolled into view are taken next.
    m_pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    m_maxRunning = MinQueuedPerThread * m_pool.maxThreadCount();
    m_entryMover.setMaxThreadCount(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        m_inView.invalidate();
        submitMore();
    });
}

ThumbnailList::~ThumbnailList() {
    cancel();
    m_pool.waitForDone();
    applyRenames();
    m_entryMover.waitForDone();
}

bool ThumbnailList::wantsPicture(const QString &name, const Options &options) {
    if (!options.draw)
        return false;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QString extension = name.mid(dot + 1).toUpper();
    const QStringList types = options.types.toUpper().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return types.contains(extension);
}

void ThumbnailList::cancel() {
    if (m_cancelled)
        *m_cancelled = true;
    m_pool.clear();
    ++m_generation;
    m_running = 0;
    m_waiting = 0;
}

bool ThumbnailList::build(const QString &folder, const QStringList &names, const Options &options) {
    if (m_built && folder == m_folder && names == m_names && options == m_options)
        return false;
    cancel();
    m_cancelled = std::make_shared<std::atomic_bool>(false);
    m_built = true;
    m_folder = folder;
    m_names = names;
    m_options = options;

    // The cache of this folder, for these options only.
    FolderPictures &cache = m_cache[folder];
    if (!(cache.options == options)) {
        cache.options = options;
        cache.pictures.clear();
    }
    m_cacheOrder.removeAll(folder);
    m_cacheOrder.append(folder);
    while (m_cacheOrder.size() > KeptFolders + 1)
        m_cache.remove(m_cacheOrder.takeFirst());

    setUpdatesEnabled(false);
    clear();
    setIconSize(options.size);
    // Every cell the size of a picture and two lines of name, with or without picture.
    setGridSize(QSize(options.size.width() + 24, options.size.height() + 2 * fontMetrics().height() + 10));
    m_state.assign(size_t(names.size()), NoPicture);
    m_inView.invalidate();
    m_cursor = 0;
    const QDir dir(folder);
    for (int row = 0; row < names.size(); ++row) {
        auto *item = new QListWidgetItem(names.at(row), this);
        if (!wantsPicture(names.at(row), options))
            continue;
        const auto hit = cache.pictures.constFind(names.at(row));
        if (hit != cache.pictures.cend() && hit->modified == QFileInfo(dir.filePath(names.at(row))).lastModified()) {
            if (!hit->picture.isNull())
                item->setIcon(QIcon(hit->picture));
            m_state[size_t(row)] = Done;
            continue;
        }
        m_state[size_t(row)] = Pending;
        ++m_waiting;
    }
    setUpdatesEnabled(true);
    if (m_waiting == 0)
        emit picturesReady();
    else
        submitMore();
    return true;
}

void ThumbnailList::noteRenamed(const tav::RenamedFiles &files) {
    m_renames.append(files);
}

void ThumbnailList::applyRenames() {
    if (m_renames.isEmpty())
        return;
    const QList<tav::RenamedFiles> renames = std::exchange(m_renames, {});
    m_entryMover.start([renames] {
        // Housekeeping: the window's own thread goes first on a busy machine.
        setpriority(PRIO_PROCESS, id_t(gettid()), 10);
        tav::thumbs::moveEntries(renames);
    });

    // The kept folders by their clean path.
    QHash<QString, FolderPictures *> folders;
    for (auto it = m_cache.begin(); it != m_cache.end(); ++it)
        folders.insert(QDir::cleanPath(it.key()), &it.value());
    if (folders.isEmpty())
        return;
    // Every picture leaves its old name before any takes a new one.
    struct Moving {
        QString to;
        Options options;
        Cached picture;
    };
    std::vector<Moving> moving;
    // The files of a batch come folder by folder, and the files of a folder
    // share its text: a folder is looked up when it changes, not for each
    // file, and no path is made for a file without a picture here.
    QString lastFolder;
    FolderPictures *folder = nullptr;
    for (const tav::RenamedFiles &batch : renames)
        for (qsizetype i : batch.moved) {
            const tav::RenameItem &item = batch.items.at(i);
            const QString &oldFolder = item.oldFolder; // with its "/"
            const bool same =
                !lastFolder.isNull() && (oldFolder.constData() == lastFolder.constData() || oldFolder == lastFolder);
            if (!same) {
                lastFolder = oldFolder;
                folder = folders.value(QDir::cleanPath(oldFolder.isEmpty() ? QStringLiteral(".") : oldFolder));
            }
            if (!folder)
                continue;
            const auto hit = folder->pictures.find(item.oldName);
            if (hit == folder->pictures.end())
                continue;
            moving.push_back({item.newPath(), folder->options, *hit});
            folder->pictures.erase(hit);
        }
    for (const Moving &m : moving) {
        // Kept under the new name as it would be by a build there: for the
        // same options, and while the file is the one it was made from.
        const QFileInfo to(m.to);
        FolderPictures *folder = folders.value(QDir::cleanPath(to.path()));
        if (folder && folder->options == m.options && to.lastModified() == m.picture.modified)
            folder->pictures.insert(to.fileName(), m.picture);
    }
}

std::pair<int, int> ThumbnailList::visibleRows() const {
    // Probes over the view at half a cell apart: the gaps between cells hold no item.
    int first = -1, last = -1;
    const QRect r = viewport()->rect();
    const QSize cell = gridSize().isValid() ? gridSize() : iconSize();
    const int dx = std::max(4, cell.width() / 2), dy = std::max(4, cell.height() / 2);
    for (int y = r.top(); y <= r.bottom(); y += dy)
        for (int x = r.left(); x <= r.right(); x += dx) {
            const QModelIndex index = indexAt(QPoint(x, y));
            if (!index.isValid())
                continue;
            first = first < 0 ? index.row() : std::min(first, index.row());
            last = std::max(last, index.row());
        }
    return {first, last};
}

void ThumbnailList::resizeEvent(QResizeEvent *event) {
    QListWidget::resizeEvent(event);
    m_inView.invalidate();
}

int ThumbnailList::nextRow() {
    // The rows in view first. Finding them probes the whole view: they are
    // found again after a scroll, a resize, a build, or a tenth of a second
    // (the layout after a build comes later), not for every picture.
    if (!m_inView.isValid() || m_inView.elapsed() > 100) {
        m_inViewRows = visibleRows();
        m_inView.start();
    }
    const auto [first, last] = m_inViewRows;
    for (int row = std::max(0, first); first >= 0 && row <= last; ++row)
        if (m_state[size_t(row)] == Pending)
            return row;
    while (m_cursor < int(m_state.size()) && m_state[size_t(m_cursor)] != Pending)
        ++m_cursor;
    return m_cursor < int(m_state.size()) ? m_cursor : -1;
}

void ThumbnailList::submitMore() {
    while (m_running < m_maxRunning) {
        const int row = nextRow();
        if (row < 0)
            return;
        m_state[size_t(row)] = Running;
        ++m_running;
        const QString path = QDir(m_folder).filePath(m_names.at(row));
        const QSize size = m_options.size;
        const quint64 generation = m_generation;
        const std::shared_ptr<std::atomic_bool> cancelled = m_cancelled;
        // The list waits for the pool when it goes, so this outlives the job.
        m_pool.start([=, this] {
            if (*cancelled)
                return;
            QElapsedTimer timer;
            timer.start();
            const QDateTime modified = QFileInfo(path).lastModified();
            const QImage image = tav::thumbs::thumbnailOutside(path, size).image;
            const double ms = timer.nsecsElapsed() / 1e6;
            if (*cancelled)
                return;
            QMetaObject::invokeMethod(
                this, [=, this] { pictureDone(generation, row, image, modified, ms); }, Qt::QueuedConnection);
        });
    }
}

void ThumbnailList::pictureDone(quint64 generation, int row, const QImage &image, const QDateTime &modified,
                                double ms) {
    if (generation != m_generation)
        return;
    m_jobMs = m_jobMs < 0 ? ms : 0.8 * m_jobMs + 0.2 * ms;
    const int perThread =
        std::clamp(int(QueuedWorkMs / std::max(m_jobMs, 0.1)), MinQueuedPerThread, MaxQueuedPerThread);
    m_maxRunning = perThread * m_pool.maxThreadCount();
    --m_running;
    --m_waiting;
    ++m_decoded;
    m_state[size_t(row)] = Done;
    const QPixmap picture = image.isNull() ? QPixmap() : QPixmap::fromImage(image);
    m_cache[m_folder].pictures.insert(m_names.at(row), Cached{picture, modified});
    if (!picture.isNull())
        item(row)->setIcon(QIcon(picture));
    if (m_waiting == 0)
        emit picturesReady();
    else
        submitMore();
}

QStringList ThumbnailList::itemTexts() const {
    return m_built ? m_names : QStringList();
}

QStringList ThumbnailList::selectedItemTexts() const {
    QStringList out;
    for (int row = 0; row < count(); ++row)
        if (item(row)->isSelected())
            out.append(item(row)->text());
    return out;
}

void ThumbnailList::selectItemsByText(const QStringList &names) {
    const QSet<QString> wanted(names.cbegin(), names.cend());
    QItemSelection selection;
    for (int row = 0; row < count(); ++row)
        if (wanted.contains(item(row)->text()))
            selection.select(model()->index(row, 0), model()->index(row, 0));
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!selection.isEmpty())
        scrollTo(selection.first().topLeft());
}

QPixmap ThumbnailList::picture(const QString &name) const {
    const auto folder = m_cache.constFind(m_folder);
    if (!m_built || folder == m_cache.cend())
        return {};
    return folder->pictures.value(name).picture;
}
