// travoline-cli: the rename list without a window. PATHs join the list in the
// order given (a folder adds its files), every new name is computed by the
// same engine as the window's, and each row is printed as the old full path, a
// tab and the new-name column (escaped, or NUL records with --null; see
// cli/CliOutput.h). The settings file is read, never written.
//
// Options live in one table: each row has its names, the name of its value
// (none for a switch), a line of help and what it does with the run state.
// QCommandLineParser reads the arguments; the rows are applied in the order
// the options were given.

#include "cli/CliFiles.h"
#include "cli/CliFrontEnd.h"
#include "cli/CliOutput.h"
#include "cli/RenameCli.h"
#include "core/base/FrontEnd.h"
#include "core/base/ProgramFolder.h"
#include "core/base/Trap.h"
#include "core/base/Version.h"
#include "core/engine/NamingOptions.h"
#include "core/engine/Normalise.h"
#include "core/engine/TokenTable.h"
#include "core/engine/Validation.h"
#include "core/filelist/RenameList.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "core/settings/SavedRules.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <limits>
#include <malloc.h>
#include <optional>
#include <sys/mman.h>

using namespace tav;

namespace {

// Exit statuses.
constexpr int ExitDone = 0, ExitUsage = 2, ExitRefused = 3, ExitNameError = 4;

void writeLine(std::FILE *f, const QString &line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
    std::fflush(f);
}

// Bad usage: one line on standard error.
int usage(const QString &why) {
    QString line = why;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    writeLine(stderr, QStringLiteral("travoline-cli: ") + line);
    return ExitUsage;
}

// A value repeated in a message, escaped and cut short when long.
QString shown(const QString &value) {
    const QString escaped = QString::fromUtf8(escapeText(value));
    return escaped.size() > 60 ? escaped.left(60) + QStringLiteral("...") : escaped;
}

// Everything the options decide. Rule options not given come from the
// settings file's current rule.
struct CliRun {
    QStringList paths;
    std::optional<QString> rule;
    std::optional<QString> start; // "#" for the continue mode
    std::optional<QString> step;
    std::optional<QString> extension;
    std::optional<CaseOption> caseOption;
    std::optional<int> trim, upperFirst, upperWords, forbidden, numberIdentical;
    std::optional<QString> types;
    std::optional<int> exifMode;
    std::optional<QString> savedRule; // applied before the other rule options
    bool listRules = false;
    std::optional<QString> settingsFile;
    std::optional<QString> language;
    bool check = false;
    bool nul = false;
    bool yes = false;
    CliRenameOptions renameOptions;
    bool rename = false;
    bool recover = false;
    bool history = false;
    bool undo = false;   // the batch id, if any, is the one PATH
    QStringList actions; // the action options given, in order: one at most
    bool help = false;
    bool version = false;
    // Set by the options that need no PATH.
    bool pathsOptional = false;
};

// A usage error, translated only when it is shown: the language is known
// once the settings file and --language have been read, after the arguments.
struct Usage {
    const char *key = nullptr; // in section "LigneDeCommande"; none: p1 as it is
    const char *fallback = "";
    QString p1{}, p2{};
    QString option{}; // the option it is about, shown first ("--trim: ...")

