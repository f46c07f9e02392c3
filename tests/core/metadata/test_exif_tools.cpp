// The readers with the real jhead and ExifTool on JPEG files made here, and
// with small scripts standing in for a tool where a test needs one that
// misbehaves or tells which tool ran.

#include "core/base/ProgramFolder.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"

#include "PhotoFactory.h"
#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"
#include "TestGuard.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>

using namespace tav;
using F = MetadataRecord::Field;

namespace {

QTemporaryDir *g_photos = nullptr;

QString photo(const QString &name) {
    return g_photos->filePath(name);
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool processAlive(qint64 pid) {
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

// Polls until cond holds or ms pass; no fixed sleep decides the outcome.
template <class Cond> bool eventually(Cond cond, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(5);
    }
    return true;
}

// The expected values of the reference photo, tool by tool.
void expectReference(const MetadataRecord &r, bool byExifTool) {
    EXPECT_EQ(r[F::CameraMake], "Canon");
    EXPECT_EQ(r[F::CameraModel], "Canon EOS 5D");
    EXPECT_EQ(r[F::DateTime], "2003:02:24 12:34:56");
    const QStringList parts{"2003", "02", "24", "12", "34", "56"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(r[F::Year + i], parts[i]) << "date part " << i;
    }
    EXPECT_EQ(r[F::Comment], "hello world");
    EXPECT_FALSE(r[F::FileSize].isEmpty());
    EXPECT_FALSE(r[F::FileDate].isEmpty());
    EXPECT_FALSE(r[F::ExposureTime].isEmpty());
    EXPECT_FALSE(r[F::FocalLength].isEmpty());
    EXPECT_FALSE(r[F::WhiteBalance].isEmpty());
    EXPECT_FALSE(r[F::MeteringMode].isEmpty());
    if (byExifTool) {
        EXPECT_EQ(r[F::FileName], photo("IMG_1.jpg"));
        EXPECT_EQ(r[F::Resolution], "16 x 12"); // the Exif width and height
        EXPECT_EQ(r[F::Orientation], "Rotate 90 CW");
        EXPECT_EQ(r[F::Aperture], "5.6");
        EXPECT_EQ(r[F::Flash], "Fired");
    } else {
        EXPECT_EQ(r[F::Resolution], "16 x 16"); // jhead measures the picture
        EXPECT_EQ(r[F::Orientation], "rotate 90");
        EXPECT_EQ(r[F::Aperture], "f/5.6");
    }
}

class ExifTools : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        g_photos = new QTemporaryDir;
        ASSERT_TRUE(g_photos->isValid());
        ASSERT_FALSE(test::exiftoolProgram().isEmpty());
        ASSERT_FALSE(test::jheadProgram().isEmpty());
        ASSERT_TRUE(test::makeJpeg(photo("IMG_1.jpg"), test::referenceTags()));
        ASSERT_TRUE(test::makeJpeg(photo("plain.jpg")));
        const QByteArray jpeg = readAll(photo("IMG_1.jpg"));
        for (const char *name :
             {"a.tif", "a.CRW", "a.cr2", "a.jpeg", "a.JPG", "a.jpg", "noext", "with space 'single' \"double\" été.jpg",
              "line\nbreak.jpg", "-dash.jpg", "$x @y #z [w]*.jpg"}) {
            QFile f(photo(QString::fromUtf8(name)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(jpeg);
        }
        QFile text(photo("notimage.jpg"));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("just some text, not a picture\n");
        text.close();
        QFile cut(photo("truncated.jpg"));
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
        cut.write(jpeg.left(jpeg.size() / 3));
    }
    static void TearDownTestSuite() {
        delete g_photos;
        g_photos = nullptr;
    }

protected:
    void SetUp() override {
        ASSERT_TRUE(work.isValid());
        reader = std::make_unique<ExifReader>();
        reader->setTempFolder(work.filePath("tmp"));
        QDir().mkpath(work.filePath("tmp"));
        reader->setModeChangedHandler([this](int m) { modeChanges << m; });
    }
    void TearDown() override { reader.reset(); }

    // A stand-in tool: logs its arguments to <name>.log and prints one line
    // in the layout of the tool it replaces.
    QString fakeTool(const QString &name, const QByteArray &body) {
        const QString path = work.filePath(name);
        EXPECT_TRUE(test::writeScript(path, body));
        return path;
    }
    void useLoggingFakes() {
        reader->setToolPath(ExifReader::Tool::Jhead,
                            fakeTool("jhead", "echo \"$1\" >> \"$0.log\"\necho 'Camera model : FROM-JHEAD'\n"));
        reader->setToolPath(ExifReader::Tool::ExifTool,
                            fakeTool("exiftool", "echo \"$1\" >> \"$0.log\"\n"
                                                 "printf '%-32s: %s\\n' 'Camera Model Name' FROM-EXIFTOOL\n"));
    }
    QStringList logOf(const QString &tool) {
        return QString::fromUtf8(readAll(work.filePath(tool + ".log"))).split('\n', Qt::SkipEmptyParts);
    }
    // Starts the resident mode with tool and a clock that jumps a second at
    // every look, so that each wait for an answer times out at once.
    void startResidentWithRacingClock(const QString &tool) {
        reader->setToolPath(ExifReader::Tool::ExifTool, tool);
        ResidentExifTool::Timings t;
        t.stopGraceMs = 500;
        reader->resident().setTimings(t);
        reader->resident().setClock([this] { return racingClock += 1000; });
        reader->configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
    }

    QTemporaryDir work;
    ScriptedFrontEnd ui;
    std::unique_ptr<ExifReader> reader;
    QList<int> modeChanges;
    qint64 racingClock = 0;
};

} // namespace

TEST_F(ExifTools, EveryFieldByEachReader) {
    reader->setMode(ExifModeJhead);
    expectReference(reader->getExif(photo("IMG_1.jpg")), false);

    ExifReader perFile;
    perFile.setTempFolder(work.filePath("tmp-perfile"));
    perFile.setMode(ExifModeExifTool);
    const MetadataRecord byExifTool = perFile.getExif(photo("IMG_1.jpg"));
    expectReference(byExifTool, true);

    ExifReader resident;
    resident.setTempFolder(work.filePath("tmp2"));
    resident.configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
    ASSERT_TRUE(resident.resident().isRunning());
    // The resident process answers exactly what one run per file prints.
    EXPECT_EQ(resident.getExif(photo("IMG_1.jpg")).fields, byExifTool.fields);
    EXPECT_TRUE(ui.asked.isEmpty());
}

TEST_F(ExifTools, ReaderChoiceByModeAndExtension) {
    useLoggingFakes();
    struct Case {
        int mode;
        const char *file;
        const char *tool; // "" = no tool runs
    } cases[] = {
        {ExifModeNotChosen, "IMG_1.jpg", "jhead"},
        {ExifModeJhead, "IMG_1.jpg", "jhead"},
        {ExifModeJhead, "a.tif", ""},
        {ExifModeJhead, "a.CRW", ""},
        {ExifModeJheadThenExifTool, "a.jpg", "jhead"}, // ExifTool is not tried after jhead
        {ExifModeJheadThenExifTool, "a.cr2", ""},
        {ExifModeJheadThenExifTool, "a.CRW", "exiftool"},
        {ExifModeExifTool, "a.jpeg", "exiftool"},
        {ExifModeExifTool, "a.JPG", "exiftool"},
        {ExifModeExifTool, "noext", ""},
        {7, "IMG_1.jpg", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.file) + " in mode " + std::to_string(c.mode));
        reader->cache().clear();
        QFile::remove(work.filePath("jhead.log"));
        QFile::remove(work.filePath("exiftool.log"));
        reader->setMode(c.mode);
        const MetadataRecord r = reader->getExif(photo(c.file));
        const QString tool = QString::fromLatin1(c.tool);
        EXPECT_EQ(logOf("jhead"), tool == "jhead" ? QStringList{photo(c.file)} : QStringList{});
        EXPECT_EQ(logOf("exiftool"), tool == "exiftool" ? QStringList{photo(c.file)} : QStringList{});
        EXPECT_EQ(r[F::CameraModel], tool.isEmpty() ? QString() : "FROM-" + tool.toUpper());
    }

