#pragma once
// The folders of the folder tree: the user's home, the file system from "/",
// and the mounted volumes at the top; each folder's sub-folders are read the
// first time it is expanded (or walked through by a path), never before.

#include <QAbstractItemModel>
#include <QIcon>

#include <memory>
#include <vector>

namespace tav::shell {

class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit FolderTreeModel(QObject *parent = nullptr);
    ~FolderTreeModel() override;

    // Rebuilds the top level; every folder will be read again.
    void reload();
    // Sub-folders in natural order (folder2 before folder10) or in plain
    // order; folders already read are put in the new order at once.
    void setNaturalOrder(bool on);

    QString pathOf(const QModelIndex &index) const;
    // Walks down to path, reading folders on the way; returns the deepest
    // folder reached (invalid when no top-level folder holds the path).
    QModelIndex indexForPath(const QString &path, bool *complete = nullptr);

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Node;
    Node *nodeOf(const QModelIndex &index) const;
    QModelIndex indexOf(Node *node) const;
    void list(Node *node);
    Node *childNamed(Node *node, const QString &name);
    bool less(const QString &a, const QString &b) const;
    void sortChildren(Node *node);

    std::vector<std::unique_ptr<Node>> m_roots;
    QIcon m_folderIcon;
    QIcon m_homeIcon;
    QIcon m_driveIcon;
    bool m_natural = false;
};

} // namespace tav::shell