    QString text() const {
        const QString t = key ? i18n::getText(QStringLiteral("LigneDeCommande"), QLatin1String(key),
                                              QString::fromUtf8(fallback), p1, p2)
                              : p1;
        return option.isEmpty() ? t : option + QStringLiteral(": ") + t;
    }
};
int usage(const Usage &why) {
    return usage(why.text());
}

// Nothing when the value is accepted, else why not.
using Check = std::optional<Usage>;
using Apply = std::function<Check(CliRun &, const QString &value)>;

struct CliOption {
    QStringList names; // the long name first, then a one-letter one if any
    QString valueName; // empty: a switch without value
    QString help;
    Apply apply;
};

std::optional<int> readFlag(const QString &v) {
    if (v == QLatin1String("0") || v == QLatin1String("1"))
        return v.toInt();
    return std::nullopt;
}

Apply flagOption(std::optional<int> CliRun::*field) {
    return [field](CliRun &r, const QString &v) -> Check {
        const auto f = readFlag(v);
        if (!f)
            return Usage{"NotFlag", "expects 0 or 1, not \"%s\"", v};
        r.*field = *f;
        return {};
    };
}

Apply textOption(std::optional<QString> CliRun::*field) {
    return [field](CliRun &r, const QString &v) -> Check {
        r.*field = v;
        return {};
    };
}

// The actions a run does one of; each remembers its name for the refusal of two.
Apply actionOption(bool CliRun::*field, const char *name, bool pathsOptional = true) {
    return [field, name, pathsOptional](CliRun &r, const QString &) -> Check {
        r.*field = true;
        r.pathsOptional = r.pathsOptional || pathsOptional;
        if (!r.actions.contains(QLatin1String(name)))
            r.actions << QLatin1String(name);
        return {};
    };
}

Apply switchOption(bool CliRun::*field) {
    return [field](CliRun &r, const QString &) -> Check {
        r.*field = true;
        return {};
    };
}

// A whole number within [min, max], as the counter fields read it.
Check checkWholeNumber(const QString &v, qint64 min, qint64 max) {
    const CounterField n = parseCounterField(v, min, max);
    if (n.status == CounterField::NotANumber)
        return Usage{"NotNumber", "expects a number, not \"%s\"", v};
    if (n.status == CounterField::OutOfRange)
        return Usage{"OutOfRange", "%s is out of range (%s)", v,
                     i18n::getText(QStringLiteral("LigneDeCommande"), QStringLiteral("Bounds"),
                                   QStringLiteral("%s to %s"), QString::number(min), QString::number(max))};
    return {};
}

// The options of the rule's fields.
QList<CliOption> ruleOptions() {
    return {
        {{QStringLiteral("rule")}, QStringLiteral("TEXT"), QStringLiteral("the pattern"), textOption(&CliRun::rule)},
        {{QStringLiteral("start")},
         QStringLiteral("N|#"),
         QStringLiteral("counter start; '#' continues after the highest number already in each folder"),
         [](CliRun &r, const QString &v) -> Check {
             if (!isContinueStart(v)) {
                 // The largest value stands for "#" and is refused as a number.
                 if (Check why = checkWholeNumber(v, std::numeric_limits<std::int32_t>::min(),
                                                  std::numeric_limits<std::int32_t>::max() - 1))
                     return why;
             }
             r.start = v.trimmed();
             return {};
         }},
        {{QStringLiteral("step")},
         QStringLiteral("N"),
         QStringLiteral("counter step"),
         [](CliRun &r, const QString &v) -> Check {
             if (Check why = checkWholeNumber(v, std::numeric_limits<std::int16_t>::min(),
                                              std::numeric_limits<std::int16_t>::max()))
                 return why;
             r.step = v.trimmed();
             return {};
         }},
        {{QStringLiteral("extension")},
         QStringLiteral("TEXT"),
         QStringLiteral("give every file this extension (empty: no extension)"),
         textOption(&CliRun::extension)},
        {{QStringLiteral("case")},
         QStringLiteral("preserve|upper|lower"),
         QStringLiteral("case of name and extension"),
         [](CliRun &r, const QString &v) -> Check {
             if (v == QLatin1String("preserve"))
                 r.caseOption = CaseOption::Preserve;
             else if (v == QLatin1String("upper"))
                 r.caseOption = CaseOption::Upper;
             else if (v == QLatin1String("lower"))
                 r.caseOption = CaseOption::Lower;
             else
                 return Usage{"NotCase", "expects preserve, upper or lower, not \"%s\"", v};
             return {};
         }},
        {{QStringLiteral("trim")},
         QStringLiteral("0|1"),
         QStringLiteral("remove leading and trailing spaces"),
         flagOption(&CliRun::trim)},
        {{QStringLiteral("upper-first")},
         QStringLiteral("0|1"),
         QStringLiteral("upper-case the first character"),
         flagOption(&CliRun::upperFirst)},
        {{QStringLiteral("upper-words")},
         QStringLiteral("0|1"),
         QStringLiteral("upper-case the first character of every word"),
         flagOption(&CliRun::upperWords)},
        {{QStringLiteral("forbidden")},
         QStringLiteral("0|1"),
         QStringLiteral("replace characters through the forbidden-character table"),
         flagOption(&CliRun::forbidden)},
        {{QStringLiteral("number-identical")},
         QStringLiteral("0|1"),
         QStringLiteral("number identical new names"),
         flagOption(&CliRun::numberIdentical)},
        {{QStringLiteral("types")},
         QStringLiteral("PATTERNS"),
         QStringLiteral("file types the rule renames, e.g. \"JPG PNG\" (\"*\": all)"),
         textOption(&CliRun::types)},
    };
}

// Where the rule comes from, and the actions on it.
QList<CliOption> sourceAndActionOptions() {
    return {
        {{QStringLiteral("settings")},
         QStringLiteral("FILE"),
         QStringLiteral("settings file to read (default: the user's own; never written)"),
         [](CliRun &r, const QString &v) -> Check {
             if (!QFileInfo(v).isFile())
                 return Usage{"NoSettings", "no settings file \"%s\"", v};
             r.settingsFile = v;
             return {};
         }},
        {{QStringLiteral("list-rules")},
         QString(),
         QStringLiteral("print the saved rules, one per line, their twelve fields separated by tabs"),
         actionOption(&CliRun::listRules, "--list-rules")},
        {{QStringLiteral("saved-rule")},
         QStringLiteral("PATTERN"),
         QStringLiteral("start from the saved rule with this pattern; the other options override its fields"),
         textOption(&CliRun::savedRule)},
        {{QStringLiteral("language")},
         QStringLiteral("NAME"),
         QStringLiteral("interface language, e.g. English"),
         textOption(&CliRun::language)},
        {{QStringLiteral("check")},
         QString(),
         QStringLiteral("only check the pattern: print what the window would say; exit 3 when refused"),
         actionOption(&CliRun::check, "--check")},
        {{QStringLiteral("rename")},
         QString(),
         QStringLiteral("rename the files on disk; prints renamed|blocked|failed, old path, new path or reason"),
         actionOption(&CliRun::rename, "--rename", false)},
        {{QStringLiteral("yes")},
         QString(),
         QStringLiteral("answer yes to the questions of --rename (the review included); makes --undo do it"),
         switchOption(&CliRun::yes)},
        {{QStringLiteral("passes")},
         QStringLiteral("N"),
         QStringLiteral("pass count: rename N more times"),
         [](CliRun &r, const QString &v) -> Check {
             Check why = checkWholeNumber(v, 0, std::numeric_limits<qint32>::max());
             if (!why)
                 r.renameOptions.passes = QString::number(readWholeNumber(v).value);
             return why;
         }},
    };
}

// The output, the history of batches, and the program itself.
QList<CliOption> outputAndHistoryOptions() {
    return {
        {{QStringLiteral("null"), QStringLiteral("0")},
         QString(),
         QStringLiteral("NUL records: every field as its raw bytes, ended by a NUL byte, nothing escaped; "
                        "the summary goes to standard error"),
         switchOption(&CliRun::nul)},
        {{QStringLiteral("recover")},
         QString(),
         QStringLiteral("put back the files of a rename that was interrupted (crash, power loss)"),
         actionOption(&CliRun::recover, "--recover")},
        {{QStringLiteral("history")},
         QString(),
         QStringLiteral("list the rename history: id, date, number of files, folder of the first file"),
         actionOption(&CliRun::history, "--history")},
        {{QStringLiteral("undo")},
         QStringLiteral("[ID]"),
         QStringLiteral("undo the last batch of the history, or batch ID: prints what would move; "
                        "with --yes puts the files back under their old names"),
         actionOption(&CliRun::undo, "--undo")},
        {{QStringLiteral("exif-mode")},
         QStringLiteral("1|2|3|4|5"),
         QStringLiteral("photo metadata tool: 1 jhead, 2 jhead then ExifTool, 3 ExifTool, 4 resident ExifTool, "
                        "5 built-in reader (default: the settings file's)"),
         [](CliRun &r, const QString &v) -> Check {
             if (v.size() != 1 || v < QLatin1String("1") || v > QLatin1String("5"))
                 return Usage{"NotExifMode", "expects 1, 2, 3, 4 or 5, not \"%s\"", v};
             r.exifMode = v.toInt();
             return {};
         }},
        {{QStringLiteral("help")}, QString(), QStringLiteral("print this help and exit"), switchOption(&CliRun::help)},
        {{QStringLiteral("version")},
         QString(),
         QStringLiteral("print the version and exit"),
         switchOption(&CliRun::version)},
    };
}

const QList<CliOption> &optionTable() {
    static const QList<CliOption> table = ruleOptions() + sourceAndActionOptions() + outputAndHistoryOptions();
    return table;
}

void printHelp() {
    QString s = QStringLiteral(
        "Usage: travoline-cli [OPTIONS] PATH...\n"
        "Prints the new name of every file: the old full path, a tab, the new name.\n"
        "A folder adds its files. Options not given come from the settings file.\n"
        "Options take their value as the next argument or after '=' (--rule=###); '--' ends the options.\n"
        "A folder's files are taken in natural order (file2 before file10, case ignored) unless the\n"
        "settings file's Option_OrdreNaturel is 0 (plain order).\n\n");
    for (const CliOption &o : optionTable()) {
        QString head = QStringLiteral("  ");
        if (o.names.size() > 1)
            head += QLatin1Char('-') + o.names.at(1) + QStringLiteral(", ");
        head += QStringLiteral("--") + o.names.first();
        if (!o.valueName.isEmpty())
            head += QLatin1Char(' ') + o.valueName;
        s += head.leftJustified(34) + QLatin1Char(' ') + o.help + QLatin1Char('\n');
    }
    s += QStringLiteral(
        "\nRegular expressions: $REGEX/PATTERN/REPLACEMENT$ (or .../i$ to ignore case) stands for the old\n"
        "name without its extension with every match of PATTERN (Perl syntax, PCRE2) replaced; \\1 to \\9\n"
        "are the groups and \\0 the whole match. Inside a field write \\/ for '/' and \\$ for '$'; the end\n"
        "of the name is \\z. E.g. --rule '$REGEX/(\\d+)-(\\d+)/\\2-\\1$' turns 12-34.txt into 34-12.txt.\n"
        "A pattern that does not compile is refused (exit 3, with its reason and position); one that\n"
        "stops at its match limit on a name leaves that file without a new name (exit 4).\n"
        "\nPaths and names are printed escaped, one record per line: a backslash as \\\\, a line feed as \\n,\n"
        "a tab as \\t, a carriage return as \\r, any other control character and any byte that is not\n"
        "valid UTF-8 as \\xHH; undoing the escapes (printf '%b') gives back the exact bytes.\n"
        "With --null every field is its raw bytes followed by a NUL byte: two fields per file for the\n"
        "preview, three (status, old path, new path or reason) for --rename, --recover and --undo,\n"
        "four (id, date, number of files, first folder) for --history.\n"
        "A file whose path is not valid UTF-8 is never renamed: it is listed as left alone.\n"
        "\nEvery batch that renames files is kept in the rename history (the last 50; setting\n"
        "Option_TailleHistorique), under $XDG_STATE_HOME/Travoline (default ~/.local/state/Travoline).\n"
        "--undo [ID] lists what undoing the last batch (or batch ID) would put back; with --yes it does\n"
        "it, through the same safe two-phase rename. A file changed, replaced or renamed since the batch,\n"
        "or whose old name is taken, is blocked; the others go back, and the folders made for the batch\n"
        "go when empty. The undo is itself a batch of the history: undoing it renames the files again.\n"
        "\nExit status: 0 done, 1 a file not renamed (--rename) or not put back (--recover, --undo),\n"
        "2 bad usage, 3 pattern refused, 4 an error was reported while computing the new names\n"
        "(with --rename nothing is then renamed), 130/143 a rename stopped by Ctrl+C/SIGTERM\n"
        "(the files already moved are put back).\n"
        "\nDurability: every folder a rename changed is synced to its disk before its journal goes, so\n"
        "after a crash, a power cut or a pulled card --recover leaves each file whole under its old or\n"
        "its new name; a file whose disk or card is missing stays journaled until it is back.");
    writeLine(stdout, s);
}

// The parser's own refusal, in words that can be translated.
Usage parserError(const QCommandLineParser &parser) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString &name = unknown.first();
        return Usage{"UnknownOption", "unknown option %s",
                     (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name};
    }
    static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'\\.$"));
    static const QRegularExpression unexpected(QStringLiteral("^Unexpected value after '(.*)'\\.$"));
    const QString text = parser.errorText();
    if (const QRegularExpressionMatch m = missing.match(text); m.hasMatch())
        return Usage{"MissingValue", "%s needs a value", m.captured(1)};
    if (const QRegularExpressionMatch m = unexpected.match(text); m.hasMatch())
        return Usage{"UnexpectedValue", "%s takes no value", m.captured(1)};
    return Usage{nullptr, "", text};
}

