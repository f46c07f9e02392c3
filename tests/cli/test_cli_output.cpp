// What travoline-cli prints about files whose names hold line breaks, tabs,
// backslashes or bytes that are not UTF-8: real files, the real program.

#include "QtPrinters.h"
#include "TestPaths.h"
#include "cli/CliOutput.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tav;

namespace {

// Undoes the escapes the way printf '%b' does, for the escapes the program writes.
QByteArray unescape(const QByteArray &s) {
    QByteArray out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        if (c == 'n')
            out += '\n';
        else if (c == 't')
            out += '\t';
        else if (c == 'r')
            out += '\r';
        else if (c == 'x') {
            out += char(s.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else
            out += c;
    }
    return out;
}

// A file created by its raw name bytes.
void makeRaw(const QByteArray &path, const QByteArray &content) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    ASSERT_EQ(::write(fd, content.constData(), size_t(content.size())), content.size());
    ::close(fd);
}

QByteArray readRaw(const QByteArray &path) {
    QByteArray data;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return "<missing>";
    char buf[256];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        data.append(buf, n);
    ::close(fd);
    return data;
}

struct Cli {
    QTemporaryDir dir, config;
    QByteArray out, err;
    int status = -1;

    QByteArray raw(const QByteArray &name) const { return QFile::encodeName(dir.path()) + '/' + name; }

    // Runs the program through a shell so that arguments may be raw bytes
    // (shellArgs is pasted into the command line as it stands).
    int run(const QString &shellArgs) {
        QProcess proc;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        proc.setProcessEnvironment(env);
        proc.setWorkingDirectory(dir.path());
        proc.start("/bin/sh", {"-c", "exec \"$0\" --language English " + shellArgs + " </dev/null",
                               QStringLiteral(TAV_BUILD_BIN_DIR "/travoline-cli")});
        if (!proc.waitForFinished(60000))
            return -1;
        out = proc.readAllStandardOutput();
        err = proc.readAllStandardError();
        status = proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -1;
        return status;
    }

    QList<QByteArray> lines() const {
        QList<QByteArray> l = out.split('\n');
        if (!l.isEmpty() && l.last().isEmpty())
            l.removeLast();
        return l;
    }
};

const QByteArray Forged = "a\nfailed\tvictim.doc\tPermission denied\nb.txt";

} // namespace

TEST(CliEscape, EveryByteStringComesBackAndHoldsNoLineBreakOrTab) {
    QByteArray all;
    for (int c = 0; c < 256; ++c)
        all += char(c);
    QList<QByteArray> cases = {all,        "plain é ü 名前", "back\\slash\\x41", Forged,     "\xc2\x85next line",
                               "\xc0\x80", "\xed\xa0\x80",   "\xf4\x90\x80\x80", "\xe2\x82", "\xff\xfe"};
    QRandomGenerator rng(7);
    for (int n = 0; n < 200; ++n) {
        QByteArray b;
        for (int k = rng.bounded(1, 20); k > 0; --k)
            b += char(rng.bounded(256));
        cases << b;
    }
    for (const QByteArray &b : cases) {
        const QByteArray e = escapeBytes(b);
        EXPECT_EQ(unescape(e), b) << e.constData();
        for (char c : e)
            EXPECT_TRUE(uchar(c) >= 0x20 && uchar(c) != 0x7F) << e.constData();
        EXPECT_TRUE(isValidUtf8(e)) << e.constData();
    }
    EXPECT_EQ(escapeBytes("\xc2\x85"), "\\xc2\\x85") << "a C1 control is escaped as its bytes";
    EXPECT_EQ(escapeBytes("caf\xc3\xa9\\"), "caf\xc3\xa9\\\\");
    EXPECT_EQ(escapeBytes("\xc0\x80\xed\xa0\x80"), "\\xc0\\x80\\xed\\xa0\\x80") << "overlong and surrogate";
    EXPECT_FALSE(isValidUtf8("bad\xff.txt"));
    EXPECT_TRUE(isValidUtf8("\xf0\x9f\x98\x80"));
}

