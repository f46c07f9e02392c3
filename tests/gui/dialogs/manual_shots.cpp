// Takes the pictures of the manual from the program's own windows:
//   manual_shots LANGUAGE OUTPUT_FOLDER SAMPLE_FOLDER
//   manual_shots LANGUAGE --help-window PNG
//   manual_shots LANGUAGE --splash PNG
// LANGUAGE is a display name ("Français", "English"). The second form takes
// the help window itself at its first topic. Run on a real display
// (scripts/manual_pictures.sh starts Xvfb), with a private HOME.

#include "PhotoFactory.h"
#include "core/app/MainController.h"
#include "core/i18n/HelpFile.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "core/rename/RenameTexts.h"
#include "core/settings/Settings.h"
#include "gui/dialogs/CHelp.h"
#include "gui/dialogs/frmCheckErreur.h"
#include "gui/dialogs/frmChoixOutilExif.h"
#include "gui/dialogs/frmDependance.h"
#include "gui/dialogs/frmHelp.h"
#include "gui/dialogs/frmSplash.h"
#include "gui/main/frmMain.h"
#include "gui/main/frmMemoriseRegle.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTest>
#include <QTextStream>

using namespace tav;

namespace {

// Wider pictures are scaled down smoothly to what the help window shows
// without scrolling sideways.
constexpr int PictureWidth = 680;

bool shoot(QWidget *w, const QString &file, bool fit = true) {
    w->show();
    // A window not yet exposed still grabs its own widgets.
    (void)QTest::qWaitForWindowExposed(w);
    QTest::qWait(400);
    QPixmap picture = w->grab();
    if (fit && picture.width() > PictureWidth)
        picture = picture.scaledToWidth(PictureWidth, Qt::SmoothTransformation);
    const bool ok = picture.save(file);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << file << '\n';
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        QTextStream(stderr) << "usage: manual_shots LANGUAGE OUTPUT_FOLDER SAMPLE_FOLDER\n"
                               "       manual_shots LANGUAGE --help-window PNG\n"
                               "       manual_shots LANGUAGE --splash PNG\n";
        return 2;
    }
    const QString language = args[1], out = args[2], samples = args[3];
    const bool french = language == QStringLiteral("Français");
    i18n::setLanguage(language);
    if (out == QStringLiteral("--help-window")) {
        CHelp::show(help::TopicMainWindow);
        frmHelp *h = CHelp::window();
        if (!h)
            return 1;
        h->resize(1000, 720);
        const bool ok = shoot(h, args[3], false);
        CHelp::closeWindow();
        return ok ? 0 : 1;
    }
    if (out == QStringLiteral("--splash")) {
        frmSplash splash;
        return shoot(&splash, args[3], false) ? 0 : 1;
    }
    QDir().mkpath(out);
    QDir().mkpath(samples);

    // Photos taken on three days by two cameras.
    QStringList files;
    const QStringList dates = {QStringLiteral("2015:03:06 18:30:12"), QStringLiteral("2015:03:07 09:12:40"),
                               QStringLiteral("2015:03:07 16:05:03"), QStringLiteral("2015:03:08 11:47:55"),
                               QStringLiteral("2015:03:08 20:21:09")};
    for (int i = 0; i < dates.size(); ++i) {
        const QString path = samples + QStringLiteral("/DSC_%1.jpg").arg(40 + i * 3, 4, 10, QLatin1Char('0'));
        const QString model = i % 2 ? QStringLiteral("-Model=PowerShot G7") : QStringLiteral("-Model=EOS 550D");
        if (!test::makeJpeg(path,
                            {QStringLiteral("-DateTimeOriginal=") + dates[i], QStringLiteral("-CreateDate=") + dates[i],
                             QStringLiteral("-Make=Canon"), model},
                            QColor::fromHsv(30 + i * 50, 120, 200)))
            QTextStream(stderr) << "could not write " << path << " (ExifTool)\n";
        files << path;
    }

    Settings &s = settings();
    s.regle.Regle = QStringLiteral("Rome $dA$-$dM$-$dJ$ ###");
    s.OutilExifChoisi = 1;
    s.DossierDepart = 2;
    s.DossierSpecifique = samples;
    ExifReader &exif = exifReader();
    bindExifReaderToSettings();
    MainController controller(s);
    controller.renameList().setMetadataSource(&exif);
    frmMain window(&controller);
    controller.loadFromSettings();
    window.Form_Load();
    window.setMetadataReader(&exif);
    window.openStartFolder();
    window.resize(1120, 740);
    window.show();
    window.openPaths(files);
    if (auto *tips = window.findChild<QListWidget *>(QStringLiteral("lstAstuce")))
        tips->setCurrentRow(3);
    QTest::qWait(1500);
    bool ok = shoot(&window, out + QStringLiteral("/main-window.png"));

    frmChoixOutilExif choice(&exif, &window);
    ok = shoot(&choice, out + QStringLiteral("/tool-choice.png")) && ok;
    choice.hide();

    frmMemoriseRegle comment(french ? QStringLiteral("Photos de Rome par jour de prise de vue")
                                    : QStringLiteral("Rome photos by the day they were taken"),
                             QStringLiteral("JPG JPEG"), &window);
    ok = shoot(&comment, out + QStringLiteral("/save-rule.png")) && ok;
    comment.hide();

    frmCheckErreur review(&window);
    // The review shows paths as a user's would read.
    const QString shown =
        french ? QStringLiteral("/home/anna/Images/Rome") : QStringLiteral("/home/anna/Pictures/Rome");
    review.setEntries({{shown + QStringLiteral("/DSC_0040.jpg"), shown + QStringLiteral("/Rome 2015-03-06 001.jpg"),
                        renameText("Occupied", "A file outside the batch already has the new name.")},
                       {shown + QStringLiteral("/DSC_0043.jpg"), shown + QStringLiteral("/Rome 2015-03-07 002.jpg"),
                        renameText("SameNewPath", "Another file of the batch gets the same new name.")}},
                      QString());
    review.resize(760, 360);
    ok = shoot(&review, out + QStringLiteral("/review.png")) && ok;
    review.hide();

    frmDependance dependencies(&window);
    dependencies.setHelpHandler([] {}); // as opened from the about box, with its help button
    dependencies.resize(620, 420);
    ok = shoot(&dependencies, out + QStringLiteral("/dependencies.png")) && ok;
    dependencies.hide();

    exif.stopResident();
    return ok ? 0 : 1;
}
