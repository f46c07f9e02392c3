#pragma once
// ThumbnailList: a folder's files as thumbnails. The names show at once; the
// pictures are decoded on a bounded pool of threads, the rows in view first,
// and fill in as they arrive, so that the window keeps painting. A new folder
// cancels what is left of the previous one. The pictures of the last few
// folders are kept, so that coming back to one decodes only what changed.
// Files the program renames keep their pictures, here and in the cache shared
// with the desktop.

#include "core/rename/RenameCommand.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QListWidget>
#include <QPixmap>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

class ThumbnailList : public QListWidget {
    Q_OBJECT
public:
    struct Options {
        bool draw = true;                                   // pictures at all
        QString types = QStringLiteral("gif jpg jpeg bmp"); // extensions given pictures
        QSize size{64, 64};
        bool operator==(const Options &) const = default;
    };

    explicit ThumbnailList(QWidget *parent = nullptr);
    ~ThumbnailList() override;

    // Whether a file of this name gets a picture: pictures drawn and its
    // extension, in capitals, one of the types.
    static bool wantsPicture(const QString &name, const Options &options);

    // Shows the names of folder; starts decoding their pictures. Returns
    // false, doing nothing, when folder, names and options are those of the
    // last build.
    bool build(const QString &folder, const QStringList &names, const Options &options);
    // The next build rebuilds, even of the same folder.
    void forgetBuild() { m_built = false; }
    QString builtFolder() const { return m_built ? m_folder : QString(); }

    QStringList itemTexts() const;
    QStringList selectedItemTexts() const;
    // Selects exactly the items with these names.
    void selectItemsByText(const QStringList &names);
    // The picture of an item, null while not decoded or when it has none.
    QPixmap picture(const QString &name) const;

    // The first and last rows in view, -1 when none.
    std::pair<int, int> visibleRows() const;

    // Pictures still to come for the current build.
    bool isDecoding() const { return m_waiting > 0; }
    // Pictures decoded since the list was made (not those from the cache).
    int decodedCount() const { return m_decoded; }

    // Files renamed together. Noted until applyRenames(), called once the
    // batch is over: a batch's renames are applied together, since a file may
    // take the name another one just left.
    void noteRenamed(const tav::RenamedFiles &files);
    // The noted renames: the kept pictures move to the new names (when the
    // new folder is kept too and the file is unchanged), and the entries of
    // the shared cache move on a worker thread.
    void applyRenames();
    // Waits until the shared cache's entries of the applied renames moved.
    void waitForMovedEntries() { m_entryMover.waitForDone(); }
    // Whether entries of applied renames are still being moved.
    bool movingEntries() { return !m_entryMover.waitForDone(0); }

signals:
    // Every picture of the current build is shown.
    void picturesReady();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Cached {
        QPixmap picture;
        QDateTime modified;
    };
    struct FolderPictures {
        Options options;
        QHash<QString, Cached> pictures;
    };
    enum State : char { NoPicture, Pending, Running, Done };

    void submitMore();
    int nextRow();
    void pictureDone(quint64 generation, int row, const QImage &image, const QDateTime &modified, double ms);
    void cancel();

    QThreadPool m_pool;
    QThreadPool m_entryMover; // one thread: batches move in their order
    QList<tav::RenamedFiles> m_renames;
    int m_maxRunning = 2; // jobs on the pool at most, from the time they take
    double m_jobMs = -1;  // a job's recent time, -1 before the first
    quint64 m_generation = 0;
    std::shared_ptr<std::atomic_bool> m_cancelled;
    bool m_built = false;
    QString m_folder;
    QStringList m_names;
    Options m_options;
    std::vector<State> m_state;
    int m_cursor = 0;                         // rows before it are no longer pending
    std::pair<int, int> m_inViewRows{-1, -1}; // visibleRows() when m_inView started
    QElapsedTimer m_inView;
    int m_running = 0; // jobs on the pool
    int m_waiting = 0; // pictures of the build not shown yet
    int m_decoded = 0;
    QHash<QString, FolderPictures> m_cache;
    QStringList m_cacheOrder; // most recent last
};