TEST(CliOutput, ANameCannotForgeALine) {
    Cli c;
    makeRaw(c.raw(Forged), "victim");
    makeRaw(c.raw("ok.txt"), "ok");

    ASSERT_EQ(c.run("--rule 'n*' ."), 0) << c.err.constData();
    QList<QByteArray> lines = c.lines();
    ASSERT_EQ(lines.size(), 2) << c.out.constData();
    EXPECT_EQ(unescape(lines[0].split('\t').value(0)), c.raw(Forged));
    EXPECT_EQ(unescape(lines[0].split('\t').value(1)), "n" + Forged);

    ASSERT_EQ(c.run("--rename --rule 'n*' ."), 0) << c.err.constData();
    lines = c.lines();
    ASSERT_EQ(lines.size(), 3) << c.out.constData();
    const QList<QByteArray> fields = lines[0].split('\t');
    ASSERT_EQ(fields.size(), 3);
    EXPECT_EQ(fields[0], "renamed");
    EXPECT_EQ(unescape(fields[1]), c.raw(Forged));
    EXPECT_EQ(unescape(fields[2]), c.raw("n" + Forged));
    EXPECT_EQ(readRaw(c.raw("n" + Forged)), "victim");
    EXPECT_TRUE(lines[1].startsWith("renamed\t"));
    EXPECT_TRUE(lines[2].startsWith("2 renamed"));
}

TEST(CliOutput, NulRecordsCarryTheRawBytes) {
    Cli c;
    makeRaw(c.raw(Forged), "victim");
    makeRaw(c.raw("back\\slash"), "b");
    makeRaw(c.raw("bad\xff.txt"), "bad");

    ASSERT_EQ(c.run("-0 --rule 'x_*' ."), 0) << c.err.constData();
    ASSERT_TRUE(c.out.endsWith('\0'));
    QList<QByteArray> fields = c.out.split('\0');
    fields.removeLast();
    ASSERT_EQ(fields.size(), 6) << "two fields for each of the three files";
    EXPECT_TRUE(fields.contains(c.raw(Forged)));
    EXPECT_TRUE(fields.contains("x_" + Forged));
    EXPECT_TRUE(fields.contains(c.raw("bad\xff.txt")));

    ASSERT_EQ(c.run("--null --rename --yes --rule 'x_*' ."), 1) << c.err.constData();
    fields = c.out.split('\0');
    fields.removeLast();
    ASSERT_EQ(fields.size(), 9) << "three fields for each of the three files, no summary";
    for (int i = 0; i < fields.size(); i += 3) {
        if (fields[i] == "renamed") {
            EXPECT_EQ(readRaw(fields[i + 1]), "<missing>") << fields[i + 1].constData();
            EXPECT_NE(readRaw(fields[i + 2]), "<missing>") << fields[i + 2].constData();
        } else
            EXPECT_EQ(fields[i], "skipped");
    }
    EXPECT_TRUE(fields.contains(c.raw("x_" + Forged)));
    EXPECT_EQ(readRaw(c.raw("x_" + Forged)), "victim");
    EXPECT_TRUE(c.err.contains("2 renamed, 0 blocked, 0 failed, 1 left alone")) << c.err.constData();
}

TEST(CliOutput, NamesThatAreNotUtf8AreListedCountedAndLeftAlone) {
    Cli c;
    makeRaw(c.raw("bad\xff.txt"), "bad");
    makeRaw(c.raw("ok.txt"), "ok");
    ASSERT_EQ(::mkdir(c.raw("sub\xfe").constData(), 0755), 0);
    makeRaw(c.raw("sub\xfe/inner.txt"), "inner");

    // The preview shows it with the reason, after the list.
    ASSERT_EQ(c.run("--rule 'n*' ."), 0) << c.err.constData();
    EXPECT_EQ(c.lines(),
              (QList<QByteArray>{escapeBytes(c.raw("ok.txt")) + "\tnok.txt",
                                 escapeBytes(c.raw("bad\xff.txt")) + "\tleft alone: the path is not valid UTF-8"}));

    // A rename never touches it and does not end in success.
    EXPECT_EQ(c.run("--rename --rule 'n*' ."), 1) << c.err.constData();
    EXPECT_EQ(c.lines(),
              (QList<QByteArray>{"renamed\t" + escapeBytes(c.raw("ok.txt")) + "\t" + escapeBytes(c.raw("nok.txt")),
                                 "skipped\t" + escapeBytes(c.raw("bad\xff.txt")) +
                                     "\tleft alone: the path is not valid UTF-8",
                                 "1 renamed, 0 blocked, 0 failed, 1 left alone"}));
    EXPECT_EQ(readRaw(c.raw("bad\xff.txt")), "bad");
    EXPECT_EQ(readRaw(c.raw("nok.txt")), "ok");

    // Given by name, as a file or as the folder that holds it, and twice.
    EXPECT_EQ(c.run("--rename --rule 'z*' \"$(printf 'bad\\377.txt')\" \"$(printf 'sub\\376')\" "
                    "\"$(printf 'sub\\376/inner.txt')\" nok.txt"),
              1)
        << c.err.constData();
    EXPECT_EQ(c.lines(),
              (QList<QByteArray>{
                  "renamed\t" + escapeBytes(c.raw("nok.txt")) + "\t" + escapeBytes(c.raw("znok.txt")),
                  "skipped\t" + escapeBytes(c.raw("bad\xff.txt")) + "\tleft alone: the path is not valid UTF-8",
                  "skipped\t" + escapeBytes(c.raw("sub\xfe/inner.txt")) + "\tleft alone: the path is not valid UTF-8",
                  "1 renamed, 0 blocked, 0 failed, 2 left alone"}));
    EXPECT_EQ(readRaw(c.raw("sub\xfe/inner.txt")), "inner");
    EXPECT_EQ(readRaw(c.raw("bad\xff.txt")), "bad");

    // One that does not exist is bad usage, named escaped on one line.
    EXPECT_EQ(c.run("\"$(printf 'gone\\377\\n.txt')\""), 2);
    EXPECT_EQ(c.err, "travoline-cli: no such file or folder: gone\\xff\\n.txt\n");
}