// Whether value came from an argument whose bytes are not UTF-8 (notUtf8:
// those arguments as the parser got them, bad bytes turned to U+FFFD).
bool fromNotUtf8(const QString &value, const QStringList &notUtf8) {
    if (!value.contains(QChar::ReplacementCharacter))
        return false;
    return std::any_of(notUtf8.cbegin(), notUtf8.cend(), [&](const QString &argument) {
        return argument == value || argument.endsWith(QLatin1Char('=') + value);
    });
}

// Parses the arguments into run, applying every option in the order given;
// returns the first refusal.
Check parseArguments(const QStringList &arguments, const QStringList &notUtf8, CliRun &run) {
    // A value in brackets is optional: the option is a switch, and its value,
    // when given, is the one PATH ("--undo=7" is read as "--undo 7").
    auto takesValue = [](const CliOption &o) {
        return !o.valueName.isEmpty() && !o.valueName.startsWith(QLatin1Char('['));
    };
    QStringList args;
    for (const QString &a : arguments) {
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        const auto option = std::find_if(optionTable().cbegin(), optionTable().cend(), [&](const CliOption &o) {
            return !o.valueName.isEmpty() && !takesValue(o) && eq > 2 &&
                   a.left(eq) == QStringLiteral("--") + o.names.first();
        });
        if (option != optionTable().cend() && !args.contains(QStringLiteral("--")))
            args << a.left(eq) << a.mid(eq + 1);
        else
            args << a;
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    QHash<QString, const CliOption *> byName;
    for (const CliOption &o : optionTable()) {
        QCommandLineOption option(o.names, o.help, takesValue(o) ? o.valueName : QString());
        parser.addOption(option);
        for (const QString &n : o.names)
            byName.insert(n, &o);
    }
    Check first;
    if (!parser.parse(QStringList{QStringLiteral("travoline-cli")} + args))
        first = parserError(parser);
    // The options in the order given, each occurrence with its own value.
    QHash<const CliOption *, int> seen;
    for (const QString &name : parser.optionNames()) {
        const CliOption *option = byName.value(name);
        if (!option)
            continue;
        const int occurrence = seen[option]++;
        const QString value = !takesValue(*option) ? QString() : parser.values(option->names.first()).value(occurrence);
        // A text changed by its decoding is not the text the user meant.
        Check why =
            fromNotUtf8(value, notUtf8) ? Usage{"NotUtf8", "the value is not valid UTF-8"} : option->apply(run, value);
        if (why && !first) {
            why->option = QStringLiteral("--") + option->names.first();
            first = why;
        }
    }
    if (!first && run.actions.size() > 1)
        first = Usage{"Conflict", "%s and %s cannot be used together", run.actions.at(0), run.actions.at(1)};
    run.paths = parser.positionalArguments();
    return first;
}

// --check: what the window would show goes to standard output.
class CheckFrontEnd : public FrontEnd {
public:
    int msgBox(const QString &message, int, const QString &, int, const QString &) override {
        QString text = message;
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        while (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        writeLine(stdout, text);
        return AnswerOk;
    }
};

// The raw bytes of the PATH arguments: the parser gives them decoded, which
// loses the bytes of a path that is not valid UTF-8, so each one is found
// again among the raw arguments, in order.
QList<QByteArray> rawPaths(const QStringList &paths, int argc, char **argv) {
    QList<QByteArray> raw;
    int next = 1;
    for (const QString &p : paths) {
        QByteArray bytes = QFile::encodeName(p);
        for (int i = next; i < argc; ++i) {
            if (QFile::decodeName(QByteArray(argv[i])) == p) {
                bytes = QByteArray(argv[i]);
                next = i + 1;
                break;
            }
        }
        raw.append(bytes);
    }
    return raw;
}

void printPreview(RenameList &engine, const QList<QByteArray> &leftAlone, RecordWriter &out) {
    // Written in blocks; a folder's text is made once for its files.
    RecordBlock block(out);
    const QString *folder = nullptr;
    QByteArray folderPart;
    for (const FileEntry &e : engine.model()->entries()) {
        if (!folder || e.folder != *folder) {
            folder = &e.folder;
            folderPart = block.formatted(pathBytes(e.folder + QLatin1Char('/')));
        }
        block.appendFormatted(folderPart);
        block.appendPath(e.oldName);
        block.nextField();
        block.appendText(e.newName);
        block.endRecord();
    }
    block.write();
    for (const QByteArray &path : leftAlone)
        out.record({path, notUtf8Reason().toUtf8()});
    out.flush();
}

// The arguments whose bytes are not UTF-8, as the parser gets them.
QStringList notUtf8Arguments(int argc, char **argv) {
    QStringList list;
    for (int i = 1; i < argc; ++i)
        if (!isValidUtf8(QByteArray(argv[i])))
            list << QFile::decodeName(QByteArray(argv[i]));
    return list;
}

// Reads the settings file given, else the user's own (a missing file gives
// the defaults), which also sets the language; returns its path.
QString readSettings(const CliRun &run, Settings &s) {
    const QString settingsPath = run.settingsFile.value_or(modIniFile::settingsFilePath());
    if (QFileInfo(settingsPath).isFile())
        modIniFile::ReadIniFile(s, settingsPath);
    else
        i18n::setLanguage(s.LangueUtilisee);
    return settingsPath;
}

// The language of --language, when given; false, the settings' language
// kept, when no language file has that name.
bool useLanguageOption(const CliRun &run, const Settings &s) {
    if (!run.language)
        return true;
    // A name no language file can have (too long for the file name helpers,
    // for one) is refused like any other unknown name.
    bool known = false;
    try {
        i18n::setLanguage(*run.language);
        known = QFileInfo(i18n::languageFilePath()).isFile();
    } catch (const std::exception &) {
    }
    if (!known)
        i18n::setLanguage(s.LangueUtilisee);
    return known;
}

// --recover, --history and --undo: the actions on the rename history.
int runHistoryAction(const CliRun &run, const Settings &s, RecordWriter &out) {
    if (run.recover)
        return runCliRecover(out);
    if (run.history)
        return runCliHistory(out);
    qint64 id = 0;
    if (run.paths.size() > 1)
        return usage(Usage{"UndoOneId", "--undo takes one batch id at most (see --history)"});
    if (!run.paths.isEmpty()) {
        bool ok = false;
        id = run.paths.first().toLongLong(&ok);
        if (!ok || id <= 0)
            return usage(
                Usage{"UndoNotId", "--undo: \"%s\" is not a batch id (see --history)", shown(run.paths.first())});
    }
    return runCliUndo(id, run.yes, s.TailleHistorique, out);
}

// The rule of the run: the settings file's current one, or the saved rule
// asked for, with the fields the options give.
Check buildRule(const CliRun &run, const Settings &s, const QString &settingsPath, Rule &rule) {
    rule = s.regle;
    if (rule.Regle.isNull() && !QFileInfo(settingsPath).isFile())
        rule.Regle = i18n::Message(16);
    if (run.savedRule) {
        const std::optional<Rule> saved = savedRules::findSavedRule(s, *run.savedRule);
        if (!saved)
            return Usage{"NoSavedRule", "no saved rule has the pattern \"%s\"", shown(*run.savedRule), QString(),
                         QStringLiteral("--saved-rule")};
        savedRules::applyFields(*saved, rule);
        rule.Regle = saved->Regle;
    }
    if (run.rule)
        rule.Regle = *run.rule;
    if (run.start)
        rule.DebutPas =
            isContinueStart(*run.start) ? ContinueModeStart : std::int32_t(readWholeNumber(*run.start).value);
    if (run.step)
        rule.Pas = std::int16_t(readWholeNumber(*run.step).value);
    if (run.extension) {
        rule.ModifieExtension = 1;
        rule.ModifieExtensionValeur = *run.extension;
    }
    if (run.trim)
        rule.EffaceEspace = *run.trim;
    if (run.upperFirst)
        rule.PremierCaractereEnMajuscule = *run.upperFirst;
    if (run.upperWords)
        rule.PremierCaractereEnMajusculePourChaqueMot = *run.upperWords;
    if (run.forbidden)
        rule.RemplacerCaractereInterdit = *run.forbidden;
    if (run.numberIdentical)
        rule.IncrementeFichierIdentique = *run.numberIdentical;
    if (run.types)
        rule.Extension = *run.types;
    return {};
}

int renameOrPreview(int argc, char **argv, const CliRun &run, Settings &s, const Rule &rule, CliFrontEnd &cliFrontEnd,
                    RecordWriter &out);

int runCommand(int argc, char **argv, const QStringList &arguments, CliFrontEnd &cliFrontEnd) {
    CliRun run;
    const Check usageError = parseArguments(arguments.mid(1), notUtf8Arguments(argc, argv), run);
    if (!usageError && run.help) {
        printHelp();
        return ExitDone;
    }
    if (!usageError && run.version) {
        writeLine(stdout, QString::fromLatin1(ProgramTitle) + QLatin1Char(' ') + QString::fromLatin1(VersionText));
        return ExitDone;
    }
    // Usage errors too are told in the language of the settings or of --language.
    Settings &s = settings();
    const QString settingsPath = readSettings(run, s);
    const bool languageKnown = useLanguageOption(run, s);
    if (usageError)
        return usage(*usageError);
    if (!languageKnown)
        return usage(Usage{"NoLanguage", "no language file for \"%s\"", shown(*run.language), QString(),
                           QStringLiteral("--language")});
    if (run.paths.isEmpty() && !run.pathsOptional)
        return usage(Usage{"NoPath", "no PATH given (see --help)"});
    if (run.yes)
        cliFrontEnd.setPreset(CliFrontEnd::Preset::Yes);
    RecordWriter out(stdout, stderr, run.nul);

    if (run.listRules) {
        for (const QString &line : savedRules::savedRulesAsTabLines(s))
            writeLine(stdout, line);
        return ExitDone;
    }
    if (run.recover || run.history || run.undo)
        return runHistoryAction(run, s, out);

    Rule rule;
    if (const Check why = buildRule(run, s, settingsPath, rule))
        return usage(*why);
    if (run.check) {
        CheckFrontEnd checkFrontEnd;
        setFrontEnd(&checkFrontEnd);
        const bool passes = validatePattern(rule.Regle);
        setFrontEnd(&cliFrontEnd);
        return passes ? ExitDone : ExitRefused;
    }
    if (!validatePattern(rule.Regle))
        return ExitRefused;
    return renameOrPreview(argc, argv, run, s, rule, cliFrontEnd, out);
}

// The files gathered, their new names computed as the window does, then
// renamed (--rename) or printed.
int renameOrPreview(int argc, char **argv, const CliRun &run, Settings &s, const Rule &rule, CliFrontEnd &cliFrontEnd,
                    RecordWriter &out) {
    GatheredFiles gathered;
    const QString pathError = gatherFiles(rawPaths(run.paths, argc, argv), gathered, s.OrdreNaturel != 0, run.rename);
    if (!pathError.isEmpty())
        return usage(pathError);

    NamingOptions naming = NamingOptions::fromSettings(s);
    naming.rule = rule;
    naming.caseOption = run.caseOption.value_or(CaseOption::Preserve);
    RenameList engine;
    engine.setOptions(naming);
    // A file whose name could not be made is told by its path, like an error.
    int namesNotMade = 0;
    QObject::connect(&engine, &RenameList::nameNotMade, [&](const QString &path, const QString &reason) {
        ++namesNotMade;
        writeLine(stderr, QStringLiteral("travoline-cli: ") + QString::fromUtf8(escapeText(path)) +
                              QStringLiteral(": ") + reason);
    });
    // Photo metadata for the metadata tokens; a tool is started only when the
    // pattern holds one. Mode 0 (never chosen) reads as jhead only.
    if (patternUsesMetadata(rule.Regle)) {
        const int exifMode = run.exifMode.value_or(s.OutilExifChoisi == 0 ? 1 : s.OutilExifChoisi);
        exifReader().configure(exifMode, s.ExtensionTraiteAvecJHEAD, s.ExtensionTraiteAvecEXIFTOOL);
        engine.setMetadataSource(&exifReader());
        exifReader().expect(gathered.paths());
    }

    // The same road as files added in the window: affiche_nom for each file,
    // in order (each file once: see gatherFiles).
    bool stopped = false;
    const int errorsBefore = cliFrontEnd.errorsReported();
    engine.model()->reserve(int(gathered.count()));
    for (const GatheredFiles::Folder &f : std::as_const(gathered.folders)) {
        if (engine.addFolderFiles(f.folder, f.names)) {
            stopped = true;
            break;
        }
    }
    // The list holds the files now: their memory serves what follows.
    gathered.folders = {};
    if (stopped)
        return ExitRefused;
    // A name that could not be computed (the error is on standard error) is
    // no name to rename a file to, and no preview to trust.
    const bool nameErrors = cliFrontEnd.errorsReported() > errorsBefore || namesNotMade > 0;
    if (run.rename) {
        if (nameErrors) {
            writeLine(stderr, QStringLiteral("travoline-cli: an error was reported while computing the new names; "
                                             "nothing renamed"));
            return ExitNameError;
        }
        return runCliRename(engine, s, run.renameOptions, gathered.leftAlone, out);
    }
    printPreview(engine, gathered.leftAlone, out);
    return nameErrors ? ExitNameError : ExitDone;
}

// A large list makes the command line touch tens of megabytes of heap; on
// 4 KiB pages that is thousands of page faults, a good part of a whole run.
// The heap is grown once by a pad that the system may back with huge pages,
// and large blocks stay on the heap, reused rather than mapped afresh. Only
// a hint: where the system says no, nothing changes.
void prepareHeap() {
    constexpr size_t HugePage = size_t(2) << 20;
    constexpr size_t Size = size_t(32) << 20;
    ::mallopt(M_MMAP_THRESHOLD, 64 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
    // A block taken from the heap and given back stays there for what follows.
    void *block = std::malloc(Size);
    if (!block)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    const auto from = (begin + HugePage - 1) & ~(HugePage - 1);
    const auto to = (begin + Size) & ~(HugePage - 1);
    if (to > from)
        ::madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
    std::free(block);
}

} // namespace

int main(int argc, char **argv) {
    prepareHeap();
    // No exception leaves main: whatever escapes is one line and exit 2.
    try {
        QCoreApplication app(argc, argv);
        // Notices on standard error; questions asked only on a terminal.
        CliFrontEnd cliFrontEnd;
        setFrontEnd(&cliFrontEnd);
        const int status = runCommand(argc, argv, app.arguments(), cliFrontEnd);
        setFrontEnd(nullptr);
        std::fflush(stdout);
        return status;
    } catch (const std::exception &e) {
        setFrontEnd(nullptr);
        std::fflush(stdout);
        return usage(QStringLiteral("stopped by an error: %1").arg(QString::fromUtf8(e.what())));
    } catch (...) {
        setFrontEnd(nullptr);
        std::fflush(stdout);
        return usage(QStringLiteral("stopped by an unknown error"));
    }
}
