// System information of liborvalib.so through the program's binding: the
// system's name, library versions, the login name, process memory and the
// screen; and the pure parts on their own records.

#include "QtPrinters.h"
#include "core/base/Version.h"
#include "core/base/mTavCommon.h"
#include "orvalib/SystemInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gnu/libc-version.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

using namespace mTavCommon;

namespace {

qint64 residentOf(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).simplified().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return file.fileName();
}

} // namespace

TEST(OrvalibSystemNames, KnownWindowsVersionsKeepTheirFixedNames) {
    using orva::VersionRecord;
    EXPECT_EQ(orva::windowsVersionName(VersionRecord{2, 6, 2, 9200, 0, 0}), "Windows 8");
    EXPECT_EQ(orva::windowsVersionName(VersionRecord{2, 6, 1, 7601, 1, 0}), "Windows Seven");
    EXPECT_EQ(orva::windowsVersionName(VersionRecord{2, 5, 1, 2600, 3, 0}), "Windows XP");
    EXPECT_EQ(orva::windowsVersionName(VersionRecord{2, 4, 7, 1381, 0, 0}), "Windows NT 4.0");
    EXPECT_EQ(orva::windowsVersionName(VersionRecord{1, 4, 90, 3000, 0, 0}), "Windows Millenium");
    EXPECT_EQ(orva::windowsVersionName(VersionRecord{1, 4, 10, 1998, 0, 0}), "Windows 98");
    EXPECT_EQ(orva::windowsVersionName(VersionRecord{1, 4, 0, 950, 0, 0}), "Windows 95");
    // Anything else keeps the generic name, with the service pack when there is one.
    EXPECT_EQ(orva::windowsVersionName(VersionRecord{2, 10, 0, 100, 0, 0}), "Windows 2.10.0 b100");
    EXPECT_EQ(orva::windowsVersionName(VersionRecord{2, 10, 0, 100, 0, 0}).size(), 19);
    EXPECT_EQ(orva::windowsVersionName(VersionRecord{2, 6, 3, 9600, 2, 1}), "Windows 2.6.3 b9600 Service Pack 2.1");
    EXPECT_EQ(orva::windowsVersionName(VersionRecord{1, 4, 20, 40000, 0, 0}), "Windows 1.4.20 b40000");
}

