#include "QtPrinters.h"
#include "TestPaths.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct CliResult {
    int code = -1;
    QString out, err;
};

CliResult runCli(const QStringList &args) {
    QProcess p;
    p.start(QStringLiteral(TAV_BUILD_BIN_DIR "/travoline-cli"), args);
    p.waitForFinished(30000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

const QByteArray kIni = "[General]\n"
                        "General_VersionCourante=1.12.2\n"
                        "General_NombreRegle=2\n"
                        "General_Regle0=photo_##|Vacances|jpg|1|1||0|1|0|0|5|0\n"
                        "General_Regle1=\n"
                        "General_Regle2=$N$-*|  |*|0|0|txt|1|2|1|0|1|1\n"
                        "[RegleRenommage]\n"
                        "RegleRenommage_Regle=*\n";

} // namespace

TEST(CliSavedRules, ListsAndAppliesSavedRulesWithoutWritingTheFile) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("Travoline.ini");
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kIni);
    f.close();

    const CliResult list = runCli({"--settings", ini, "--list-rules"});
    EXPECT_EQ(list.code, 0) << list.err.toStdString();
    EXPECT_EQ(list.out, "photo_##\tVacances\tjpg\t1\t1\t\t0\t1\t0\t0\t5\t0\n"
                        "$N$-*\t  \t*\t0\t0\ttxt\t1\t2\t1\t0\t1\t1\n");

    QDir(dir.path()).mkpath("photos");
    QFile img(dir.filePath("photos/IMG 7.jpg"));
    ASSERT_TRUE(img.open(QIODevice::WriteOnly));
    img.close();
    const CliResult applied = runCli({"--settings", ini, "--saved-rule", "photo_##", dir.filePath("photos")});
    EXPECT_EQ(applied.code, 0) << applied.err.toStdString();
    EXPECT_TRUE(applied.out.endsWith("\tphoto_05.jpg\n")) << applied.out.toStdString();

    const CliResult missing =
        runCli({"--settings", ini, "--language", "English", "--saved-rule", "nope", dir.filePath("photos")});
    EXPECT_EQ(missing.code, 2);
    EXPECT_TRUE(missing.err.contains("no saved rule has the pattern \"nope\"")) << missing.err.toStdString();

    QFile back(ini);
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), kIni);
}
