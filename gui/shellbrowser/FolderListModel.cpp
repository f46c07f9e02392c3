#include "gui/shellbrowser/FolderListModel.h"

#include "core/i18n/Language.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QMimeData>
#include <QStyle>
#include <QThreadPool>
#include <QUrl>

#include <memory>
#include <utility>

namespace tav::shell {

FolderListModel::FolderListModel(QObject *parent) : QAbstractTableModel(parent) {
    m_columns = {Column::Name, Column::Size, Column::Type, Column::Modified};
    setLocale(QLocale());
}

void FolderListModel::setLocale(const QLocale &locale) {
    m_locale = QLocale(locale.language(), locale.territory());
    m_dateFormat = dateFormat(m_locale);
    if (!m_order.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void FolderListModel::setListing(FolderListing listing) {
    beginResetModel();
    replaceListing(std::move(listing));
    m_order = computeOrder();
    endResetModel();
}

void FolderListModel::setListing(FolderListing listing, int section, Qt::SortOrder order, std::vector<int> rows) {
    beginResetModel();
    m_sortSection = section >= int(m_columns.size()) ? -1 : section;
    m_sortOrder = order;
    replaceListing(std::move(listing));
    m_order = rows.size() == m_listing.items.size() ? std::move(rows) : computeOrder();
    endResetModel();
}

// The rows of a large folder are freed on another thread: for 100,000 files
// that took about 25 ms of the window's own.
void FolderListModel::replaceListing(FolderListing listing) {
    auto old = std::make_shared<FolderListing>(std::exchange(m_listing, std::move(listing)));
    constexpr size_t Large = 5000;
    if (old->items.size() >= Large)
        QThreadPool::globalInstance()->start([old]() mutable { old.reset(); });
}

void FolderListModel::clear() {
    FolderListing empty;
    setListing(std::move(empty));
}

void FolderListModel::setOptionalColumns(bool created, bool accessed, bool attributes) {
    std::vector<Column> columns = {Column::Name, Column::Size, Column::Type, Column::Modified};
    if (created)
        columns.push_back(Column::Created);
    if (accessed)
        columns.push_back(Column::Accessed);
    if (attributes)
        columns.push_back(Column::Attributes);
    if (columns == m_columns)
        return;
    const Column sorted = m_sortSection >= 0 ? m_columns[size_t(m_sortSection)] : Column::Name;
    beginResetModel();
    m_columns = columns;
    if (m_sortSection >= 0)
        m_sortSection = sectionOf(sorted);
    m_order = computeOrder();
    endResetModel();
}

int FolderListModel::sectionOf(Column column) const {
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i] == column)
            return int(i);
    return -1;
}

std::vector<int> FolderListModel::computeOrder() const {
    if (m_sortSection < 0 || m_sortSection >= int(m_columns.size()))
        return naturalOrder(m_listing, m_names);
    return sortedOrder(m_listing, m_columns[size_t(m_sortSection)], m_sortOrder == Qt::DescendingOrder, m_names);
}

void FolderListModel::setNameOrder(NameOrder names) {
    if (names == m_names)
        return;
    m_names = names;
    sortBy(m_sortSection, m_sortOrder);
}

void FolderListModel::sortBy(int section, Qt::SortOrder order) {
    if (section >= int(m_columns.size()))
        section = -1;
    m_sortSection = section;
    m_sortOrder = order;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order2 = computeOrder();
    // Persistent indexes (the selection, the current item) follow their entry.
    std::vector<int> newRowOfItem(order2.size());
    for (size_t row = 0; row < order2.size(); ++row)
        newRowOfItem[size_t(order2[row])] = int(row);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before) {
        const int item = m_order[size_t(old.row())];
        after.append(index(newRowOfItem[size_t(item)], old.column()));
    }
    m_order = std::move(order2);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FolderListModel::sort(int column, Qt::SortOrder order) {
    sortBy(column, order);
}

int FolderListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_order.size());
}

int FolderListModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_columns.size());
}

QString FolderListModel::text(const FolderItem &item, Column column) const {
    switch (column) {
    case Column::Name:
        return item.name;
    case Column::Size:
        return item.isDir ? QString() : sizeText(item.size, m_locale);
    case Column::Type:
        if (item.isDir)
            return i18n::getText(QStringLiteral("LVExplorer"), QStringLiteral("TypeFolder"),
                                 QStringLiteral("Dossier de fichiers"));
        return item.typeIndex >= 0 ? m_listing.types[size_t(item.typeIndex)].name : QString();
    case Column::Modified:
    case Column::Created:
    case Column::Accessed: {
        const qint64 when = column == Column::Modified  ? item.modified
                            : column == Column::Created ? item.created
                                                        : item.accessed;
        return when == 0 ? QString() : m_locale.toString(QDateTime::fromMSecsSinceEpoch(when), m_dateFormat);
    }
    case Column::Attributes:
        return attributeText(item);
    default:
        return QString();
    }
}

QIcon FolderListModel::iconFor(const FolderItem &item) const {
    const QString name = item.isDir            ? QStringLiteral("folder")
                         : item.typeIndex >= 0 ? m_listing.types[size_t(item.typeIndex)].iconName
                                               : QStringLiteral("application-octet-stream");
    auto found = m_icons.constFind(name);
    if (found != m_icons.constEnd())
        return *found;
    static const QFileIconProvider provider;
    QIcon fallback = provider.icon(item.isDir ? QAbstractFileIconProvider::Folder : QAbstractFileIconProvider::File);
    QIcon icon = QIcon::fromTheme(name, fallback);
    m_icons.insert(name, icon);
    return icon;
}

QVariant FolderListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= int(m_order.size()) || index.column() >= int(m_columns.size()))
        return {};
    const FolderItem &item = itemAt(index.row());
    const Column column = m_columns[size_t(index.column())];
    switch (role) {
    case Qt::DisplayRole:
        return text(item, column);
    case Qt::DecorationRole:
        return column == Column::Name ? QVariant(iconFor(item)) : QVariant();
    case Qt::TextAlignmentRole:
        return column == Column::Size ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    case Qt::ToolTipRole:
        return column == Column::Name ? QVariant(item.path) : QVariant();
    case Qt::UserRole:
        return item.path;
    default:
        return {};
    }
}

QString FolderListModel::columnTitle(Column column) {
    static const char *const keys[] = {"ColName",    "ColSize",     "ColType",      "ColModified",
                                       "ColCreated", "ColAccessed", "ColAttributes"};
    static const char *const defaults[] = {"Nom", "Taille", "Type", "Modifié le", "Créé le", "Accédé le", "Attributs"};
    const int i = int(column);
    if (i < 0 || i >= int(Column::Count))
        return QString();
    return i18n::getText(QStringLiteral("LVExplorer"), QString::fromLatin1(keys[i]), QString::fromUtf8(defaults[i]));
}

QVariant FolderListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= int(m_columns.size()))
        return {};
    if (role == Qt::DisplayRole)
        return columnTitle(m_columns[size_t(section)]);
    if (role == Qt::TextAlignmentRole && m_columns[size_t(section)] == Column::Size)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags FolderListModel::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList FolderListModel::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData *FolderListModel::mimeData(const QModelIndexList &indexes) const {
    QList<QUrl> urls;
    for (const QModelIndex &index : indexes)
        if (index.column() == 0)
            urls.append(QUrl::fromLocalFile(itemAt(index.row()).path));
    auto *data = new QMimeData;
    data->setUrls(urls);
    return data;
}

} // namespace tav::shell