TEST(CliOutput, ANameThatCouldNotBeComputedIsNotASuccess) {
    Cli c;
    makeRaw(c.raw("a"), "a");
    makeRaw(c.raw("b"), "b");
    // The second counter value, 2147483650, does not fit: an error for b.
    EXPECT_EQ(c.run("--rule 'n#' --start 2147483640 --step 10 a b"), 4);
    EXPECT_TRUE(c.err.contains("Error 6")) << c.err.constData();
    EXPECT_EQ(c.lines().size(), 2);

    EXPECT_EQ(c.run("--rename --yes --rule 'n#' --start 2147483640 --step 10 a b"), 4);
    EXPECT_TRUE(c.out.isEmpty());
    EXPECT_EQ(readRaw(c.raw("a")), "a") << "nothing renamed";
    EXPECT_EQ(readRaw(c.raw("b")), "b");

    EXPECT_EQ(c.run("--rule 'n#' --start 2147483640 --step 10 a"), 0);
}

TEST(CliOutput, AnOverlongLanguageNameIsBadUsage) {
    Cli c;
    makeRaw(c.raw("a"), "a");
    const QString name(32768, QLatin1Char('x'));
    EXPECT_EQ(c.run("--rule n --language " + name + " a"), 2);
    EXPECT_EQ(c.err.count('\n'), 1) << c.err.left(300).constData();
    // Told in the settings' language: the one asked for does not exist.
    EXPECT_TRUE(c.err.startsWith("travoline-cli: --language: ")) << c.err.left(300).constData();
    EXPECT_TRUE(c.err.contains("xxx"));
    EXPECT_TRUE(c.out.isEmpty());
}

TEST(CliOptions, TwoActionsOrATextThatIsNotUtf8AreRefusedAndNothingIsDone) {
    Cli c;
    makeRaw(c.raw("a.txt"), "a");
    const struct {
        const char *args, *said;
    } cases[] = {
        {"--history --recover", "--history and --recover cannot be used together"},
        {"--check --rename --rule x a.txt", "--check and --rename cannot be used together"},
        {"--rename --yes --rule x a.txt --undo", "--rename and --undo cannot be used together"},
        {"--list-rules --history --check", "--list-rules and --history cannot be used together"},
        {"--rule \"$(printf 'x\\377\\376#')\" --rename --yes a.txt", "--rule: the value is not valid UTF-8"},
        {"--rule=\"$(printf 'x\\377')\" a.txt", "--rule: the value is not valid UTF-8"},
        {"--rule x --types \"$(printf 'txt\\377')\" a.txt", "--types: the value is not valid UTF-8"},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.args);
        EXPECT_EQ(c.run(QString::fromUtf8(k.args)), 2);
        EXPECT_EQ(c.err, "travoline-cli: " + QByteArray(k.said) + "\n");
        EXPECT_TRUE(c.out.isEmpty());
        EXPECT_EQ(QDir(c.dir.path()).entryList(QDir::Files), QStringList{"a.txt"});
    }
    // The same action twice is still one action.
    EXPECT_EQ(c.run("--check --check --rule x"), 0);
}