    // The lists decide, not the defaults.
    reader->cache().clear();
    reader->setMode(ExifModeExifTool);
    reader->setExifToolExtensions("CR2 NEF");
    EXPECT_EQ(reader->getExif(photo("a.cr2"))[F::CameraModel], "FROM-EXIFTOOL");
    EXPECT_TRUE(reader->getExif(photo("a.jpg"))[F::CameraModel].isEmpty());
}

TEST_F(ExifTools, ResidentReaderServesEveryExifToolExtension) {
    reader->configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
    EXPECT_EQ(reader->getExif(photo("a.tif"))[F::CameraModel], "Canon EOS 5D");
    EXPECT_EQ(reader->getExif(photo("a.jpg"))[F::CameraModel], "Canon EOS 5D");
    EXPECT_TRUE(reader->getExif(photo("a.cr2"))[F::CameraModel].isEmpty());
    EXPECT_EQ(reader->resident().requestCounter(), 2);
}

TEST_F(ExifTools, CacheReadsOnceUntilTheUserClearsIt) {
    reader->setMode(ExifModeJhead);
    const QString path = photo("IMG_1.jpg");
    reader->getExif(path);
    reader->getExif(path);
    EXPECT_EQ(reader->toolRuns(), 1);
    EXPECT_EQ(reader->cache().size(), 2);

    ui.answers = {AnswerNo};
    reader->cmdEffacerExif();
    ASSERT_EQ(ui.asked.size(), 1);
    EXPECT_EQ(ui.asked[0].message, i18n::Message(60));
    EXPECT_EQ(ui.asked[0].style, 36);
    EXPECT_EQ(ui.asked[0].title, i18n::Message(1));
    reader->getExif(path);
    EXPECT_EQ(reader->toolRuns(), 1);

    ui.answers = {AnswerYes, AnswerOk};
    reader->cmdEffacerExif();
    ASSERT_EQ(ui.asked.size(), 3);
    EXPECT_EQ(ui.asked[2].message, i18n::Message(61));
    EXPECT_EQ(ui.asked[2].style, 64);
    EXPECT_EQ(reader->cache().size(), 1);
    EXPECT_EQ(reader->getExif(path)[F::CameraModel], "Canon EOS 5D");
    EXPECT_EQ(reader->toolRuns(), 2);

    // A cached record is the answer even once the file has changed.
    ASSERT_TRUE(test::makeJpeg(work.filePath("changing.jpg"), {"-Make=Maker", "-Model=First"}));
    EXPECT_EQ(reader->getExif(work.filePath("changing.jpg"))[F::CameraModel], "First");
    ASSERT_TRUE(test::makeJpeg(work.filePath("changing.jpg"), {"-Make=Maker", "-Model=Second"}));
    EXPECT_EQ(reader->getExif(work.filePath("changing.jpg"))[F::CameraModel], "First");
}

