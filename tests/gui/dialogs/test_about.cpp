// The about box, its credits scroller and the dependency list, offscreen with
// the program's own language files.

#include "TestGuard.h"
#include "core/base/Version.h"
#include "core/base/mTavCommon.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "gui/dialogs/frmAboutCredits.h"
#include "gui/dialogs/frmDependance.h"

#include "QtPrinters.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace tav;

namespace {

class About : public ::testing::Test {
protected:
    tav::test::TestGuard guard;
    void SetUp() override { guard.sourceProgramFolder().language(QStringLiteral("Français")); }
};

QString labelText(const QWidget &form, const char *name) {
    return form.findChild<QLabel *>(name)->text();
}

} // namespace

TEST(CreditsTags, AlignmentBoldAndSizeCarryToTheFollowingLines) {
    const QList<CreditLine> lines =
        parseCredits("first\r\n<AR><B>right bold\r\nplain after\r\n<I></B>italic only\r\n<F10>small\r\nstill small\r\n"
                     "<AL><F28><P>title\r\n<PL>beside");
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[0].text, "first");
    EXPECT_EQ(lines[0].alignment, CreditLine::Centre);
    EXPECT_EQ(lines[0].size, 12);
    EXPECT_FALSE(lines[0].bold);

    EXPECT_EQ(lines[1].text, "right bold");
    EXPECT_EQ(lines[1].alignment, CreditLine::Right);
    EXPECT_TRUE(lines[1].bold);
    EXPECT_EQ(lines[2].text, "plain after");
    EXPECT_EQ(lines[2].alignment, CreditLine::Right) << "carried to the next line";
    EXPECT_TRUE(lines[2].bold) << "carried to the next line";

    EXPECT_EQ(lines[3].text, "italic only");
    EXPECT_FALSE(lines[3].bold) << "</B> turns bold off from its line on";
    EXPECT_TRUE(lines[3].italic);

    EXPECT_EQ(lines[4].size, 10);
    EXPECT_EQ(lines[5].size, 10) << "the size stays until another size tag";
    EXPECT_TRUE(lines[5].italic);

    EXPECT_EQ(lines[6].text, "title");
    EXPECT_EQ(lines[6].size, 28);
    EXPECT_EQ(lines[6].alignment, CreditLine::Left);
    EXPECT_TRUE(lines[6].paragraph);
    EXPECT_FALSE(lines[7].paragraph) << "the paragraph mark is the line's own";
    EXPECT_TRUE(lines[7].sameLine);
    EXPECT_EQ(lines[7].text, "beside");
}

TEST(CreditsTags, OnlyWholeTagsAtTheStartAreTaken) {
    const QList<CreditLine> lines = parseCredits("<F1>x\n<FAB>y\nsize <F20> later\n<B>");
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0].text, "<F1>x") << "the size tag has exactly two digits";
    EXPECT_EQ(lines[0].size, 12);
    EXPECT_EQ(lines[1].text, "<FAB>y");
    EXPECT_EQ(lines[2].text, "size <F20> later");
    EXPECT_EQ(lines[2].size, 12);
    EXPECT_EQ(lines[3].text, "");
    EXPECT_TRUE(lines[3].bold);
}

TEST(CreditsText, EveryLanguageCreditsTheComponentsWithTheirAddresses) {
    for (const QString &language : {QStringLiteral("Français"), QStringLiteral("English"), QStringLiteral("Español")}) {
        const QString text = creditsText(language);
        for (const char *credit : {"Qt", "https://www.qt.io/", "jhead", "Matthias Wandel", "ExifTool", "Phil Harvey",
                                   "https://exiftool.org/", "GoogleTest"})
            EXPECT_TRUE(text.contains(QLatin1String(credit))) << qPrintable(language) << " " << credit;
        EXPECT_TRUE(text.startsWith("<F28><P><B>Travoline\r\n"));
    }
    EXPECT_TRUE(creditsText("Français").contains("gratuit"));
    EXPECT_TRUE(creditsText("English").contains("free"));
    EXPECT_TRUE(creditsText("Italiano").contains("gratuito"));
    EXPECT_TRUE(creditsText("Deutsch").contains("von Matthias Wandel"));
}

TEST(CreditsScrolling, MovesUpOnlyWhileShownAndStartsAgainAtTheBottom) {
    CreditsScroller scroller;
    scroller.resize(200, 100);
    scroller.setLines(parseCredits("<F20>one\r\ntwo"));
    EXPECT_EQ(scroller.position(), 100) << "starts at the bottom edge";
    EXPECT_FALSE(scroller.isScrolling());

    scroller.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&scroller));
    EXPECT_TRUE(scroller.isScrolling());
    QTest::qWait(200);
    const int moved = scroller.position();
    EXPECT_LT(moved, 100);

    scroller.hide();
    EXPECT_FALSE(scroller.isScrolling());
    QTest::qWait(150);
    EXPECT_EQ(scroller.position(), moved) << "stopped while hidden";

    // Once the last line has left the top, the text comes back from below.
    const int total = scroller.totalHeight();
    EXPECT_GT(total, 0);
    int previous = scroller.position();
    for (int ticks = 0; ticks < 10000; ++ticks) {
        scroller.tick();
        if (scroller.position() > previous)
            break;
        EXPECT_EQ(scroller.position(), previous - 1) << "one pixel per tick";
        previous = scroller.position();
    }
    EXPECT_EQ(previous, -total - 10) << "the last position before the text has wholly left the top";
    EXPECT_EQ(scroller.position(), 110) << "back just below the bottom";
}

