// Opening addresses with the desktop's program, through the program's
// binding. A fake xdg-open first on PATH records each call's arguments in a
// file of its own, so what the real one would have been given is seen
// byte for byte.

#include "QtPrinters.h"
#include "WaitFor.h"
#include "core/base/mTavCommon.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace mTavCommon;

namespace {

struct Opener : ::testing::Test {
    QTemporaryDir temp;
    QByteArray savedPath = qgetenv("PATH");

    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        ASSERT_TRUE(QDir().mkpath(temp.filePath("bin")));
        ASSERT_TRUE(QDir().mkpath(temp.filePath("calls")));
        QFile script(temp.filePath("bin/xdg-open"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"
                     "f=$(mktemp \"" +
                     QFile::encodeName(temp.filePath("calls")) +
                     "/.call.XXXXXX\")\n"
                     "printf '%s\\0' \"$@\" > \"$f\"\n"
                     "mv \"$f\" \"$f.done\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", QFile::encodeName(temp.filePath("bin")) + ":" + savedPath);
    }
    void TearDown() override { qputenv("PATH", savedPath); }

    QStringList callFiles() const {
        return QDir(temp.filePath("calls")).entryList({"*.done"}, QDir::Files | QDir::Hidden);
    }

    // The arguments of each finished call, after waiting for count calls.
    QList<QStringList> calls(int count) {
        EXPECT_TRUE(tav::test::waitFor([&] { return callFiles().size() >= count; }));
        QList<QStringList> result;
        for (const QString &name : callFiles()) {
            QFile file(temp.filePath("calls/" + name));
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            QStringList arguments;
            for (const QByteArray &argument : file.readAll().split('\0'))
                arguments << QString::fromUtf8(argument);
            arguments.removeLast(); // after the last NUL
            result << arguments;
        }
        return result;
    }
};

} // namespace

TEST_F(Opener, TheAddressArrivesAsOneArgumentExactlyAsGiven) {
    const QString hostile = "https://example.org/a b/é?q=\"x\" 'y'&z=1;rm -rf " + temp.filePath("calls") +
                            "; $(touch " + temp.filePath("pwned") + ") `id` | cat";
    EXPECT_GT(TavOpenUrl(hostile), 32);
    EXPECT_EQ(calls(1), QList<QStringList>({{hostile}}));
    EXPECT_FALSE(QFile::exists(temp.filePath("pwned")));
}

TEST_F(Opener, MailAddressesArriveWithTheirSubject) {
    const QString mail = "Mailto:someone@example.org?subject=Travoline v1.12.2";
    EXPECT_GT(TavOpenMail(mail), 32);
    ASSERT_EQ(calls(1), QList<QStringList>({{mail}}));
    // A bare address becomes a mail address.
    EXPECT_GT(TavOpenMail("a.b@example.org"), 32);
    const QList<QStringList> both = calls(2);
    EXPECT_TRUE(both.contains(QStringList{"mailto:a.b@example.org"}));
}

TEST_F(Opener, TextsThatAreNoAddressStartNothing) {
    for (const QString &text :
         QStringList{"", "-h", "--version", "javascript:alert(1)", "ftp://example.org/x", "example.org", "https://",
                     "http:///etc/passwd", "https://a.org/\nb", "mailto:x@example.org", "/etc/passwd"})
        EXPECT_EQ(TavOpenUrl(text), 2) << text.toStdString();
    for (const QString &text :
         QStringList{"", "-h", "mailto:", "mailto:nobody", "x@", "@example.org", "mailto:a b@example.org",
                     "https://example.org", "a@b@c", "mailto:x@example.org\r\nBcc: y@example.org"})
        EXPECT_EQ(TavOpenMail(text), 2) << text.toStdString();
    // One address that is accepted: once it has arrived, a wrongly started
    // call would have had its time to arrive too.
    EXPECT_GT(TavOpenUrl("file:///tmp/manual.html#12"), 32);
    ASSERT_EQ(calls(1).size(), 1);
    QThread::msleep(200);
    EXPECT_EQ(calls(1), QList<QStringList>({{"file:///tmp/manual.html#12"}}));
}

TEST_F(Opener, WithoutXdgOpenTheCallFailsWithTheShellsNumber) {
    qputenv("PATH", QFile::encodeName(temp.filePath("calls")));
    EXPECT_EQ(TavOpenUrl("https://example.org/"), 31);
    EXPECT_EQ(TavOpenMail("mailto:someone@example.org"), 31);
    // A file of that name that cannot be run counts as missing.
    QFile::setPermissions(temp.filePath("bin/xdg-open"), QFile::ReadOwner | QFile::WriteOwner);
    qputenv("PATH", QFile::encodeName(temp.filePath("bin")));
    EXPECT_EQ(TavOpenUrl("https://example.org/"), 31);
    EXPECT_TRUE(callFiles().isEmpty());
}