TEST_F(ExifTools, MissingToolOrFileGivesEmptyRecordsAndNoCacheEntry) {
    reader->setToolPath(ExifReader::Tool::Jhead, work.filePath("no-such-jhead"));
    reader->setToolPath(ExifReader::Tool::ExifTool, work.filePath("no-such-exiftool"));
    for (int mode : {ExifModeJhead, ExifModeJheadThenExifTool, ExifModeExifTool, ExifModeExifToolBatch}) {
        reader->configure(mode, DefaultJheadExtensions, DefaultExifToolExtensions);
        EXPECT_TRUE(reader->getExif(photo("IMG_1.jpg")).isEmpty()) << mode;
        EXPECT_TRUE(reader->getExif(photo("a.CRW")).isEmpty()) << mode;
    }
    EXPECT_EQ(reader->mode(), ExifModeExifToolBatch); // a missing tool does not change the mode
    EXPECT_EQ(reader->cache().size(), 1);
    EXPECT_EQ(ui.asked.size(), 2); // each missing tool told once

    // Once the tool is there, the next call reads.
    reader->setToolPath(ExifReader::Tool::Jhead, test::jheadProgram());
    reader->configure(ExifModeJhead, DefaultJheadExtensions, DefaultExifToolExtensions);
    EXPECT_EQ(reader->getExif(photo("IMG_1.jpg"))[F::CameraModel], "Canon EOS 5D");
    EXPECT_TRUE(reader->getExif(photo("does-not-exist.jpg")).isEmpty());
    EXPECT_EQ(reader->cache().size(), 2);
}

