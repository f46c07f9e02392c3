#include "gui/shellbrowser/FolderTreeModel.h"

#include "core/browse/FolderListing.h"
#include "core/i18n/Language.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace tav::shell {

struct FolderTreeModel::Node {
    QString caption;
    QString path;
    Node *parent = nullptr;
    int row = 0;
    bool listed = false;
    int kind = 0; // 0 folder, 1 home, 2 file-system root, 3 volume
    std::vector<std::unique_ptr<Node>> children;
};

FolderTreeModel::FolderTreeModel(QObject *parent) : QAbstractItemModel(parent) {
    static const QFileIconProvider provider;
    m_folderIcon = QIcon::fromTheme(QStringLiteral("folder"), provider.icon(QAbstractFileIconProvider::Folder));
    m_homeIcon = QIcon::fromTheme(QStringLiteral("user-home"), m_folderIcon);
    m_driveIcon = QIcon::fromTheme(QStringLiteral("drive-harddisk"), provider.icon(QAbstractFileIconProvider::Drive));
    reload();
}

FolderTreeModel::~FolderTreeModel() = default;

void FolderTreeModel::reload() {
    beginResetModel();
    m_roots.clear();
    auto addRoot = [this](const QString &caption, const QString &path, int kind) {
        auto node = std::make_unique<Node>();
        node->caption = caption;
        node->path = path;
        node->kind = kind;
        node->row = int(m_roots.size());
        m_roots.push_back(std::move(node));
    };
    const QString home = QDir::cleanPath(QDir::homePath());
    if (!home.isEmpty() && home != QLatin1String("/"))
        addRoot(
            i18n::getText(QStringLiteral("TVExplorer"), QStringLiteral("Home"), QStringLiteral("Dossier personnel")),
            home, 1);
    addRoot(i18n::getText(QStringLiteral("TVExplorer"), QStringLiteral("Root"), QStringLiteral("Système de fichiers")),
            QStringLiteral("/"), 2);
    // Removable and mounted volumes, where desktops mount them.
    QStringList volumes;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (root.startsWith(QLatin1String("/media/")) || root.startsWith(QLatin1String("/mnt/")) ||
            root.startsWith(QLatin1String("/run/media/")))
            volumes.append(root);
    }
    volumes.sort();
    for (const QString &root : volumes)
        addRoot(QFileInfo(root).fileName(), root, 3);
    endResetModel();
}

FolderTreeModel::Node *FolderTreeModel::nodeOf(const QModelIndex &index) const {
    return index.isValid() ? static_cast<Node *>(index.internalPointer()) : nullptr;
}

QModelIndex FolderTreeModel::indexOf(Node *node) const {
    return node ? createIndex(node->row, 0, node) : QModelIndex();
}