TEST(CliOptions, UsageErrorsAreToldInTheLanguageInUse) {
    Cli c;
    makeRaw(c.raw("a"), "a");
    const struct {
        const char *args, *said;
    } cases[] = {
        {"--trim 2 a", "--trim: expects 0 or 1, not \"2\""},
        {"--language Français --trim 2 a", "--trim: attend 0 ou 1, pas « 2 »"},
        {"--language Français --step 99999 a", "--step: 99999 est hors limites (de -32768 à 32767)"},
        {"--language Français --bogus a", "option inconnue --bogus"},
        {"--language Français", "aucun CHEMIN donné (voir --help)"},
        {"--language Français --history --undo", "--history et --undo ne peuvent pas être employés ensemble"},
        {"--language Français gone", "ni fichier ni dossier à ce nom : gone"},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.args);
        EXPECT_EQ(c.run(QString::fromUtf8(k.args)), 2);
        EXPECT_EQ(QString::fromUtf8(c.err), "travoline-cli: " + QString::fromUtf8(k.said) + "\n");
    }
}

TEST(CliOptions, DoubleDashOrderAndValuesThatLookLikeOptions) {
    Cli c;
    makeRaw(c.raw("-f"), "f");
    makeRaw(c.raw("--rule"), "r");
    makeRaw(c.raw("a"), "a");

    ASSERT_EQ(c.run("--rule 'n*' -- -f --rule"), 0) << c.err.constData();
    EXPECT_EQ(c.lines(),
              (QList<QByteArray>{escapeBytes(c.raw("-f")) + "\tn-f", escapeBytes(c.raw("--rule")) + "\tn--rule"}));

    EXPECT_EQ(c.run("--rule 'n*' -f"), 2);
    EXPECT_EQ(c.err.count('\n'), 1);

    // Options after a path, the last of a repeated option wins, a value may start with a dash.
    ASSERT_EQ(c.run("a --rule x --rule='n#' --start -5"), 0) << c.err.constData();
    EXPECT_EQ(c.lines(), (QList<QByteArray>{escapeBytes(c.raw("a")) + "\tn-5"}));

    for (const char *bad : {"-0x a", "--null=1 a", "--start a", "--passes"}) {
        EXPECT_EQ(c.run(bad), 2) << bad;
        EXPECT_EQ(c.err.count('\n'), 1) << c.err.constData();
        EXPECT_TRUE(c.out.isEmpty());
    }

    ASSERT_EQ(c.run("--help"), 0);
    for (const char *option : {"--rule",    "--start",       "--step",        "--extension",  "--case",
                               "--trim",    "--upper-first", "--upper-words", "--forbidden",  "--number-identical",
                               "--types",   "--settings",    "--list-rules",  "--saved-rule", "--language",
                               "--check",   "--rename",      "--yes",         "--passes",     "-0, --null",
                               "--recover", "--exif-mode",   "--version"})
        EXPECT_TRUE(c.out.contains(option)) << option;
    EXPECT_TRUE(c.out.contains("\\xHH"));
}

// A record reads the same whether its names are copied whole (printable
// ASCII) or escaped: a character that needs care anywhere in a name, in the
// first eight characters or past them, sends it the careful way.
TEST(CliOutput, RecordsOfPlainAndOtherNamesReadTheSame) {
    QStringList names = {QString(), QStringLiteral("IMG_0001.jpg"), QStringLiteral("a")};
    const QString base = QStringLiteral("abcdefghijklmnopq");
    for (QChar odd : {QChar(u'\\'), QChar(u'\t'), QChar(u'\x7f'), QChar(u'\x1f'), QChar(u'é'), QChar(u'\x8041')})
        for (qsizetype at : {0, 7, 8, 15, 16})
            names << QString(base).insert(at, odd);
    for (bool nul : {false, true}) {
        for (const QString &name : names) {
            std::FILE *f = std::tmpfile();
            ASSERT_NE(f, nullptr);
            RecordWriter out(f, stderr, nul);
            const QString folder = QStringLiteral("/photos/");
            out.record("renamed", {folder, name}, {folder, QStringLiteral("x") + name});
            out.flush();
            QByteArray got(4096, '\0');
            std::rewind(f);
            got.resize(qsizetype(std::fread(got.data(), 1, size_t(got.size()), f)));
            std::fclose(f);
            const QByteArray oldPath = (folder + name).toUtf8(), newPath = (folder + "x" + name).toUtf8();
            const QByteArray expected = nul ? "renamed" + QByteArray(1, '\0') + oldPath + '\0' + newPath + '\0'
                                            : "renamed\t" + escapeBytes(oldPath) + '\t' + escapeBytes(newPath) + '\n';
            EXPECT_EQ(got, expected) << name.toStdString() << (nul ? " (NUL form)" : "");
        }
    }
}