TEST_F(ExifTools, ToolMissingFromPathIsToldOnceWithItsPackage) {
    // Neither the program folder's bin/ nor PATH holds a tool.
    tav::test::TestGuard guard;
    const QByteArray previousPath = qgetenv("PATH");
    guard.programFolder(work.path());
    QDir().mkpath(work.filePath("emptybin"));
    qputenv("PATH", work.filePath("emptybin").toLocal8Bit());

    reader->configure(ExifModeJhead, DefaultJheadExtensions, DefaultExifToolExtensions);
    EXPECT_EQ(reader->missingTools(), QList<ExifReader::Tool>{ExifReader::Tool::Jhead});
    EXPECT_TRUE(reader->missingToolsText().contains("jhead"));
    EXPECT_TRUE(ui.asked.isEmpty()); // asking is not telling
    EXPECT_TRUE(reader->getExif(photo("IMG_1.jpg")).isEmpty());
    EXPECT_TRUE(reader->getExif(photo("a.jpg")).isEmpty());
    ASSERT_EQ(ui.asked.size(), 1);
    EXPECT_EQ(ui.asked[0].message, Exif::toolMissingText(ExifReader::Tool::Jhead));
    EXPECT_TRUE(ui.asked[0].message.contains("jhead"));
    EXPECT_EQ(ui.asked[0].style, StyleExclamation);

    // The batch mode without ExifTool says so too, naming its package.
    reader->configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
    EXPECT_TRUE(reader->missingToolsText().contains("libimage-exiftool-perl"));
    EXPECT_TRUE(reader->getExif(photo("a.CRW")).isEmpty());
    EXPECT_TRUE(reader->getExif(photo("a.tif")).isEmpty());
    ASSERT_EQ(ui.asked.size(), 2);
    EXPECT_TRUE(ui.asked[1].message.contains("ExifTool"));
    EXPECT_TRUE(ui.asked[1].message.contains("libimage-exiftool-perl"));

    // Once the tool is on PATH again, nothing is missing.
    qputenv("PATH", previousPath);
    reader->configure(ExifModeJhead, DefaultJheadExtensions, DefaultExifToolExtensions);
    EXPECT_TRUE(reader->missingTools().isEmpty());
    EXPECT_TRUE(reader->missingToolsText().isEmpty());
}

TEST_F(ExifTools, ValueLabelsAreBlankedThenShown) {
    struct LabelLog : ScriptedFrontEnd {
        QStringList shown;
        void showMetadataLabel(int index, const QString &text) override {
            shown << QString::number(index) + ":" + text;
        }
    } log;
    reader->setMode(ExifModeJhead);
    reader->getExif(photo("IMG_1.jpg"));
    ASSERT_EQ(log.shown.size(), 12);
    EXPECT_EQ(log.shown.mid(0, 6), (QStringList{"0:$d$=", "1:$T$=", "2:$R$=", "3:$O$=", "4:$K$=", "5:$C$="}));
    EXPECT_EQ(log.shown[6], "0:$d$=2003:02:24 12:34:56");
    EXPECT_TRUE(log.shown[7].startsWith("1:$T$=") && log.shown[7].endsWith(" bytes"));
    EXPECT_EQ(log.shown.mid(8),
              (QStringList{"2:$R$=16 x 16", "3:$O$=rotate 90", "4:$K$=Canon EOS 5D", "5:$C$=hello world"}));
    log.shown.clear();
    reader->getExif(photo("plain.jpg"));
    EXPECT_EQ(log.shown.mid(6, 1), QStringList{"0:$d$="});
}

TEST_F(ExifTools, AwkwardNamesReachEveryReader) {
    const QStringList names{"with space 'single' \"double\" été.jpg", "line\nbreak.jpg", "-dash.jpg",
                            "$x @y #z [w]*.jpg"};
    reader->configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
    // Each reader has its own folder: the report names are fixed.
    ExifReader jhead, perFile;
    jhead.setTempFolder(work.filePath("tmp-jhead"));
    perFile.setTempFolder(work.filePath("tmp-perfile"));
    jhead.setMode(ExifModeJhead);
    perFile.setMode(ExifModeExifTool);
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(jhead.getExif(photo(name))[F::CameraModel], "Canon EOS 5D");
        EXPECT_EQ(perFile.getExif(photo(name))[F::CameraModel], "Canon EOS 5D");
        const MetadataRecord r = reader->getExif(photo(name));
        EXPECT_EQ(r[F::CameraModel], "Canon EOS 5D");
        EXPECT_EQ(r[F::Year], "2003");
    }
    EXPECT_TRUE(ui.asked.isEmpty());
}

