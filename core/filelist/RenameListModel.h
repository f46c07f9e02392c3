#pragma once
// The rename list: rows of FileEntry in counter order, shown as two columns
// (old name, new name). The selection belongs to the view's selection model.
// Presence look-ups (by old name, by old name and folder) are hashed, so
// adding many files stays linear.

#include "core/base/FileEntry.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>

namespace tav {

class RenameListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { OldNameColumn = 0, NewNameColumn = 1, ColumnCount = 2 };
    enum Role {
        FolderRole = Qt::UserRole + 1,
        FullPathRole,
        NameProblemRole,
        MakesFoldersRole,
    };

    explicit RenameListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
    bool moveRows(const QModelIndex &sourceParent, int sourceRow, int count, const QModelIndex &destinationParent,
                  int destinationChild) override;

    int count() const { return static_cast<int>(m_rows.size()); }
    const QList<FileEntry> &entries() const { return m_rows; }
    const FileEntry &entry(int row) const { return m_rows.at(row); }

    // Room for rows rows without growing (many files about to be added).
    void reserve(int rows) { m_rows.reserve(rows); }
    // Appends a row and returns its index.
    int appendEntry(const FileEntry &entry);
    int appendEntry(FileEntry &&entry);
    // Appends a row for the file folder + "/" + oldName with an empty new name.
    int appendFile(const QString &folder, const QString &oldName);
    void setNewName(int row, const QString &newName, const QString &nameProblem = QString(), bool makesFolders = false);
    // The same, the texts moved into the row.
    void setNewName(int row, QString &&newName, QString &&nameProblem, bool makesFolders);
    void setSelected(int row, bool selected);
    void clear();
    // Removes the given rows (any order, duplicates ignored).
    void removeRowList(QList<int> rows);
    // Takes the row at from out and puts it at to; the rows between shift by one.
    void moveRow(int from, int to);
    // Exchanges two rows.
    void swapRows(int a, int b);

    // The rows again, the same files in the same order with their new names,
    // in one model reset.
    void takeNewNames(QList<FileEntry> rows);

    // Many appends with one model reset instead of a signal per row.
    void beginBatch();
    void endBatch();

    // Grows at every change that can move or remove rows (clear, removal,
    // move); appends and new names leave it alone. A computation that lets
    // events run compares it to know whether its row index still holds.
    quint64 layoutGeneration() const { return m_generation; }

    bool containsOldName(const QString &oldName) const;
    bool containsFile(const QString &folder, const QString &oldName) const;

private:
    void indexEntry(const FileEntry &e);
    void unindexEntry(const FileEntry &e);
    void ensureIndex() const;

    QList<FileEntry> m_rows;
    // Built at the first presence test and kept up to date from then on, so
    // that rebuilding the list costs nothing when nobody asks.
    mutable bool m_indexed = false;
    mutable QHash<QString, int> m_names; // old name → rows holding it
    mutable QHash<QString, int> m_paths; // full path → rows holding it
    int m_batch = 0;
    quint64 m_generation = 0;
};

} // namespace tav
