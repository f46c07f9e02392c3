// travoline-cli: the rename list without a window. PATHs join the list in the
// order given (a folder adds its files), every new name is computed by the
// same engine as the window's, and each row is printed as the old full path, a
// tab and the new-name column. The settings file is read, never written.
//
// Options live in one table: each row has its name, the name of its value
// (none for a switch), a line of help and what it does with the run state.

#include "cli/CliFrontEnd.h"
#include "core/base/FrontEnd.h"
#include "core/base/ProgramFolder.h"
#include "core/base/Trap.h"
#include "core/base/Version.h"
#include "core/engine/NameEngine.h"
#include "cli/RenameCli.h"
#include "core/engine/Normalise.h"
#include "core/engine/Validation.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "core/settings/SavedRules.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <unistd.h>

using namespace tav;

namespace {

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
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
    bool recover = false;
    bool help = false;
    bool version = false;
    // An option may do something else than the preview once the list is
    // computed (or without any list when pathsOptional is set).
    bool pathsOptional = false;
    std::function<int(CliRun &, NameEngine &)> action;
};

// Returns an empty text when the value is accepted, else the reason.
using Apply = std::function<QString(CliRun &, const QString &value)>;

struct CliOption {
    QString name;
    QString valueName; // empty: a switch without value
    QString help;
    Apply apply;
};

std::optional<int> readFlag(const QString &v)
{
    if (v == QLatin1String("0") || v == QLatin1String("1"))
        return v.toInt();
    return std::nullopt;
}

Apply flagOption(std::optional<int> CliRun::*field)
{
    return [field](CliRun &r, const QString &v) -> QString {
        const auto f = readFlag(v);
        if (!f)
            return QStringLiteral("expects 0 or 1, not \"%1\"").arg(v);
        r.*field = *f;
        return {};
    };
}

// A whole number within [min, max], as the counter fields read it.
QString checkWholeNumber(const QString &v, qint64 min, qint64 max)
{
    const CounterField n = parseCounterField(v, min, max);
    if (n.status == CounterField::NotANumber)
        return QStringLiteral("expects a number, not \"%1\"").arg(v);
    if (n.status == CounterField::OutOfRange)
        return QStringLiteral("%1 is out of range (%2 to %3)").arg(v).arg(min).arg(max);
    return {};
}