TEST_F(ExifTools, FilesThatAreNotPicturesGiveEmptyOrPartialRecords) {
    reader->configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
    // Each reader has its own folder: the report names are fixed.
    ExifReader jhead, perFile;
    jhead.setTempFolder(work.filePath("tmp-jhead"));
    perFile.setTempFolder(work.filePath("tmp-perfile"));
    jhead.setMode(ExifModeJhead);
    perFile.setMode(ExifModeExifTool);
    for (ExifReader *r : {&jhead, &perFile, reader.get()}) {
        const MetadataRecord text = r->getExif(photo("notimage.jpg"));
        EXPECT_TRUE(text[F::CameraModel].isEmpty());
        EXPECT_TRUE(text[F::Year].isEmpty());
        // A cut file may still hold its metadata block; whatever is read is the file's own.
        const MetadataRecord cut = r->getExif(photo("truncated.jpg"));
        EXPECT_TRUE(cut[F::Year].isEmpty() || cut[F::Year] == "2003");
        // The next good file still reads correctly: nothing of the bad answers is left over.
        r->cache().clear();
        EXPECT_EQ(r->getExif(photo("a.jpg"))[F::CameraModel], "Canon EOS 5D");
    }
    EXPECT_TRUE(ui.asked.isEmpty());
    EXPECT_EQ(reader->mode(), ExifModeExifToolBatch);
}

// ---- the resident process ----

TEST_F(ExifTools, ResidentRequestsAreAppendedAndReadFromThePreviousLength) {
    reader->configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
    ResidentExifTool &res = reader->resident();
    ASSERT_TRUE(res.isRunning());
    EXPECT_EQ(readAll(res.argumentFilePath()), QByteArray());

    reader->getExif(photo("IMG_1.jpg"));
    EXPECT_EQ(readAll(res.argumentFilePath()), QFile::encodeName(photo("IMG_1.jpg")) + "\n-execute0\n");
    EXPECT_EQ(res.lastReportLength(), QFileInfo(res.reportPath()).size());

    EXPECT_EQ(reader->getExif(photo("a.jpg"))[F::FileName], photo("a.jpg"));
    EXPECT_TRUE(readAll(res.argumentFilePath()).endsWith(QFile::encodeName(photo("a.jpg")) + "\n-execute1\n"));
    EXPECT_EQ(res.lastReportLength(), QFileInfo(res.reportPath()).size());
    EXPECT_EQ(res.requestCounter(), 2);

    const qint64 pid = res.processId();
    ASSERT_TRUE(processAlive(pid));
    reader->stopResident();
    EXPECT_FALSE(res.isRunning());
    EXPECT_EQ(res.lastReportLength(), 0);
    EXPECT_TRUE(readAll(res.argumentFilePath()).endsWith("-stay_open\nfalse\n"));
    EXPECT_TRUE(eventually([&] { return !processAlive(pid); }));
    // Not running: reads give empty records and cache nothing.
    EXPECT_TRUE(reader->getExif(photo("a.tif")).isEmpty());
    EXPECT_EQ(reader->cache().size(), 3);
}

TEST_F(ExifTools, ResidentRestartsAfterTheRequestLimit) {
    ResidentExifTool::Timings t;
    t.restartAfter = 3;
    reader->resident().setTimings(t);
    reader->configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
    ResidentExifTool &res = reader->resident();
    const qint64 firstPid = res.processId();
    const QStringList files{"IMG_1.jpg", "a.jpg", "a.JPG", "a.jpeg"};
    for (int i = 0; i < 3; ++i)
        reader->getExif(photo(files[i]));
    EXPECT_EQ(res.requestCounter(), 3);
    EXPECT_EQ(res.processId(), firstPid);

    // The fourth request (number 3) takes the counter past the limit: restart after the call.
    EXPECT_EQ(reader->getExif(photo(files[3]))[F::CameraModel], "Canon EOS 5D");
    EXPECT_EQ(res.requestCounter(), 1);
    EXPECT_NE(res.processId(), firstPid);
    EXPECT_TRUE(eventually([&] { return !processAlive(firstPid); }));
    EXPECT_EQ(readAll(res.argumentFilePath()), QByteArray());

    reader->cache().clear();
    expectReference(reader->getExif(photo("IMG_1.jpg")), true);
    EXPECT_EQ(readAll(res.argumentFilePath()), QFile::encodeName(photo("IMG_1.jpg")) + "\n-execute1\n");
}

