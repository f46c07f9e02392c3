#include "core/filelist/RenameListModel.h"

#include "core/i18n/Language.h"

#include <QThreadPool>

#include <algorithm>

namespace tav {

namespace {

// The rows and look-up tables of a large list left behind are freed on
// another thread: freeing the names of 100,000 rows takes tens of
// milliseconds, which the window's thread needs to answer.
template <class... Table> void freeAside(Table &&...tables) {
    if ((tables.size() + ...) < 5000)
        return; // freed here, at once
    QThreadPool::globalInstance()->start([... held = std::move(tables)]() mutable { ((held = {}), ...); });
}

} // namespace

RenameListModel::RenameListModel(QObject *parent) : QAbstractTableModel(parent) {}

int RenameListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : count();
}

int RenameListModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RenameListModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const FileEntry &e = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return index.column() == OldNameColumn ? e.oldName : e.newName;
    case Qt::ToolTipRole:
        if (index.column() == NewNameColumn && !e.nameProblem.isEmpty())
            return e.nameProblem;
        return index.column() == OldNameColumn ? e.fullPath() : QVariant();
    case FolderRole:
        return e.folder;
    case FullPathRole:
        return e.fullPath();
    case NameProblemRole:
        return e.nameProblem;
    case MakesFoldersRole:
        return e.makesFolders;
    default:
        return {};
    }
}

QVariant RenameListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == OldNameColumn)
        return i18n::Message(14);
    if (section == NewNameColumn)
        return i18n::Message(15);
    return {};
}

void RenameListModel::ensureIndex() const {
    if (m_indexed)
        return;
    m_indexed = true;
    for (const FileEntry &e : m_rows) {
        ++m_names[e.oldName];
        ++m_paths[e.fullPath()];
    }
}

bool RenameListModel::containsOldName(const QString &oldName) const {
    ensureIndex();
    return m_names.value(oldName) > 0;
}

bool RenameListModel::containsFile(const QString &folder, const QString &oldName) const {
    ensureIndex();
    // The root folder is kept empty in a row ("/" + name), so "/" must not
    // add a second separator.
    const QString path = folder.endsWith(QLatin1Char('/')) ? folder + oldName : folder + QLatin1Char('/') + oldName;
    return m_paths.value(path) > 0;
}

void RenameListModel::indexEntry(const FileEntry &e) {
    if (!m_indexed)
        return;
    ++m_names[e.oldName];
    ++m_paths[e.fullPath()];
}

void RenameListModel::unindexEntry(const FileEntry &e) {
    if (!m_indexed)
        return;
    auto n = m_names.find(e.oldName);
    if (n != m_names.end() && --n.value() <= 0)
        m_names.erase(n);
    auto p = m_paths.find(e.fullPath());
    if (p != m_paths.end() && --p.value() <= 0)
        m_paths.erase(p);
}

int RenameListModel::appendEntry(const FileEntry &entry) {
    return appendEntry(FileEntry(entry));
}

int RenameListModel::appendEntry(FileEntry &&entry) {
    const int row = count();
    if (!m_batch)
        beginInsertRows(QModelIndex(), row, row);
    m_rows.append(std::move(entry));
    indexEntry(m_rows.constLast());
    if (!m_batch)
        endInsertRows();
    return row;
}

int RenameListModel::appendFile(const QString &folder, const QString &oldName) {
    const int row = count();
    if (!m_batch)
        beginInsertRows(QModelIndex(), row, row);
    // Files of one folder come one after the other: they share its text
    // rather than each holding a copy.
    const QString *shared = &folder;
    if (!m_rows.isEmpty()) {
        const QString &last = m_rows.constLast().folder;
        if ((last.constData() == folder.constData() && last.size() == folder.size()) || last == folder)
            shared = &last;
    }
    // Made in place where there is room (QList builds the row before it
    // grows, so the last row's folder is still there to be shared).
    m_rows.emplaceBack(oldName, *shared);
    indexEntry(m_rows.constLast());
    if (!m_batch)
        endInsertRows();
    return row;
}

void RenameListModel::setNewName(int row, const QString &newName, const QString &nameProblem, bool makesFolders) {
    setNewName(row, QString(newName), QString(nameProblem), makesFolders);
}