TEST(CreditsScrolling, TheOffScreenPictureHoldsTheText) {
    CreditsScroller scroller;
    scroller.resize(200, 100);
    scroller.setLines(parseCredits("<F20><B>WWWW"));
    for (int i = 0; i < 80; ++i)
        scroller.tick(); // the line is now well inside the picture
    const QImage image = scroller.buffer().toImage();
    const QRgb background = image.pixel(0, 0);
    int inked = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            inked += image.pixel(x, y) != background;
    EXPECT_GT(inked, 50);
}

TEST(MemoryFacts, TotalAndAvailableFromMeminfo) {
    const MemoryStatus status = memoryStatus("MemTotal:       16318220 kB\nMemFree:         1000 kB\n"
                                             "MemAvailable:    9876543 kB\nBuffers: 5 kB\n");
    EXPECT_EQ(status.total, 16318220LL * 1024);
    EXPECT_EQ(status.available, 9876543LL * 1024);
    EXPECT_EQ(memoryStatus("MemTotal: 2048 kB\nMemFree: 1024 kB\n").available, 1024 * 1024) << "older kernels";
}

TEST_F(About, DependencyListCopiesOneCrLfLinePerRow) {
    frmDependance dialog(
        {{"Travoline (programme principal)", "1.2.3"}, {"liborvalib.so", "1.2.3"}, {"libabsent.so", "Fichier inconnu"}},
        nullptr);
    QApplication::clipboard()->clear();
    QTest::mouseClick(dialog.findChild<QPushButton *>("cmdPressePapier"), Qt::LeftButton);
    const QString text = QApplication::clipboard()->text();
    EXPECT_EQ(text,
              "Travoline (programme principal) : 1.2.3\r\nliborvalib.so : 1.2.3\r\nlibabsent.so : Fichier inconnu\r\n");
    EXPECT_EQ(text.count("\r\n"), 3);
    EXPECT_EQ(text.count('\n'), 3);
}

TEST_F(About, DependencyListNamesTheProgramThenWhatThisBuildRunsWith) {
    frmDependance dialog;
    EXPECT_EQ(dialog.windowTitle(), "Dépendances de Travoline");
    EXPECT_EQ(dialog.list()->headerItem()->text(0), "Fichier");
    const QList<frmDependance::Row> rows = dialog.rows();
    ASSERT_GE(rows.size(), 5);
    EXPECT_EQ(rows[0].name, i18n::Message(89));
    EXPECT_EQ(rows[0].version, QString::fromLatin1(VersionText));
    auto versionOf = [&](const QString &name) {
        for (const auto &row : rows)
            if (row.name == name)
                return row.version;
        return QStringLiteral("<absent>");
    };
    EXPECT_EQ(versionOf("liborvalib.so"), QString::fromLatin1(VersionText));
    EXPECT_EQ(versionOf("libQt6Widgets.so.6"), QString::fromLatin1(qVersion()));
    // libcurl as curl reports it, not the numbers of its file name.
    QProcess curl;
    curl.start("curl", {"--version"});
    if (curl.waitForFinished(10000)) {
        const auto reported = QRegularExpression("libcurl/(\\S+)").match(QString::fromLatin1(curl.readAll()));
        ASSERT_TRUE(reported.hasMatch());
        EXPECT_EQ(versionOf("libcurl.so.4"), reported.captured(1));
    }

    // The tools as they report themselves.
    QProcess jhead;
    jhead.start(exifReader().toolPath(ExifReader::Tool::Jhead), {"-V"});
    ASSERT_TRUE(jhead.waitForFinished(10000));
    EXPECT_TRUE(QString::fromLocal8Bit(jhead.readAll()).contains(versionOf("jhead")));
    QProcess exiftool;
    exiftool.start(exifReader().toolPath(ExifReader::Tool::ExifTool), {"-ver"});
    ASSERT_TRUE(exiftool.waitForFinished(20000));
    EXPECT_EQ(QString::fromLocal8Bit(exiftool.readAll()).trimmed(), versionOf("ExifTool"));
    // The built-in reader, with the version of the library it runs with.
    const QString builtin = versionOf(Exif::toolModeName(ExifModeBuiltin));
    EXPECT_TRUE(builtin.contains(QRegularExpression("^Exiv2 \\d+\\.\\d+\\.\\d+$"))) << builtin.toStdString();

    EXPECT_EQ(frmDependance::toolVersion("/nonexistent/tool", {}), "Fichier inconnu");
    EXPECT_FALSE(dialog.findChild<QPushButton *>("cmdAide")->isVisibleTo(&dialog)) << "no help wired";
    bool helped = false;
    dialog.setHelpHandler([&] { helped = true; });
    QTest::mouseClick(dialog.findChild<QPushButton *>("cmdAide"), Qt::LeftButton);
    EXPECT_TRUE(helped);
}