TEST_F(ExifTools, ToolThatNeverAnswersIsRestartedThenGivenUp) {
    // Never answers in resident mode; one run per file prints a report.
    const QString tool =
        fakeTool("exiftool", "if [ \"$1\" = -stay_open ]; then echo $$ >> \"$0.pids\"; exec sleep 600; fi\n"
                             "printf '%-32s: %s\\n' 'Camera Model Name' PER-FILE\n");
    startResidentWithRacingClock(tool);
    ASSERT_TRUE(reader->resident().isRunning());

    const MetadataRecord r = reader->getExif(photo("IMG_1.jpg"));
    EXPECT_EQ(reader->resident().restarts(), 1);
    EXPECT_FALSE(reader->resident().isRunning());
    ASSERT_EQ(ui.asked.size(), 1);
    EXPECT_EQ(ui.asked[0].message, Exif::residentStartFailureText());
    EXPECT_EQ(ui.asked[0].style, 0);
    EXPECT_EQ(ui.asked[0].title, i18n::Message(1));
    EXPECT_EQ(reader->mode(), ExifModeExifTool);
    EXPECT_EQ(modeChanges, QList<int>{ExifModeExifTool});
    // The same file is then read by one run per file.
    EXPECT_EQ(r[F::CameraModel], "PER-FILE");

    // Both resident processes are gone.
    const QStringList pids = QString::fromLatin1(readAll(tool + ".pids")).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(pids.size(), 2);
    for (const QString &pid : pids) {
        EXPECT_TRUE(eventually([&] { return !processAlive(pid.toLongLong()); })) << pid.toStdString();
    }
}

TEST_F(ExifTools, ToolThatHangsOnceIsRestartedAndAnswersTheSameRequest) {
    const QString marker = work.filePath("hung-once");
    const QString tool =
        fakeTool("exiftool", "if [ ! -e '" + marker.toUtf8() + "' ]; then touch '" + marker.toUtf8() +
                                 "'; exec sleep 600; fi\nexec " + test::exiftoolProgram().toUtf8() + " \"$@\"\n");
    reader->setToolPath(ExifReader::Tool::ExifTool, tool);
    ResidentExifTool::Timings t;
    t.stopGraceMs = 500;
    reader->resident().setTimings(t);
    // Time races while the hanging process is the one asked, and runs normally after.
    qint64 fake = 0;
    QElapsedTimer real;
    ExifReader *r = reader.get();
    reader->resident().setClock([&] {
        if (r->resident().restarts() == 0)
            return fake += 1000;
        if (!real.isValid())
            real.start();
        return fake + real.elapsed();
    });
    reader->configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
    expectReference(reader->getExif(photo("IMG_1.jpg")), true);
    EXPECT_EQ(reader->resident().restarts(), 1);
    EXPECT_EQ(reader->mode(), ExifModeExifToolBatch);
    EXPECT_TRUE(ui.asked.isEmpty());
    // The retry went to the new process as the first line of a fresh argument file.
    EXPECT_EQ(readAll(reader->resident().argumentFilePath()), QFile::encodeName(photo("IMG_1.jpg")) + "\n-execute1\n");
}

