// The metadata tokens of a pattern, filled from real photos: through the name
// computation with the reader plugged in, and through the command line.

#include "TestPaths.h"
#include "core/engine/TokenTable.h"
#include "core/filelist/RenameList.h"
#include "core/metadata/Exif.h"

#include "PhotoFactory.h"
#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tav;

namespace {

class MetadataTokens : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(dir.filePath("photos"));
        ASSERT_TRUE(test::makeJpeg(photo("IMG_1.jpg"), test::referenceTags()));
        ASSERT_TRUE(test::makeJpeg(photo("IMG_2.jpg"), {"-Make=Nikon", "-Model=D70", "-CreateDate=2010:11:05 08:09:10",
                                                        "-DateTimeOriginal=2010:11:05 08:09:10"}));
        ASSERT_TRUE(test::makeJpeg(photo("plain.jpg")));
        QFile::copy(photo("IMG_2.jpg"), photo("scan.tif"));
        reader.setTempFolder(dir.filePath("tmp"));
    }

    QString photo(const QString &name) const { return dir.filePath("photos/" + name); }

    QStringList names(int mode, const QString &pattern, const QStringList &files) {
        reader.cache().clear();
        reader.configure(mode, DefaultJheadExtensions, DefaultExifToolExtensions);
        RenameList engine;
        Rule rule;
        rule.Regle = pattern;
        rule.Extension = "*";
        rule.RemplacerCaractereInterdit = 0; // keep the ":" of the date as the tool printed it
        engine.setRule(rule);
        engine.setMetadataSource(&reader);
        for (const QString &f : files)
            engine.affiche_nom(photo(f));
        QStringList out;
        for (int row = 0; row < engine.model()->rowCount(); ++row)
            out << engine.model()->index(row, 1).data().toString();
        return out;
    }

    QTemporaryDir dir;
    ScriptedFrontEnd ui;
    ExifReader reader;
};

} // namespace

TEST_F(MetadataTokens, EveryTokenFromEachTool) {
    const QString pattern = "$dA$ $dM$ $dJ$ $dh$ $dm$ $ds$~$d$~$K$~$R$~$O$~$C$~$T$";
    const QStringList byJhead = names(ExifModeJhead, pattern, {"IMG_1.jpg"});
    ASSERT_EQ(byJhead.size(), 1);
    const QStringList j = byJhead[0].chopped(4).split('~'); // without ".jpg"
    ASSERT_EQ(j.size(), 7) << byJhead[0].toStdString();
    EXPECT_EQ(j[0], "2003 02 24 12 34 56");
    EXPECT_EQ(j[1], "2003:02:24 12:34:56");
    EXPECT_EQ(j[2], "Canon EOS 5D");
    EXPECT_EQ(j[3], "16 x 16");
    EXPECT_EQ(j[4], "rotate 90");
    EXPECT_EQ(j[5], "hello world");
    EXPECT_TRUE(j[6].endsWith(" bytes")) << j[6].toStdString();

    for (int mode : {ExifModeExifTool, ExifModeExifToolBatch}) {
        const QStringList e = names(mode, pattern, {"IMG_1.jpg"})[0].chopped(4).split('~');
        ASSERT_EQ(e.size(), 7) << mode;
        EXPECT_EQ(e[0], "2003 02 24 12 34 56");
        EXPECT_EQ(e[1], "2003:02:24 12:34:56");
        EXPECT_EQ(e[2], "Canon EOS 5D");
        EXPECT_EQ(e[3], "16 x 12");
        EXPECT_EQ(e[4], "Rotate 90 CW");
        EXPECT_EQ(e[5], "hello world");
        EXPECT_FALSE(e[6].isEmpty());
    }
}

TEST_F(MetadataTokens, DateFolderPatternNamesAFolderOfPhotos) {
    const QStringList files{"IMG_1.jpg", "IMG_2.jpg", "plain.jpg", "scan.tif"};
    const QString pattern = "$dA$-$dM$-$dJ$_$K$";
    EXPECT_EQ(names(ExifModeJhead, pattern, files),
              (QStringList{"2003-02-24_Canon EOS 5D.jpg", "2010-11-05_D70.jpg", "--_.jpg", "--_.tif"}));
    const QStringList all{"2003-02-24_Canon EOS 5D.jpg", "2010-11-05_D70.jpg", "--_.jpg", "2010-11-05_D70.tif"};
    EXPECT_EQ(names(ExifModeJheadThenExifTool, pattern, files), all);
    EXPECT_EQ(names(ExifModeExifTool, pattern, files), all);
    EXPECT_EQ(names(ExifModeExifToolBatch, pattern, files), all);
    EXPECT_EQ(names(ExifModeBuiltin, pattern, files), all);
}

TEST_F(MetadataTokens, PatternWithoutMetadataTokenRunsNoTool) {
    names(ExifModeJhead, "photo_##", {"IMG_1.jpg", "IMG_2.jpg"});
    names(ExifModeExifTool, "$N$ * $P$", {"IMG_1.jpg"});
    EXPECT_EQ(reader.toolRuns(), 0);
    EXPECT_FALSE(patternUsesMetadata("photo_## $D$ $DA$ $t$"));
    EXPECT_TRUE(patternUsesMetadata("x$ds$"));
}

// ---- the command line ----

namespace {

struct CliResult {
    int exitCode = -1;
    QStringList lines;
};

CliResult runCli(const QStringList &args) {
    QProcess p;
    p.start(QStringLiteral(TAV_BUILD_BIN_DIR "/travoline-cli"), args);
    CliResult r;
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitCode();
    r.lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    return r;
}

} // namespace

TEST_F(MetadataTokens, CommandLineModesAndTheSettingsDefault) {
    const QString ini = dir.filePath("Travoline.ini");
    const auto writeMode = [&](int mode) {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[General]\nVersionCourante=1.12.2\n[Option]\nOption_OutilExifChoisi=" + QByteArray::number(mode) +
                "\n");
    };
    const QStringList common{"--settings", ini, "--rule", "$dA$-$dM$-$dJ$_$K$", photo("IMG_1.jpg"), photo("scan.tif")};
    const QString jpg = photo("IMG_1.jpg") + "\t2003-02-24_Canon EOS 5D.jpg";
    const QString tifRead = photo("scan.tif") + "\t2010-11-05_D70.tif";
    const QString tifEmpty = photo("scan.tif") + "\t--_.tif";

    writeMode(0); // never chosen: jhead only
    CliResult r = runCli(common);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.lines, (QStringList{jpg, tifEmpty}));

    writeMode(3);
    r = runCli(common);
    EXPECT_EQ(r.lines, (QStringList{jpg, tifRead}));

    for (const char *mode : {"2", "4", "5"}) {
        r = runCli(QStringList{"--exif-mode", mode} + common);
        EXPECT_EQ(r.exitCode, 0) << mode;
        EXPECT_EQ(r.lines, (QStringList{jpg, tifRead})) << mode;
    }
    r = runCli(QStringList{"--exif-mode", "1"} + common);
    EXPECT_EQ(r.lines, (QStringList{jpg, tifEmpty}));

    writeMode(5);
    EXPECT_EQ(runCli(common).lines, (QStringList{jpg, tifRead}));

    for (const char *bad : {"0", "6", "x", "12"})
        EXPECT_EQ(runCli(QStringList{"--exif-mode", bad} + common).exitCode, 2) << bad;
}