TEST_F(About, ShowsIdentityMachineFactsAndTheProgramsMemory) {
    frmAboutCredits box;
    EXPECT_EQ(box.windowTitle(), "À propos de Travoline");
    EXPECT_EQ(labelText(box, "lblTitre"), "Travoline");
    EXPECT_EQ(labelText(box, "lblVersion"), QStringLiteral("Version ") + VersionText);
    EXPECT_TRUE(labelText(box, "lblDate").startsWith("Publiée le ")) << qPrintable(labelText(box, "lblDate"));
    EXPECT_TRUE(labelText(box, "lblMemTotale").startsWith("Mémoire totale : "));
    EXPECT_TRUE(labelText(box, "lblMemTotale").endsWith(" Go") || labelText(box, "lblMemTotale").endsWith(" Mo"));
    // This test's own memory: a figure, not zero.
    EXPECT_TRUE(labelText(box, "lblProcess").contains(QRegularExpression("[1-9]\\S* [KMG]o$")))
        << qPrintable(labelText(box, "lblProcess"));
    // No address configured in a default build: nothing to click.
    EXPECT_FALSE(box.findChild<QLabel *>("lblSite")->isVisibleTo(&box));
    EXPECT_FALSE(box.findChild<QLabel *>("lblMail")->isVisibleTo(&box));
    EXPECT_FALSE(box.findChild<QPushButton *>("cmdControleVersion")->isVisibleTo(&box));
}

TEST_F(About, EveryMountedVolumeIsOfferedAndChoosingOneRecomputesItsFreeSpace) {
    frmAboutCredits box;
    auto *volumes = box.findChild<QComboBox *>("cboDisques");
    ASSERT_NE(volumes, nullptr);
    ASSERT_GT(volumes->count(), 0);
    EXPECT_GE(volumes->findData(QStringLiteral("/")), 0);
    const QString home = volumes->currentData().toString();
    EXPECT_TRUE(QDir::homePath().startsWith(home)) << qPrintable(home);
    const QString before = labelText(box, "lblEspaceLibre");
    EXPECT_TRUE(before.startsWith("Espace libre : "));
    for (int i = 0; i < volumes->count(); ++i) {
        volumes->setCurrentIndex(i);
        EXPECT_TRUE(labelText(box, "lblEspaceLibre").contains(QRegularExpression(": \\S+ [KMGT]?o$")))
            << qPrintable(volumes->itemText(i)) << " " << qPrintable(labelText(box, "lblEspaceLibre"));
    }
}

TEST_F(About, CreditsScrollWhileTheBoxIsShownAndStopWhenItCloses) {
    frmAboutCredits box;
    auto *credits = box.findChild<CreditsScroller *>("picCredits");
    ASSERT_NE(credits, nullptr);
    EXPECT_FALSE(credits->isScrolling());
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_TRUE(credits->isScrolling());
    QTest::mouseClick(box.findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
    EXPECT_FALSE(box.isVisible());
    EXPECT_FALSE(credits->isScrolling());
}

// Pictures of both windows in both languages, written to TAV_SCREENSHOT_DIR
// when it is set (a temporary folder otherwise); each must show something.
TEST_F(About, PicturesOfBothWindowsInBothLanguages) {
    const QString folder = qEnvironmentVariable("TAV_SCREENSHOT_DIR", QDir::tempPath());
    for (const QString &language : {QStringLiteral("Français"), QStringLiteral("English")}) {
        i18n::setLanguage(language);
        const QString suffix = language == "English" ? "en" : "fr";
        frmAboutCredits box;
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        auto *credits = box.findChild<CreditsScroller *>("picCredits");
        for (int i = 0; i < 120; ++i)
            credits->tick(); // the credits well inside the picture
        // Further down: the credited components.
        CreditsScroller deeper;
        deeper.resize(credits->size());
        deeper.setLines(parseCredits(creditsText(language)));
        for (int i = 0; i < 520; ++i)
            deeper.tick();
        EXPECT_TRUE(deeper.buffer().save(folder + "/picCredits_" + suffix + ".png"));
        frmDependance list(&box);
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
        for (QWidget *window : {static_cast<QWidget *>(&box), static_cast<QWidget *>(&list)}) {
            const QImage image = window->grab().toImage();
            EXPECT_GT(image.width(), 300);
            EXPECT_TRUE(
                image.save(folder + QLatin1Char('/') + window->objectName() + QLatin1Char('_') + suffix + ".png"));
        }
    }
}