TEST_F(ExifTools, RestartThatCannotStartTheToolForcesOneRunPerFile) {
    const QByteArray perFile = "printf '%-32s: %s\\n' 'Camera Model Name' PER-FILE\n";
    {
        SCOPED_TRACE("restart after a time-out");
        // The first resident process makes the tool unusable and never answers.
        const QString tool = fakeTool("exiftool-hang", "if [ \"$1\" = -stay_open ]; then chmod a-x \"$0\"; "
                                                       "exec sleep 600; fi\n" +
                                                           perFile);
        startResidentWithRacingClock(tool);
        ASSERT_TRUE(reader->resident().isRunning());

        EXPECT_TRUE(reader->getExif(photo("IMG_1.jpg")).isEmpty());
        EXPECT_EQ(reader->resident().restarts(), 1);
        EXPECT_FALSE(reader->resident().isRunning());
        ASSERT_EQ(ui.asked.size(), 1);
        EXPECT_EQ(ui.asked[0].message, Exif::residentStartFailureText());
        EXPECT_EQ(reader->mode(), ExifModeExifTool);
        EXPECT_EQ(modeChanges, QList<int>{ExifModeExifTool});
        EXPECT_EQ(reader->cache().size(), 1);

        // Read file by file from now on.
        ASSERT_TRUE(QFile::setPermissions(tool, QFile::permissions(tool) | QFile::ExeOwner));
        EXPECT_EQ(reader->getExif(photo("IMG_1.jpg"))[F::CameraModel], "PER-FILE");
    }
    {
        SCOPED_TRACE("restart after the request limit");
        ui.asked.clear();
        modeChanges.clear();
        reader = std::make_unique<ExifReader>();
        reader->setTempFolder(work.filePath("tmp-limit"));
        reader->setModeChangedHandler([this](int m) { modeChanges << m; });
        const QString tool = fakeTool("exiftool-once", "if [ \"$1\" = -stay_open ]; then chmod a-x \"$0\"; fi\nexec " +
                                                           test::exiftoolProgram().toUtf8() + " \"$@\"\n");
        reader->setToolPath(ExifReader::Tool::ExifTool, tool);
        ResidentExifTool::Timings t;
        t.restartAfter = 0;
        reader->resident().setTimings(t);
        reader->configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
        ASSERT_TRUE(reader->resident().isRunning());

        // The answer is kept; the failed restart after it ends the batch mode.
        EXPECT_EQ(reader->getExif(photo("IMG_1.jpg"))[F::CameraModel], "Canon EOS 5D");
        EXPECT_FALSE(reader->resident().isRunning());
        ASSERT_EQ(ui.asked.size(), 1);
        EXPECT_EQ(ui.asked[0].message, Exif::residentStartFailureText());
        EXPECT_EQ(ui.asked[0].title, i18n::Message(1));
        EXPECT_EQ(reader->mode(), ExifModeExifTool);
        EXPECT_EQ(modeChanges, QList<int>{ExifModeExifTool});
        EXPECT_EQ(reader->cache().size(), 2);
    }
}

TEST_F(ExifTools, FailedStartForcesOneRunPerFile) {
    const QString notExecutable = work.filePath("exiftool-not-executable");
    QFile f(notExecutable);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a program");
    f.close();
    reader->setToolPath(ExifReader::Tool::ExifTool, notExecutable);
    reader->configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
    EXPECT_FALSE(reader->resident().isRunning());
    EXPECT_EQ(reader->mode(), ExifModeExifTool);
    EXPECT_EQ(modeChanges, QList<int>{ExifModeExifTool});
    ASSERT_EQ(ui.asked.size(), 1);
    EXPECT_EQ(ui.asked[0].message, "Erreur au lancement de ExifTool pour le traitement par lot\r\n"
                                   "L'utilisation de exifTool en mode standard est forcée");
    EXPECT_EQ(ui.asked[0].style, 0);
}

TEST_F(ExifTools, ChoosingAToolSetsTheModeAndRunsTheResidentProcessOnlyForTheBatchMode) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, work.filePath("store"));
    reader->configure(ExifModeJhead, DefaultJheadExtensions, DefaultExifToolExtensions);
    EXPECT_EQ(reader->chooseTool(i18n::Message(76)), ExifModeExifToolBatch);
    ASSERT_TRUE(reader->resident().isRunning());
    const qint64 pid = reader->resident().processId();
    EXPECT_EQ(reader->getExif(photo("a.tif"))[F::CameraModel], "Canon EOS 5D");

    EXPECT_EQ(reader->chooseTool(i18n::Message(78)), ExifModeJheadThenExifTool);
    EXPECT_FALSE(reader->resident().isRunning());
    EXPECT_TRUE(eventually([&] { return !processAlive(pid); }));
    EXPECT_EQ(reader->chooseTool(i18n::Message(75)), ExifModeExifTool);
    EXPECT_EQ(reader->chooseTool("something else"), ExifModeExifTool);
    EXPECT_EQ(reader->chooseTool(i18n::Message(74)), ExifModeJhead);
    EXPECT_EQ(modeChanges, (QList<int>{4, 2, 3, 1}));
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Travoline", "Travoline");
    EXPECT_EQ(store.value("Options/GLOutilExifChoisi").toString(), "1");

    EXPECT_EQ(Exif::toolInUseText(0), i18n::Message(80) + " " + i18n::Message(74));
    EXPECT_EQ(Exif::toolInUseText(2), i18n::Message(80) + " " + i18n::Message(78));
    EXPECT_EQ(Exif::toolInUseText(3), i18n::Message(80) + " " + i18n::Message(75));
    EXPECT_EQ(Exif::toolInUseText(4), i18n::Message(80) + " " + i18n::Message(76));
}

