// Folder browser timings: a folder of 50,000 files shown in the list, the
// list re-sorted by size and by date, and a tree folder of 10,000 sub-folders
// expanded. Run under QT_QPA_PLATFORM=offscreen.
#include "gui/shellbrowser/FolderListModel.h"
#include "gui/shellbrowser/FolderTreeModel.h"
#include "gui/shellbrowser/LVExplorer.h"
#include "gui/shellbrowser/TVExplorer.h"
#include "gui/widgets/ModSubClassing.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString files = dir.path() + "/files";
    const QString folders = dir.path() + "/folders";
    QDir().mkpath(files);
    QDir().mkpath(folders);
    for (int i = 0; i < 50000; ++i) {
        const QByteArray name = QFile::encodeName(files + QStringLiteral("/photo_%1.jpg").arg(i, 5, 10, QChar('0')));
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT, 0644);
        if (fd >= 0) {
            if (ftruncate(fd, (i * 7919) % 100000) != 0)
                std::perror("ftruncate");
            struct timespec times[2] = {{1600000000 + (i * 104729) % 100000, 0},
                                        {1600000000 + (i * 104729) % 100000, 0}};
            futimens(fd, times);
            ::close(fd);
        }
    }
    for (int i = 0; i < 10000; ++i)
        QDir().mkdir(folders + QStringLiteral("/sub%1").arg(i));

    LVExplorer list;
    list.resize(900, 600);
    list.attach();
    list.show();
    app.processEvents();

    QElapsedTimer timer;
    timer.start();
    list.setLVPath(files);
    list.waitForListing();
    app.processEvents();
    std::printf("list 50000 files:        %6lld ms (%d items)\n", timer.elapsed(), list.itemCount());

    for (const char *key : {"Size", "Modified", "Name"}) {
        timer.restart();
        list.sortBy(QString::fromLatin1(key), false);
        app.processEvents();
        const qint64 up = timer.elapsed();
        timer.restart();
        list.sortBy(QString::fromLatin1(key), true);
        app.processEvents();
        std::printf("sort by %-9s asc/desc: %6lld / %lld ms\n", key, up, timer.elapsed());
    }
    list.selectAll();
    timer.restart();
    list.sortBy(QStringLiteral("Size"), false);
    app.processEvents();
    std::printf("sort by size, all selected: %lld ms\n", timer.elapsed());

    TVExplorer tree;
    tree.resize(300, 600);
    tree.attach();
    tree.show();
    tree.setTVPath(dir.path());
    app.processEvents();
    timer.restart();
    tree.setTVPath(folders);
    tree.expand(tree.currentIndex());
    app.processEvents();
    std::printf("tree expand 10000 sub-folders: %lld ms (%d rows)\n", timer.elapsed(),
                tree.folderModel()->rowCount(tree.currentIndex()));
    return 0;
}