void RenameListModel::setNewName(int row, QString &&newName, QString &&nameProblem, bool makesFolders) {
    FileEntry &e = m_rows[row];
    e.newName = std::move(newName);
    e.nameProblem = std::move(nameProblem);
    e.makesFolders = makesFolders;
    if (!m_batch) {
        const QModelIndex i = createIndex(row, NewNameColumn);
        emit dataChanged(i, i);
    }
}

void RenameListModel::setSelected(int row, bool selected) {
    m_rows[row].selected = selected;
}

void RenameListModel::clear() {
    if (!m_batch)
        beginResetModel();
    ++m_generation;
    freeAside(std::exchange(m_rows, {}), std::exchange(m_names, {}), std::exchange(m_paths, {}));
    m_indexed = false;
    if (!m_batch)
        endResetModel();
}

void RenameListModel::takeNewNames(QList<FileEntry> rows) {
    if (!m_batch)
        beginResetModel();
    ++m_generation;
    // Same files, same folders: the presence look-ups still hold.
    freeAside(std::exchange(m_rows, std::move(rows)));
    if (!m_batch)
        endResetModel();
}

bool RenameListModel::removeRows(int row, int count, const QModelIndex &parent) {
    if (parent.isValid() || row < 0 || count < 1 || row + count > this->count())
        return false;
    if (!m_batch)
        beginRemoveRows(QModelIndex(), row, row + count - 1);
    ++m_generation;
    if (count == this->count()) {
        // Every row goes: the look-ups are rebuilt when next asked for.
        freeAside(std::exchange(m_rows, {}), std::exchange(m_names, {}), std::exchange(m_paths, {}));
        m_indexed = false;
    } else {
        for (int i = row; i < row + count; ++i)
            unindexEntry(m_rows.at(i));
        m_rows.remove(row, count);
    }
    if (!m_batch)
        endRemoveRows();
    return true;
}

void RenameListModel::removeRowList(QList<int> rows) {
    // A batch gives its rows in order or in reverse order (its second phase
    // runs backwards): those need no sort.
    if (std::is_sorted(rows.crbegin(), rows.crend()))
        std::reverse(rows.begin(), rows.end());
    else if (!std::is_sorted(rows.cbegin(), rows.cend()))
        std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the last row backwards, each run of adjacent rows at once, so the
    // lower indices stay valid.
    for (qsizetype i = rows.size() - 1; i >= 0;) {
        qsizetype j = i;
        while (j > 0 && rows[j - 1] == rows[j] - 1)
            --j;
        removeRows(rows[j], rows[i] - rows[j] + 1);
        i = j - 1;
    }
}

bool RenameListModel::moveRows(const QModelIndex &sourceParent, int sourceRow, int count,
                               const QModelIndex &destinationParent, int destinationChild) {
    if (sourceParent.isValid() || destinationParent.isValid() || count < 1 || sourceRow < 0 ||
        sourceRow + count > this->count() || destinationChild < 0 || destinationChild > this->count())
        return false;
    if (destinationChild >= sourceRow && destinationChild <= sourceRow + count)
        return destinationChild == sourceRow || destinationChild == sourceRow + count; // no-op
    if (!m_batch)
        beginMoveRows(QModelIndex(), sourceRow, sourceRow + count - 1, QModelIndex(), destinationChild);
    ++m_generation;
    const QList<FileEntry> block = m_rows.mid(sourceRow, count);
    m_rows.remove(sourceRow, count);
    const int insertAt = destinationChild > sourceRow ? destinationChild - count : destinationChild;
    for (int i = 0; i < count; ++i)
        m_rows.insert(insertAt + i, block.at(i));
    if (!m_batch)
        endMoveRows();
    return true;
}

void RenameListModel::moveRow(int from, int to) {
    if (from == to || from < 0 || to < 0 || from >= count() || to >= count())
        return;
    moveRows(QModelIndex(), from, 1, QModelIndex(), to > from ? to + 1 : to);
}

void RenameListModel::swapRows(int a, int b) {
    if (a == b || a < 0 || b < 0 || a >= count() || b >= count())
        return;
    if (a > b)
        std::swap(a, b);
    moveRow(b, a);
    moveRow(a + 1, b);
}

void RenameListModel::beginBatch() {
    if (m_batch++ == 0)
        beginResetModel();
}

void RenameListModel::endBatch() {
    if (m_batch > 0 && --m_batch == 0)
        endResetModel();
}

} // namespace tav