TEST_F(ExifTools, SettingsRecordDrivesTheReader) {
    useLoggingFakes();
    Settings s;
    s.OutilExifChoisi = ExifModeExifTool;
    s.ExtensionTraiteAvecEXIFTOOL = "TIF";
    reader->bindSettings(&s);
    EXPECT_EQ(reader->getExif(photo("a.tif"))[F::CameraModel], "FROM-EXIFTOOL");
    EXPECT_TRUE(reader->getExif(photo("a.jpg")).isEmpty());
    // Changes to the record (the options dialog) apply to the next read.
    s.OutilExifChoisi = ExifModeJhead;
    EXPECT_EQ(reader->getExif(photo("a.jpg"))[F::CameraModel], "FROM-JHEAD");

    // A mode the reader changes itself goes back into the record.
    const QString notExecutable = work.filePath("exiftool-not-executable");
    QFile f(notExecutable);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    reader->setToolPath(ExifReader::Tool::ExifTool, notExecutable);
    s.OutilExifChoisi = ExifModeExifToolBatch;
    reader->startResident();
    EXPECT_EQ(s.OutilExifChoisi, ExifModeExifTool);
    EXPECT_EQ(modeChanges, QList<int>{ExifModeExifTool});
}

TEST_F(ExifTools, StartUpAfterReadingTheBatchModeStartsTheResidentProcess) {
    const QString ini = work.filePath("Travoline.ini");
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\nVersionCourante=1.12.2\n[Option]\nOption_OutilExifChoisi=4\n"
            "Option_ExtensionTraiteAvecEXIFTOOL=TIF\n");
    f.close();
    bindExifReaderToSettings();
    exifReader().setTempFolder(work.filePath("global"));
    ASSERT_TRUE(modIniFile::ReadIniFile(settings(), ini));
    EXPECT_EQ(exifReader().mode(), ExifModeExifToolBatch);
    // Reading only reads: start-up starts the process.
    EXPECT_FALSE(exifReader().resident().isRunning());
    startChosenExifTool(settings());
    ASSERT_TRUE(exifReader().resident().isRunning());
    const qint64 pid = exifReader().resident().processId();
    EXPECT_EQ(exifReader().getExif(photo("a.tif"))[F::CameraModel], "Canon EOS 5D");
    EXPECT_TRUE(exifReader().getExif(photo("a.jpg")).isEmpty());
    exifReader().stopResident();
    EXPECT_TRUE(eventually([&] { return !processAlive(pid); }));
    exifReader().bindSettings(nullptr);
}

// ---- the resident process never outlives the program ----

// Run only as a child of the test below: starts the resident ExifTool, writes
// its process id, and waits to be killed.
TEST(ResidentChild, DISABLED_HoldResidentUntilKilled) {
    const QString folder = qEnvironmentVariable("TAV_RESIDENT_CHILD_FOLDER");
    if (folder.isEmpty())
        GTEST_SKIP();
    ExifReader reader;
    reader.setTempFolder(folder);
    reader.configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
    QFile pid(folder + "/pid");
    ASSERT_TRUE(pid.open(QIODevice::WriteOnly));
    pid.write(QByteArray::number(reader.resident().processId()));
    pid.close();
    for (;;)
        QThread::sleep(1);
}

TEST(ResidentLifetime, EndsWhenTheProgramIsKilled) {
    QTemporaryDir folder;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TAV_RESIDENT_CHILD_FOLDER", folder.path());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", "--gtest_filter=ResidentChild.DISABLED_HoldResidentUntilKilled"});
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(eventually([&] { return QFileInfo(folder.filePath("pid")).size() > 0; }, 20000));
    const qint64 pid = readAll(folder.filePath("pid")).toLongLong();
    ASSERT_TRUE(processAlive(pid));
    ::kill(pid_t(child.processId()), SIGKILL);
    child.waitForFinished();
    EXPECT_TRUE(eventually([&] { return !processAlive(pid); }));
}
