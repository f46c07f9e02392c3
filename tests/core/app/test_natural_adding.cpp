// Files added from a folder follow the natural order of their names (the
// counter with them), or the plain order when the option is off.

#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"
#include "core/app/MainController.h"
#include "core/settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tav;

TEST(NaturalAdding, HierarchyAndFolderPathsInNaturalOrderAndPlainWhenOff) {
    QTemporaryDir dir;
    ScriptedFrontEnd fe;
    Settings settings;
    settings.regle.Regle = QStringLiteral("#");
    settings.FiltreAffichage = QStringLiteral("*.jpg");
    const auto touch = [&](const QString &relative) {
        QDir().mkpath(QFileInfo(dir.filePath(relative)).path());
        QFile f(dir.filePath(relative));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    };
    for (const char *name :
         {"file20.jpg", "file10.jpg", "File3.jpg", "file2.jpg", "file1.jpg", "d10/b.jpg", "d2/a.jpg"})
        touch(QString::fromLatin1(name));
    const auto names = [](MainController &c) {
        QStringList l;
        for (const FileEntry &e : c.model()->entries())
            l << e.oldName;
        return l;
    };
    const QStringList natural{"file1.jpg", "file2.jpg", "File3.jpg", "file10.jpg", "file20.jpg"};

    {
        MainController c(settings);
        c.loadFromSettings();
        c.setUpdatesEnabled(true);
        fe.answers = {AnswerYes};
        c.mnuAddHieriachy_Click(dir.path());
        // Folder by folder, breadth first, each in natural order: d2 before d10.
        EXPECT_EQ(names(c), natural + QStringList({"a.jpg", "b.jpg"}));
        EXPECT_EQ(c.model()->entry(2).newName, QStringLiteral("3.jpg"));
        c.cmdClear_Click();
        c.openPaths({dir.path()});
        EXPECT_EQ(names(c), natural);
    }
    settings.OrdreNaturel = 0;
    MainController c(settings);
    c.loadFromSettings();
    c.openPaths({dir.path()});
    EXPECT_EQ(names(c), QStringList({"file1.jpg", "file10.jpg", "file2.jpg", "file20.jpg", "File3.jpg"}));
}
