#pragma once
// The rows of the folder contents list: a model over one folder listing, kept
// as a vector of entries plus a row order, so that 50,000 files fill and
// re-sort at once. Texts (size, dates, attributes) are made only for the rows
// shown.

#include "core/browse/FolderListing.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QLocale>

namespace tav::shell {

class FolderListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FolderListModel(QObject *parent = nullptr);

    // Replaces the rows; keeps the current sort.
    void setListing(FolderListing listing);
    // Replaces the rows and the sort (as sortBy) at once; rows, when it holds
    // every entry, is their order already made by that sort.
    void setListing(FolderListing listing, int section, Qt::SortOrder order, std::vector<int> rows);
    const FolderListing &listing() const { return m_listing; }
    void clear();

    // Which optional columns follow name, size, type and date modified.
    void setOptionalColumns(bool created, bool accessed, bool attributes);
    Column columnAt(int section) const { return m_columns.at(section); }
    int sectionOf(Column column) const;

    // Sorts by a column (-1: by name, folders first, with no column marked).
    void sortBy(int section, Qt::SortOrder order);
    int sortSection() const { return m_sortSection; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    // How names compare (the name column, and ties of the other columns);
    // the rows are sorted again at once.
    void setNameOrder(NameOrder names);
    NameOrder nameOrder() const { return m_names; }

    const FolderItem &itemAt(int row) const { return m_listing.items[size_t(m_order[size_t(row)])]; }

    void setLocale(const QLocale &locale);
    static QString columnTitle(Column column);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;

private:
    std::vector<int> computeOrder() const;
    void replaceListing(FolderListing listing);
    QIcon iconFor(const FolderItem &item) const;
    QString text(const FolderItem &item, Column column) const;

    FolderListing m_listing;
    std::vector<int> m_order;
    std::vector<Column> m_columns;
    int m_sortSection = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    NameOrder m_names = NameOrder::Natural;
    QLocale m_locale;
    QString m_dateFormat;
    mutable QHash<QString, QIcon> m_icons;
};

} // namespace tav::shell