QString FolderTreeModel::pathOf(const QModelIndex &index) const {
    const Node *node = nodeOf(index);
    return node ? node->path : QString();
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex &parent) const {
    if (column != 0 || row < 0)
        return {};
    const Node *owner = nodeOf(parent);
    const auto &siblings = owner ? owner->children : m_roots;
    if (row >= int(siblings.size()))
        return {};
    return createIndex(row, 0, siblings[size_t(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex &child) const {
    const Node *node = nodeOf(child);
    return node ? indexOf(node->parent) : QModelIndex();
}

int FolderTreeModel::rowCount(const QModelIndex &parent) const {
    if (parent.column() > 0)
        return 0;
    const Node *node = nodeOf(parent);
    return int(node ? node->children.size() : m_roots.size());
}

int FolderTreeModel::columnCount(const QModelIndex &) const {
    return 1;
}

bool FolderTreeModel::hasChildren(const QModelIndex &parent) const {
    const Node *node = nodeOf(parent);
    if (!node)
        return !m_roots.empty();
    // Not read yet: offer the expander; reading every sub-folder of a large
    // folder just to know whether it has any would stall the tree.
    return !node->listed || !node->children.empty();
}

bool FolderTreeModel::canFetchMore(const QModelIndex &parent) const {
    const Node *node = nodeOf(parent);
    return node && !node->listed;
}

void FolderTreeModel::fetchMore(const QModelIndex &parent) {
    if (Node *node = nodeOf(parent))
        list(node);
}

void FolderTreeModel::list(Node *node) {
    if (node->listed)
        return;
    node->listed = true;
    QStringList names = listSubfolders(node->path);
    // Dot-folders stay out of the tree (they are reached by a path).
    names.erase(std::remove_if(names.begin(), names.end(), [](const QString &n) { return n.startsWith(u'.'); }),
                names.end());
    if (m_natural)
        std::stable_sort(names.begin(), names.end(), [this](const QString &a, const QString &b) { return less(a, b); });
    const QModelIndex parentIndex = indexOf(node);
    if (names.isEmpty()) {
        // The expander goes away.
        emit dataChanged(parentIndex, parentIndex);
        return;
    }
    const QString prefix = node->path.endsWith(u'/') ? node->path : node->path + u'/';
    beginInsertRows(parentIndex, 0, int(names.size()) - 1);
    node->children.reserve(size_t(names.size()));
    for (const QString &name : names) {
        auto child = std::make_unique<Node>();
        child->caption = name;
        child->path = prefix + name;
        child->parent = node;
        child->row = int(node->children.size());
        node->children.push_back(std::move(child));
    }
    endInsertRows();
}

bool FolderTreeModel::less(const QString &a, const QString &b) const {
    return nameLess(a, b, m_natural ? NameOrder::Natural : NameOrder::Plain);
}

void FolderTreeModel::setNaturalOrder(bool on) {
    if (on == m_natural)
        return;
    m_natural = on;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    for (auto &root : m_roots)
        sortChildren(root.get());
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after.append(indexOf(nodeOf(index)));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FolderTreeModel::sortChildren(Node *node) {
    auto &children = node->children;
    std::stable_sort(children.begin(), children.end(),
                     [this](const std::unique_ptr<Node> &a, const std::unique_ptr<Node> &b) {
                         return less(a->caption, b->caption);
                     });
    for (size_t i = 0; i < children.size(); ++i) {
        children[i]->row = int(i);
        sortChildren(children[i].get());
    }
}

FolderTreeModel::Node *FolderTreeModel::childNamed(Node *node, const QString &name) {
    list(node);
    auto &children = node->children;
    auto found =
        std::lower_bound(children.begin(), children.end(), name,
                         [this](const std::unique_ptr<Node> &c, const QString &n) { return less(c->caption, n); });
    if (found != children.end() && (*found)->caption == name)
        return found->get();
    for (auto &child : children)
        if (child->caption == name)
            return child.get();
    // A folder made since the parent was read, or a dot-folder: add it in its place.
    const QString prefix = node->path.endsWith(u'/') ? node->path : node->path + u'/';
    if (!QFileInfo(prefix + name).isDir())
        return nullptr;
    const int row = int(found - children.begin());
    beginInsertRows(indexOf(node), row, row);
    auto child = std::make_unique<Node>();
    child->caption = name;
    child->path = prefix + name;
    child->parent = node;
    Node *raw = child.get();
    children.insert(children.begin() + row, std::move(child));
    for (size_t i = size_t(row); i < children.size(); ++i)
        children[i]->row = int(i);
    endInsertRows();
    return raw;
}

QModelIndex FolderTreeModel::indexForPath(const QString &path, bool *complete) {
    if (complete)
        *complete = false;
    if (path.isEmpty() || !path.startsWith(u'/'))
        return {};
    const QString clean = QDir::cleanPath(path);
    // The top-level folder with the longest path holding this one.
    Node *start = nullptr;
    for (auto &root : m_roots) {
        const QString &r = root->path;
        const bool holds = clean == r || r == QLatin1String("/") || clean.startsWith(r + u'/');
        if (holds && (!start || r.size() > start->path.size()))
            start = root.get();
    }
    if (!start)
        return {};
    const QString rest = clean.mid(start->path.size());
    const QStringList parts = rest.split(u'/', Qt::SkipEmptyParts);
    Node *node = start;
    for (const QString &part : parts) {
        Node *child = childNamed(node, part);
        if (!child)
            return indexOf(node);
        node = child;
    }
    if (complete)
        *complete = true;
    return indexOf(node);
}

QVariant FolderTreeModel::data(const QModelIndex &index, int role) const {
    const Node *node = nodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return node->caption;
    case Qt::DecorationRole:
        return node->kind == 1 ? m_homeIcon : node->kind >= 2 ? m_driveIcon : m_folderIcon;
    case Qt::ToolTipRole:
    case Qt::UserRole:
        return node->path;
    default:
        return {};
    }
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex &index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace tav::shell