const QList<CliOption> &optionTable()
{
    static const QList<CliOption> table = {
        {QStringLiteral("--rule"), QStringLiteral("TEXT"), QStringLiteral("the pattern"),
         [](CliRun &r, const QString &v) {
             r.rule = v;
             return QString();
         }},
        {QStringLiteral("--start"), QStringLiteral("N|#"),
         QStringLiteral("counter start; '#' continues after the highest number already in each folder"),
         [](CliRun &r, const QString &v) {
             if (!isContinueStart(v)) {
                 // The largest value stands for "#" and is refused as a number.
                 const QString why = checkWholeNumber(v, std::numeric_limits<std::int32_t>::min(),
                                                      std::numeric_limits<std::int32_t>::max() - 1);
                 if (!why.isEmpty())
                     return why;
             }
             r.start = v.trimmed();
             return QString();
         }},
        {QStringLiteral("--step"), QStringLiteral("N"), QStringLiteral("counter step"),
         [](CliRun &r, const QString &v) {
             const QString why = checkWholeNumber(v, std::numeric_limits<std::int16_t>::min(),
                                                  std::numeric_limits<std::int16_t>::max());
             if (!why.isEmpty())
                 return why;
             r.step = v.trimmed();
             return QString();
         }},
        {QStringLiteral("--extension"), QStringLiteral("TEXT"),
         QStringLiteral("give every file this extension (empty: no extension)"),
         [](CliRun &r, const QString &v) {
             r.extension = v;
             return QString();
         }},
        {QStringLiteral("--case"), QStringLiteral("preserve|upper|lower"), QStringLiteral("case of name and extension"),
         [](CliRun &r, const QString &v) {
             if (v == QLatin1String("preserve"))
                 r.caseOption = CaseOption::Preserve;
             else if (v == QLatin1String("upper"))
                 r.caseOption = CaseOption::Upper;
             else if (v == QLatin1String("lower"))
                 r.caseOption = CaseOption::Lower;
             else
                 return QStringLiteral("expects preserve, upper or lower, not \"%1\"").arg(v);
             return QString();
         }},
        {QStringLiteral("--trim"), QStringLiteral("0|1"), QStringLiteral("remove leading and trailing spaces"),
         flagOption(&CliRun::trim)},
        {QStringLiteral("--upper-first"), QStringLiteral("0|1"), QStringLiteral("upper-case the first character"),
         flagOption(&CliRun::upperFirst)},
        {QStringLiteral("--upper-words"), QStringLiteral("0|1"),
         QStringLiteral("upper-case the first character of every word"), flagOption(&CliRun::upperWords)},
        {QStringLiteral("--forbidden"), QStringLiteral("0|1"),
         QStringLiteral("replace characters through the forbidden-character table"), flagOption(&CliRun::forbidden)},
        {QStringLiteral("--number-identical"), QStringLiteral("0|1"), QStringLiteral("number identical new names"),
         flagOption(&CliRun::numberIdentical)},
        {QStringLiteral("--types"), QStringLiteral("PATTERNS"),
         QStringLiteral("file types the rule renames, e.g. \"JPG PNG\" (\"*\": all)"),
         [](CliRun &r, const QString &v) {
             r.types = v;
             return QString();
         }},
        {QStringLiteral("--settings"), QStringLiteral("FILE"),
         QStringLiteral("settings file to read (default: the user's own; never written)"),
         [](CliRun &r, const QString &v) {
             if (!QFileInfo(v).isFile())
                 return QStringLiteral("no settings file \"%1\"").arg(v);
             r.settingsFile = v;
             return QString();
         }},
        {QStringLiteral("--list-rules"), QString(),
         QStringLiteral("print the saved rules, one per line, their twelve fields separated by tabs"),
         [](CliRun &r, const QString &) {
             r.listRules = true;
             r.pathsOptional = true;
             return QString();
         }},
        {QStringLiteral("--saved-rule"), QStringLiteral("PATTERN"),
         QStringLiteral("start from the saved rule with this pattern; the other options override its fields"),
         [](CliRun &r, const QString &v) {
             r.savedRule = v;
             return QString();
         }},
        {QStringLiteral("--language"), QStringLiteral("NAME"), QStringLiteral("interface language, e.g. English"),
         [](CliRun &r, const QString &v) {
             r.language = v;
             return QString();
         }},
        {QStringLiteral("--check"), QString(),
         QStringLiteral("only check the pattern: print what the window would say; exit 3 when refused"),
         [](CliRun &r, const QString &) {
             r.check = true;
             r.pathsOptional = true;
             return QString();
         }},
        {QStringLiteral("--rename"), QString(),
         QStringLiteral("rename the files on disk; prints renamed|blocked|failed, old path, new path or reason"),
         [](CliRun &r, const QString &) {
             r.action = [](CliRun &, NameEngine &engine) { return runCliRename(engine, settings(), out(), err()); };
             return QString();
         }},
        {QStringLiteral("--yes"), QString(), QStringLiteral("answer yes to the questions of --rename (the review included)"),
         [](CliRun &, const QString &) {
             cliRenameOptions().yes = true;
             return QString();
         }},
        {QStringLiteral("--passes"), QStringLiteral("N"), QStringLiteral("pass count: rename N more times"),
         [](CliRun &, const QString &v) {
             const QString why = checkWholeNumber(v, 0, std::numeric_limits<qint32>::max());
             if (why.isEmpty())
                 cliRenameOptions().passes = QString::number(readWholeNumber(v).value);
             return why;
         }},
        {QStringLiteral("--recover"), QString(),
         QStringLiteral("put back the files of a rename that was interrupted (crash, power loss)"),
         [](CliRun &r, const QString &) {
             r.recover = true;
             r.pathsOptional = true;
             return QString();
         }},
        {QStringLiteral("--exif-mode"), QStringLiteral("1|2|3|4"),
         QStringLiteral("photo metadata tool: 1 jhead, 2 jhead then ExifTool, 3 ExifTool, 4 resident ExifTool "
                        "(default: the settings file's)"),
         [](CliRun &r, const QString &v) -> QString {
             if (v.size() != 1 || v < QLatin1String("1") || v > QLatin1String("4"))
                 return QStringLiteral("expects 1, 2, 3 or 4, not \"%1\"").arg(v);
             r.exifMode = v.toInt();
             return {};
         }},
        {QStringLiteral("--help"), QString(), QStringLiteral("print this help and exit"),
         [](CliRun &r, const QString &) {
             r.help = true;
             return QString();
         }},
        {QStringLiteral("--version"), QString(), QStringLiteral("print the version and exit"),
         [](CliRun &r, const QString &) {
             r.version = true;
             return QString();
         }},
    };
    return table;
}