TEST(OrvalibSystemNames, DistributionNameComesFromTheOsReleaseRecords) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString debian = writeFile(dir, "debian",
                                     "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                                     "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\nID=debian\n");
    const QString nameOnly =
        writeFile(dir, "nameonly", "# comment\nNAME='Some \"Linux\"'\nVERSION=\"3 \\\"beta\\\"\"\n");
    const QString bare = writeFile(dir, "bare", "ID=minimal\n");
    const QString empty = writeFile(dir, "empty", "");

    EXPECT_EQ(orva::osReleaseNameFromFiles({debian}), "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(orva::osReleaseNameFromFiles({nameOnly}), "Some \"Linux\" 3 \"beta\"");
    EXPECT_EQ(orva::osReleaseNameFromFiles({bare}), "Linux");
    EXPECT_EQ(orva::osReleaseNameFromFiles({empty, debian}), "Linux") << "the first readable file decides";
    EXPECT_EQ(orva::osReleaseNameFromFiles({dir.filePath("missing"), debian}), "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(orva::osReleaseNameFromFiles({dir.filePath("missing")}), "Linux");
}

TEST(OrvalibSystemNames, VersionsFromFileNamesAndMachines) {
    EXPECT_EQ(orva::versionFromFileName("libQt6Core.so.6.4.2"), "6.4.2");
    EXPECT_EQ(orva::versionFromFileName("libstdc++.so.6.0.40000"), "6.0.40000");
    EXPECT_EQ(orva::versionFromFileName("libfoo.so"), "");
    EXPECT_EQ(orva::versionFromFileName("libfoo.so.6.x"), "");
    EXPECT_EQ(orva::versionFromFileName("notes.so.txt"), "");

    EXPECT_TRUE(orva::is32BitOn64BitMachine(32, "x86_64"));
    EXPECT_FALSE(orva::is32BitOn64BitMachine(64, "x86_64"));
    EXPECT_FALSE(orva::is32BitOn64BitMachine(32, "i686"));
}

TEST(OrvalibSystem, SystemNameIsTheDistributionAndTheKernel) {
    int platformId = 0;
    QString name;
    const int length = TavGetWindowsVersion(platformId, name);
    EXPECT_EQ(platformId, 2);
    EXPECT_EQ(length, name.size());
    utsname system{};
    ASSERT_EQ(uname(&system), 0);
    EXPECT_TRUE(name.endsWith(QStringLiteral(", Linux ") + QString::fromLocal8Bit(system.release))) << qPrintable(name);
    const QString release =
        orva::osReleaseNameFromFiles({QStringLiteral("/etc/os-release"), QStringLiteral("/usr/lib/os-release")});
    EXPECT_TRUE(name.startsWith(release)) << qPrintable(name);
    EXPECT_EQ(TavIs64bits(), sizeof(void *) == 4 && QString(system.machine) == "x86_64" ? 1 : 0);
}

TEST(OrvalibSystem, LibraryVersionsAreReadFromTheFilesTheLoaderFinds) {
    // The program's own library, in the program's folder: its ELF version.
    EXPECT_EQ(TavGetVersionInformation("liborvalib.so"), QString::fromLatin1(tav::VersionText));
    EXPECT_EQ(TavGetVersionInformation("libhovrix.so"), QString::fromLatin1(tav::VersionText));
    // Qt: the real file behind the library's link names the version that runs here.
    EXPECT_EQ(TavGetVersionInformation("libQt6Core.so.6"), QString::fromLatin1(qVersion()));
    EXPECT_EQ(TavGetVersionInformation(" libQt6Core.so "), QString::fromLatin1(qVersion()));
    // The C library's file name carries no version: its ELF version definitions do.
    EXPECT_EQ(TavGetVersionInformation("libc.so.6"), QString::fromLatin1(gnu_get_libc_version()));

    EXPECT_EQ(TavGetVersionInformation("libnowhere-travoline.so.3"), "Fichier inconnu");
    EXPECT_EQ(TavGetVersionInformation(""), "Fichier inconnu");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(TavGetVersionInformation(writeFile(dir, "libtext.so", "not a library\n")), "Version Inconnue");
    EXPECT_EQ(TavGetVersionInformation(dir.filePath("libabsent.so")), "Fichier inconnu");
    EXPECT_EQ(TavGetVersionInformation(writeFile(dir, "libtext.so.2.7", "not a library\n")), "2.7");
    EXPECT_EQ(TavGetVersionInformation(writeFile(dir, "libtext.so.4", "not a library\n")), "4");
}

TEST(OrvalibSystem, UserNameIsTheLoginName) {
    const passwd *pw = getpwuid(geteuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(TavGetUsername(), QString::fromLocal8Bit(pw->pw_name));
}

TEST(OrvalibSystem, ProcessMemoryOfThisTestAndOfTheLastOfTwoCopies) {
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    // Other runs of this test program (a parallel ctest) may start meanwhile and
    // be the last one listed: the figure is checked only when this run was the
    // last copy before and after the call.
    const auto lastCopy = [] {
        qint64 last = 0;
        for (const QString &pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (QFile::symLinkTarget("/proc/" + pid + "/exe") == QCoreApplication::applicationFilePath())
                last = std::max(last, pid.toLongLong());
        return last;
    };
    const qint64 before = lastCopy();
    const int bytes = TavGetProcesses(QStringLiteral(" ") + self.toUpper() + QStringLiteral(" "));
    const qint64 rss = residentOf(QCoreApplication::applicationPid());
    EXPECT_GT(bytes, 0);
    if (before == QCoreApplication::applicationPid() && lastCopy() == before) {
        EXPECT_GT(bytes, 1024 * 1024);
        EXPECT_NEAR(double(bytes), double(rss), double(rss) * 0.2);
    }
    EXPECT_EQ(TavGetProcesses("no-such-program-travoline"), 0);
    EXPECT_EQ(TavGetProcesses("   "), 0);

    // Two copies of one program under a name nothing else has.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = QStringLiteral("tavsleep%1").arg(QCoreApplication::applicationPid());
    const QString copy = dir.filePath(name);
    ASSERT_TRUE(QFile::copy("/bin/sleep", copy));
    QProcess first, second;
    first.start(copy, {"30"});
    ASSERT_TRUE(first.waitForStarted());
    second.start(copy, {"30"});
    ASSERT_TRUE(second.waitForStarted());
    QThread::msleep(200);
    const qint64 last = std::max(first.processId(), second.processId());
    EXPECT_EQ(TavGetProcesses(name), residentOf(last));
    EXPECT_GT(TavGetProcesses(name), 0);
    first.kill();
    second.kill();
    first.waitForFinished();
    second.waitForFinished();
    EXPECT_EQ(TavGetProcesses(name), 0) << "gone once they end";
}

TEST(OrvalibSystem, ScreenSizeIsTheDisplaysOrZeroWithoutOne) {
    const QByteArray saved = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    EXPECT_EQ(TavGetScreenWidth(), 0);
    EXPECT_EQ(TavGetScreenHeight(), 0);

    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (!xvfb.isEmpty()) {
        // A virtual display of a known size; it writes its number once ready,
        // and does not reset between the two calls.
        QProcess server;
        server.start(xvfb, {"-displayfd", "1", "-noreset", "-screen", "0", "1024x600x24", "-nolisten", "tcp"});
        ASSERT_TRUE(server.waitForStarted());
        QByteArray number;
        for (int i = 0; i < 100 && !number.contains('\n'); ++i) {
            server.waitForReadyRead(100);
            number += server.readAllStandardOutput();
        }
        ASSERT_FALSE(number.trimmed().isEmpty());
        qputenv("DISPLAY", ":" + number.trimmed());
        EXPECT_EQ(TavGetScreenWidth(), 1024);
        EXPECT_EQ(TavGetScreenHeight(), 600);
        server.terminate();
        server.waitForFinished();
    }
    if (saved.isNull())
        qunsetenv("DISPLAY");
    else
        qputenv("DISPLAY", saved);
}
