#include "QtPrinters.h"
#include "TestGuard.h"
#include "cli/CliFrontEnd.h"
#include "core/base/Trap.h"
#include "core/i18n/Language.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

using namespace tav;

namespace {

// Standard input and error of one command-line session, in memory.
struct Session {
    std::FILE *in;
    std::FILE *err;
    CliFrontEnd cli;
    tav::test::TestGuard guard;

    explicit Session(const QByteArray &input, bool interactive = true)
        : in(std::tmpfile()), err(std::tmpfile()), cli(in, err) {
        std::fwrite(input.constData(), 1, size_t(input.size()), in);
        std::rewind(in);
        cli.setInteractive(interactive);
        guard.sourceProgramFolder().language(QStringLiteral("Français"));
    }
    ~Session() {
        std::fclose(in);
        std::fclose(err);
    }
    QString written() {
        std::fflush(err);
        std::rewind(err);
        QByteArray bytes;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, err)) > 0)
            bytes.append(buf, qsizetype(n));
        return QString::fromUtf8(bytes);
    }
};

} // namespace

TEST(CliFrontEnd, NoticesAreWrittenAndAcknowledged) {
    Session s("");
    EXPECT_EQ(s.cli.msgBox(QStringLiteral("ligne 1\r\nligne 2"), 64, QStringLiteral("Attention")), AnswerOk);
    EXPECT_EQ(s.written(), QStringLiteral("Attention: ligne 1\nligne 2\n"));
    EXPECT_EQ(s.cli.msgBox(QStringLiteral("x"), 48, QString()), AnswerOk);
    EXPECT_TRUE(s.written().endsWith(QStringLiteral("Travoline: x\n")));
}

TEST(CliFrontEnd, PresetAnswersQuestionsWithoutReading) {
    Session s("n\n");
    s.cli.setPreset(CliFrontEnd::Preset::Yes);
    EXPECT_EQ(s.cli.msgBox("?", 36, "Message"), AnswerYes);
    EXPECT_EQ(s.cli.msgBox("?", 1, "Message"), AnswerOk);
    s.cli.setPreset(CliFrontEnd::Preset::No);
    EXPECT_EQ(s.cli.msgBox("?", 68, "Message"), AnswerNo);
    EXPECT_EQ(s.cli.msgBox("?", 1, "Message"), AnswerCancel);
}

TEST(CliFrontEnd, WithoutTerminalOrPresetQuestionsAreDeclined) {
    Session s("o\n", false);
    EXPECT_EQ(s.cli.msgBox("?", 36, "Message"), AnswerNo);
    EXPECT_EQ(s.cli.msgBox("?", 1, "Message"), AnswerCancel);
    EXPECT_EQ(s.cli.msgBox("?", 3, "Message"), AnswerCancel);
    EXPECT_TRUE(s.written().contains(QStringLiteral("-> Non")));
}

TEST(CliFrontEnd, TerminalRepliesByCaptionLetterOrEnglishWord) {
    Session s("peut-être\n\no\nNON\nyes\nm\nx\n");
    EXPECT_EQ(s.cli.msgBox("Continuer ?", 36, "Message"), AnswerYes) << "unknown replies are asked again";
    EXPECT_EQ(s.cli.msgBox("?", 36, "Message"), AnswerNo);
    EXPECT_EQ(s.cli.msgBox("?", 4, "Message"), AnswerYes);
    EXPECT_EQ(s.cli.msgBox("?", 6, "Message"), AnswerModify);
    EXPECT_EQ(s.cli.msgBox("?", 4, "Message"), AnswerNo) << "end of input declines";
    EXPECT_TRUE(s.written().contains(QStringLiteral("[Oui/Non] ? ")));
}

TEST(CliFrontEnd, ReviewListsBlockedFilesAndAsks) {
    Session s("n\n");
    const QList<ReviewEntry> entries = {
        {"/p/a.jpg", "/p/b.jpg", ""}, {"/p/c.jpg", "/p/b.jpg", ""}, {"/p/x\nfailed\tz", "/p/y", "taken"}};
    EXPECT_FALSE(s.cli.reviewBlocked(entries, " (2 / 5)"));
    const QString out = s.written();
    EXPECT_TRUE(out.contains(" (2 / 5)"));
    EXPECT_TRUE(out.contains("/p/a.jpg\n"));
    EXPECT_TRUE(out.contains("/p/c.jpg\n"));
    EXPECT_TRUE(out.contains("  /p/x\\nfailed\\tz: taken\n")) << "a path cannot forge a line";
    s.cli.setPreset(CliFrontEnd::Preset::Yes);
    EXPECT_TRUE(s.cli.reviewBlocked(entries, " (2 / 5)"));
}

TEST(CliFrontEnd, ErrorReportsReachStandardError) {
    Session s("");
    setFrontEnd(&s.cli);
    trap(QStringLiteral("cmdRenommer_Click (Feuille frmMain)"), [] { throw TavError(53, "File not found"); });
    reportPlainError(5, "Invalid call", "affiche_nom", "frmMain");
    setFrontEnd(nullptr);
    const QString out = s.written();
    EXPECT_TRUE(out.contains(QStringLiteral("Erreur rencontrée: Error 53 (File not found)\ndans la procédure "
                                            "cmdRenommer_Click (Feuille frmMain)\n")));
    EXPECT_TRUE(out.contains("Error 5 (Invalid call) in procedure affiche_nom of Feuille frmMain\n"));
}

// On a terminal the progress line is redrawn now and then and at the end,
// not once per step: a batch of thousands of files would spend its time
// writing to the terminal.
TEST(CliFrontEnd, ProgressOnATerminalIsRedrawnNowAndThen) {
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    QByteArray shown;
    std::thread reader([&] {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(master, buf, sizeof buf)) > 0)
            shown.append(buf, qsizetype(n));
    });
    std::FILE *err = ::fdopen(slave, "w");
    {
        CliFrontEnd cli(nullptr, err);
        constexpr int Steps = 20000;
        cli.progressStart(Steps);
        for (int i = 1; i <= Steps; ++i)
            cli.progressStep(i);
        cli.progressEnd();
    }
    std::fclose(err); // the reader sees the end
    reader.join();
    ::close(master);
    EXPECT_LT(shown.count('\r'), 200);
    EXPECT_TRUE(shown.startsWith("\r1/20000"));
    EXPECT_TRUE(shown.trimmed().endsWith("20000/20000")) << shown.right(40).toStdString();
}