void printHelp(QTextStream &s)
{
    s << "Usage: travoline-cli [OPTIONS] PATH...\n"
         "Prints the new name of every file: the old full path, a tab, the new name.\n"
         "A folder adds its files. Options not given come from the settings file.\n\n";
    for (const CliOption &o : optionTable()) {
        QString head = QStringLiteral("  ") + o.name;
        if (!o.valueName.isEmpty())
            head += QLatin1Char(' ') + o.valueName;
        s << head.leftJustified(34) << ' ' << o.help << '\n';
    }
    s << "\nExit status: 0 done, 1 a file not renamed (--rename) or not put back (--recover),\n"
         "2 bad usage, 3 pattern refused.\n";
}

// Parses the arguments into run; returns an empty text or the reason.
QString parseArguments(const QStringList &args, CliRun &run)
{
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (optionsEnded || !arg.startsWith(QLatin1String("--"))) {
            if (!optionsEnded && arg.startsWith(QLatin1Char('-')) && arg.size() > 1)
                return QStringLiteral("unknown option %1").arg(arg);
            run.paths.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? arg : arg.left(eq);
        const CliOption *option = nullptr;
        for (const CliOption &o : optionTable())
            if (o.name == name)
                option = &o;
        if (!option)
            return QStringLiteral("unknown option %1").arg(name);
        QString value;
        if (option->valueName.isEmpty()) {
            if (eq >= 0)
                return QStringLiteral("%1 takes no value").arg(name);
        } else if (eq >= 0) {
            value = arg.mid(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args.at(++i);
        } else {
            return QStringLiteral("%1 needs a value (%2)").arg(name, option->valueName);
        }
        const QString why = option->apply(run, value);
        if (!why.isEmpty())
            return name + QLatin1String(": ") + why;
    }
    return {};
}

// --check: what the window would show goes to standard output.
class CheckFrontEnd : public FrontEnd {
public:
    int msgBox(const QString &message, int, const QString &, int, const QString &) override
    {
        QString text = message;
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        while (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        out() << text << '\n';
        return AnswerOk;
    }
};

// The files a PATH adds: the file itself, or a folder's files by name.
QString collectPaths(const QStringList &args, QStringList &files)
{
    for (const QString &arg : args) {
        const QFileInfo info(arg);
        if (!info.exists())
            return QStringLiteral("no such file or folder: %1").arg(arg);
        if (info.isDir()) {
            const QDir dir(info.absoluteFilePath());
            const QStringList names = dir.entryList(QDir::Files | QDir::System, QDir::Name);
            for (const QString &n : names)
                files.append(QDir::cleanPath(dir.absoluteFilePath(n)));
        } else {
            files.append(QDir::cleanPath(info.absoluteFilePath()));
        }
    }
    return {};
}

int printPreview(CliRun &, NameEngine &engine)
{
    for (const FileEntry &e : engine.model()->entries())
        out() << e.fullPath() << '\t' << e.newName << '\n';
    out().flush();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Notices on standard error; questions asked only on a terminal.
    CliFrontEnd cliFrontEnd;
    setFrontEnd(&cliFrontEnd);

    CliRun run;
    const QString usageError = parseArguments(app.arguments().mid(1), run);
    if (!usageError.isEmpty()) {
        err() << "travoline-cli: " << usageError << '\n';
        return 2;
    }
    if (run.help) {
        printHelp(out());
        return 0;
    }
    if (run.version) {
        out() << ProgramTitle << ' ' << VersionText << '\n';
        return 0;
    }
    if (run.paths.isEmpty() && !run.pathsOptional) {
        err() << "travoline-cli: no PATH given (see --help)\n";
        return 2;
    }

    // Settings: the file given, else the user's own; a missing file gives the defaults.
    Settings &s = settings();
    const QString settingsPath = run.settingsFile.value_or(modIniFile::settingsFilePath());
    if (QFileInfo(settingsPath).isFile())
        modIniFile::ReadIniFile(s, settingsPath);
    else
        i18n::setLanguage(s.LangueUtilisee);

    if (run.listRules) {
        for (const QString &line : savedRules::savedRulesAsTabLines(s))
            out() << line << '\n';
        out().flush();
        return 0;
    }

    if (run.language) {
        i18n::setLanguage(*run.language);
        if (!QFileInfo(i18n::languageFilePath()).isFile()) {
            err() << "travoline-cli: --language: no language file for \"" << *run.language << "\"\n";
            return 2;
        }
    }

    if (run.recover)
        return runCliRecover(out(), err());

    Rule rule = s.regle;
    if (rule.Regle.isNull() && !QFileInfo(settingsPath).isFile())
        rule.Regle = i18n::Message(16);
    if (run.savedRule) {
        const std::optional<Rule> saved = savedRules::findSavedRule(s, *run.savedRule);
        if (!saved) {
            err() << "travoline-cli: --saved-rule: no saved rule has the pattern \"" << *run.savedRule << "\"\n";
            return 2;
        }
        savedRules::applyFields(*saved, rule);
        rule.Regle = saved->Regle;
    }
    if (run.rule)
        rule.Regle = *run.rule;
    if (run.start)
        rule.DebutPas = isContinueStart(*run.start) ? ContinueModeStart
                                                          : std::int32_t(readWholeNumber(*run.start).value);
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

    if (run.check) {
        CheckFrontEnd checkFrontEnd;
        setFrontEnd(&checkFrontEnd);
        const bool passes = validatePattern(rule.Regle);
        setFrontEnd(&cliFrontEnd);
        out().flush();
        return passes ? 0 : 3;
    }

    if (!validatePattern(rule.Regle))
        return 3;

    QStringList files;
    const QString pathError = collectPaths(run.paths, files);
    if (!pathError.isEmpty()) {
        err() << "travoline-cli: " << pathError << '\n';
        return 2;
    }

    NameEngine engine;
    engine.setRule(rule);
    engine.setCaseOption(run.caseOption.value_or(CaseOption::Preserve));
    engine.setYearFormat(s.FormatAnnee);
    engine.setMonthFormat(s.FormatMois);
    engine.setForbiddenTable(s.CharactereInterdit);
    engine.setNeverRenamed(s.FileNotRenamed);
    engine.setAutoRefresh(true);
    // Photo metadata for the metadata tokens; a tool is started only when the
    // pattern holds one. Mode 0 (never chosen) reads as jhead only.
    if (Exif::patternUsesMetadata(rule.Regle)) {
        const int exifMode = run.exifMode.value_or(s.OutilExifChoisi == 0 ? 1 : s.OutilExifChoisi);
        exifReader().configure(exifMode, s.ExtensionTraiteAvecJHEAD, s.ExtensionTraiteAvecEXIFTOOL);
        engine.setMetadataSource(&exifReader());
    }

    // The same road as files added in the window: one affiche_nom per file,
    // in order, a file listed twice joining once.
    bool stopped = false;
    for (const QString &file : std::as_const(files)) {
        const QFileInfo info(file);
        if (engine.model()->containsFile(info.path(), info.fileName()))
            continue;
        if (engine.affiche_nom(file)) {
            stopped = true;
            break;
        }
    }
    if (stopped)
        return 3;

    if (!run.action)
        run.action = printPreview;
    return run.action(run, engine);
}
