#include "core/engine/NameEngine.h"

#include "core/base/FrontEnd.h"
#include "core/base/Trap.h"
#include "core/base/mTavCommon.h"
#include "core/engine/NewNamePath.h"
#include "core/engine/Operators.h"
#include "core/i18n/Language.h"
#include "core/settings/Settings.h"

#include <QDirIterator>
#include <QFileInfo>
#include <limits>

namespace tav {

namespace {

// Stands for a folder separator of a folder pattern while the name is built,
// so that the steps which replace characters never touch it. A noncharacter:
// it cannot come from a file name or a metadata value in practice.
constexpr QChar FolderMark = QChar(0xFDD0);
// Stand for a folder level of the pattern's own text that is exactly ".." or
// ".": only these may climb or stay. A level that a value makes "." or ".."
// is renamed, so a comment or an old name can never move a file upwards.
constexpr QChar ClimbMark = QChar(0xFDD1);
constexpr QChar HereMark = QChar(0xFDD2);

const QString MkdirToken = QStringLiteral("$MKDIR");

// Removes every folder-pattern marker: "$MKDIR", with its closing "$" unless
// that "$" opens a token ("$MKDIR$$dA$" and "$MKDIR$dA$" both keep "$dA$").
void removeFolderMarkers(QString &name) {
    static const QStringList tokens = {
        QStringLiteral("$N$"),  QStringLiteral("$A$"),   QStringLiteral("$M$"),   QStringLiteral("$J$"),
        QStringLiteral("$h$"),  QStringLiteral("$m$"),   QStringLiteral("$s$"),   QStringLiteral("$P$"),
        QStringLiteral("$t$"),  QStringLiteral("$D$"),   QStringLiteral("$DA$"),  QStringLiteral("$DM$"),
        QStringLiteral("$DJ$"), QStringLiteral("$Dh$"),  QStringLiteral("$Dm$"),  QStringLiteral("$Ds$"),
        QStringLiteral("$d$"),  QStringLiteral("$T$"),   QStringLiteral("$R$"),   QStringLiteral("$O$"),
        QStringLiteral("$K$"),  QStringLiteral("$C$"),   QStringLiteral("$dA$"),  QStringLiteral("$dM$"),
        QStringLiteral("$dJ$"), QStringLiteral("$dh$"),  QStringLiteral("$dm$"),  QStringLiteral("$ds$"),
        QStringLiteral("$Z$"),  QStringLiteral("$REPC"), QStringLiteral("$REPP"), QStringLiteral("$MKDIR")};
    qsizetype at;
    while ((at = name.indexOf(MkdirToken)) >= 0) {
        name.remove(at, MkdirToken.size());
        if (at < name.size() && name.at(at) == u'$') {
            const QStringView rest = QStringView(name).mid(at);
            bool opensToken = false;
            for (const QString &t : tokens)
                if (rest.startsWith(t)) {
                    opensToken = true;
                    break;
                }
            if (!opensToken)
                name.remove(at, 1);
        }
    }
}

QString twoDigits(int v) {
    return QString::number(v).rightJustified(2, QLatin1Char('0'));
}

// The counter text: the value in decimal, zero-padded to at least width digits
// after the sign (-5 on three digits is -005).
QString counterText(qint64 value, int width) {
    const QString digits = QString::number(value < 0 ? -value : value).rightJustified(width, QLatin1Char('0'));
    return value < 0 ? QLatin1Char('-') + digits : digits;
}

bool containsAny(const QString &name, std::initializer_list<const char16_t *> tokens) {
    for (const char16_t *t : tokens)
        if (name.contains(QStringView(t)))
            return true;
    return false;
}

void replaceToken(QString &name, const char16_t *token, const QString &value) {
    name.replace(QStringView(token).toString(), value);
}

// The pattern's text with its "\" turned into level marks and its own "."
// and ".." levels into their marks.
QString markPatternLevels(const QString &pattern) {
    QStringList levels = pattern.split(NameFolderSeparator);
    for (QString &level : levels) {
        if (level == QLatin1String(".."))
            level = ClimbMark;
        else if (level == QLatin1String("."))
            level = HereMark;
    }
    return levels.join(FolderMark);
}

// The levels of a folder pattern's finished name as the path uses them:
// empty folder levels dropped, a "\" from a value made ordinary, a level
// that a value made "." or ".." renamed "_", the pattern's own dot levels
// restored.
QStringList folderLevels(const QString &name) {
    QStringList levels = name.split(FolderMark);
    for (qsizetype i = levels.size() - 2; i >= 0; --i)
        if (levels[i].isEmpty())
            levels.removeAt(i);
    for (QString &level : levels) {
        level.replace(NameFolderSeparator, QLatin1Char('_'));
        if (level == QLatin1String(".") || level == QLatin1String(".."))
            level = QStringLiteral("_");
        level.replace(ClimbMark, QLatin1String(".."));
        level.replace(HereMark, QLatin1String("."));
    }
    return levels;
}

bool allDigits(QStringView s) {
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

} // namespace

NameEngine::NameEngine(QObject *parent)
    : QObject(parent), m_model(new RenameListModel(this)), m_locale(QLocale::system()),
      m_clock([] { return QDateTime::currentDateTime(); }) {
    // The settings' defaults until the caller passes the settings read.
    setForbiddenTable(builtInForbiddenTable());
    setNeverRenamed(builtInNeverRenamed());
}

NameEngine::~NameEngine() = default;

void NameEngine::setRule(const Rule &rule) {
    m_rule = rule;
    m_txtDebut = rule.DebutPas == ContinueModeStart ? QStringLiteral("#") : QString::number(rule.DebutPas);
    m_txtPas = QString::number(rule.Pas);
}

void NameEngine::setForbiddenTable(const QList<ForbiddenRow> &table) {
    m_forbidden = table;
    m_replacer = ForbiddenCharReplacer(table);
}

void NameEngine::setNeverRenamed(const QStringList &names) {
    m_neverRenamed = names;
    m_neverRenamedSet = QSet<QString>(names.begin(), names.end());
}

void NameEngine::setClock(Clock clock) {
    m_clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); });
}

QString NameEngine::countLabelText() const {
    return i18n::Message(19, QString::number(m_model->count()));
}

void NameEngine::clearList() {
    m_model->clear();
    m_identical.reset();
    emit countLabelChanged(countLabelText());
}

void NameEngine::reportFailure() {
    int number = 0;
    QString description;
    currentError(number, description);
    // One box per distinct fault and recomputation: a rule that fails for
    // every file must not open thousands of boxes.
    if (m_busy) {
        const QString key = QString::number(number) + QLatin1Char(' ') + description;
        if (m_reported.contains(key))
            return;
        m_reported.insert(key);
    }
    reportPlainError(number, description, QStringLiteral("affiche_nom"), QStringLiteral("frmMain"));
}

bool NameEngine::affiche_nom(const QString &path) {
    // A file added by an event handled while the list is being rebuilt (a
    // drop during a folder scan) joins the list once the rebuild is done.
    if (m_busy) {
        m_deferred.append(path);
        return false;
    }
    QString oldName, folder;
    try {
        oldName = mTavCommon::TavGetFileName(path);
        folder = mTavCommon::TavGetPath(path);
    } catch (...) {
        // Without the path helpers the row still joins the list, with no new name.
        reportFailure();
        const PathParts parts = splitPath(path);
        m_model->appendFile(parts.folder, parts.name);
        return false;
    }
    return appendAndCompute(path, folder, oldName);
}

bool NameEngine::appendAndCompute(const QString &path, const QString &folder, const QString &oldName) {
    const int row = m_model->appendFile(folder, oldName);
    const quint64 layout = m_model->layoutGeneration();
    Computed result;
    try {
        result = compute(path, oldName, folder, row + 1);
        // The continue mode lets events run while it reads the folder. When
        // the list was rebuilt, emptied or reordered meanwhile, this row index
        // no longer stands for this file and the rebuild has given (or will
        // give) the file its name: the result is stale and must leave no
        // trace, neither in the row nor in the identical-names table.
        if (m_model->layoutGeneration() != layout)
            return false;
        numberIdentical(result);
    } catch (...) {
        reportFailure();
        return false;
    }
    if (result.stop)
        return true;
    const QString problem = result.marker ? QString() : newNameProblem(result.newName, result.makesFolders);
    m_model->setNewName(row, result.newName, problem, result.makesFolders);
    m_model->setSelected(row, false);
    if (!m_model->inBatch())
        emit rowComputed(row);
    return false;
}

NameEngine::Computed NameEngine::computeNewName(const QString &path, int position) {
    IdenticalNames saved = m_identical;
    Computed c = compute(path, mTavCommon::TavGetFileName(path), mTavCommon::TavGetPath(path), position);
    numberIdentical(c);
    m_identical = saved;
    return c;
}

NameEngine::Computed NameEngine::compute(const QString &path, const QString &oldName, const QString &folder,
                                         int position) {
    NameBuild b;
    b.path = path;
    b.oldName = oldName;
    b.folder = folder;
    b.name = m_rule.Regle;
    Computed out;
    if (markerName(b, out))
        return out;
    replaceOldNameTokens(b);
    replaceClockTokens(b);
    replaceFileTokens(b);
    replaceMetadataTokens(b);
    if (applyOperators(b)) {
        out.stop = true;
        return out;
    }
    b.name = applyCounter(b.name, folder, position, b.folderPattern, b.absolute);
    finishName(b, out);
    return out;
}

bool NameEngine::markerName(NameBuild &b, Computed &out) {
    if (m_neverRenamedSet.contains(b.oldName)) {
        out.newName = i18n::Message(91);
        out.marker = true;
        return true;
    }

    // A folder pattern: the marker goes, and its "\" become folder levels.
    b.folderPattern = b.name.contains(MkdirToken);
    if (b.folderPattern) {
        removeFolderMarkers(b.name);
        b.absolute = b.name.startsWith(NameFolderSeparator);
        b.name = markPatternLevels(b.name);
    }

    // Base name and extension come from the file name alone: a dot in a
    // folder's name must not cut the path.
    b.base = mTavCommon::TavStrWithoutExt(b.oldName);
    b.ext = mTavCommon::TavGetExtension(b.oldName);

    if (m_typeFilter.source() != m_rule.Extension)
        m_typeFilter = WildcardList(m_rule.Extension);
    if (!m_typeFilter.matchesAny(b.ext)) {
        out.newName = i18n::Message(97);
        out.marker = true;
        return true;
    }
    if (m_rule.ModifieExtension != 0)
        b.ext = m_rule.ModifieExtensionValeur;
    return false;
}

void NameEngine::replaceOldNameTokens(NameBuild &b) const {
    // The first run of digits of the old name.
    if (b.name.contains(u"$N$")) {
        QString digits;
        for (QChar c : b.oldName) {
            if (c >= u'0' && c <= u'9')
                digits += c;
            else if (!digits.isEmpty())
                break;
        }
        replaceToken(b.name, u"$N$", digits);
    }
    b.name.replace(QLatin1Char('*'), b.base);
}

void NameEngine::replaceClockTokens(NameBuild &b) const {
    // The current date and time, read for this file.
    if (!b.name.contains(u'$') || !containsAny(b.name, {u"$A$", u"$M$", u"$J$", u"$h$", u"$m$", u"$s$"}))
        return;
    const QDateTime now = m_clock();
    replaceToken(b.name, u"$A$", dateText(now.date(), yearPattern()));
    replaceToken(b.name, u"$M$", dateText(now.date(), monthPattern()));
    replaceToken(b.name, u"$J$", now.toString(u"dd"));
    replaceToken(b.name, u"$h$", now.toString(u"HH"));
    replaceToken(b.name, u"$m$", now.toString(u"mm"));
    replaceToken(b.name, u"$s$", now.toString(u"ss"));
}

void NameEngine::replaceFileTokens(NameBuild &b) const {
    if (!b.name.contains(u'$'))
        return;
    if (b.name.contains(u"$P$"))
        replaceToken(b.name, u"$P$", mTavCommon::TavGetFileName(b.folder));
    if (b.name.contains(u"$t$") && mTavCommon::TavFileExists(b.path))
        replaceToken(b.name, u"$t$", QString::number(QFileInfo(b.path).size()));

    // The modification date: only when asked for, and left alone for a file that is gone.
    if (!containsAny(b.name, {u"$D$", u"$DA$", u"$DM$", u"$DJ$", u"$Dh$", u"$Dm$", u"$Ds$"}))
        return;
    const QFileInfo info(b.path);
    if (!info.exists())
        return;
    const QDateTime when = info.lastModified().toLocalTime();
    replaceToken(b.name, u"$D$", when.toString(u"dd/MM/yyyy HH:mm:ss"));
    replaceToken(b.name, u"$DA$", dateText(when.date(), yearPattern()));
    replaceToken(b.name, u"$DM$", dateText(when.date(), monthPattern()));
    replaceToken(b.name, u"$DJ$", when.toString(u"dd"));
    replaceToken(b.name, u"$Dh$", when.toString(u"HH"));
    replaceToken(b.name, u"$Dm$", when.toString(u"mm"));
    replaceToken(b.name, u"$Ds$", when.toString(u"ss"));
}

void NameEngine::replaceMetadataTokens(NameBuild &b) const {
    // The record is read once, only when a token asks for it.
    if (!b.name.contains(u'$') || !containsAny(b.name, {u"$d$", u"$T$", u"$K$", u"$R$", u"$O$", u"$C$", u"$dA$",
                                                        u"$dM$", u"$dJ$", u"$dh$", u"$dm$", u"$ds$"}))
        return;
    const MetadataRecord rec = m_metadata ? m_metadata->read(b.path) : MetadataRecord();
    const bool hasYear = !rec[MetadataRecord::Year].isEmpty();
    replaceToken(b.name, u"$T$", rec[MetadataRecord::FileSize]);
    replaceToken(b.name, u"$d$", rec[MetadataRecord::DateTime]);
    replaceToken(b.name, u"$dA$", hasYear ? yearText(rec[MetadataRecord::Year]) : QString());
    replaceToken(b.name, u"$dM$", hasYear ? monthText(rec[MetadataRecord::Month]) : QString());
    replaceToken(b.name, u"$dJ$", rec[MetadataRecord::Day]);
    replaceToken(b.name, u"$dh$", rec[MetadataRecord::Hour]);
    replaceToken(b.name, u"$dm$", rec[MetadataRecord::Minute]);
    replaceToken(b.name, u"$ds$", rec[MetadataRecord::Second]);
    replaceToken(b.name, u"$K$", rec[MetadataRecord::CameraModel]);
    replaceToken(b.name, u"$R$", rec[MetadataRecord::Resolution]);
    replaceToken(b.name, u"$O$", rec[MetadataRecord::Orientation]);
    replaceToken(b.name, u"$C$", rec[MetadataRecord::Comment]);
}

bool NameEngine::applyOperators(NameBuild &b) const {
    if (!b.name.contains(u'$'))
        return false;
    if (b.name.contains(u"$REPC"))
        b.name = applyRepc(b.name, b.base);
    if (b.name.contains(u"$REPP")) {
        const ReppResult r = applyRepp(b.name, b.base);
        if (r.stop)
            return true;
        b.name = r.name;
    }
    return false;
}

void NameEngine::finishName(NameBuild &b, Computed &out) const {
    // The options tidy the file name; in a folder pattern the folder levels
    // before it only lose what cannot stand in a folder name.
    QString folders;
    QString name = std::move(b.name);
    if (b.folderPattern) {
        const qsizetype cut = name.lastIndexOf(FolderMark);
        if (cut >= 0) {
            folders = name.left(cut + 1);
            name = name.mid(cut + 1);
        }
    }
    if (m_rule.EffaceEspace != 0)
        name = trimSpaces(name);
    if (m_rule.PremierCaractereEnMajuscule != 0)
        name = upperFirstChar(name);
    if (m_rule.PremierCaractereEnMajusculePourChaqueMot != 0)
        name = upperFirstCharOfEachWord(name);
    name = applyExtensionAndCase(name, b.ext, m_case);
    if (b.folderPattern)
        name.prepend(folders);
    if (m_rule.RemplacerCaractereInterdit == 1)
        name = m_replacer.apply(name);
    if (m_composeNfc)
        name = tav::composeNfc(name);

    if (b.folderPattern) {
        // The pattern's leading "\" alone makes the path absolute.
        const QStringList levels = folderLevels(name);
        out.makesFolders = b.absolute || levels.size() > 1;
        name = (b.absolute ? QString(NameFolderSeparator) : QString()) + levels.join(NameFolderSeparator);
    }
    out.newName = name;
}

void NameEngine::numberIdentical(Computed &c) {
    if (!c.marker && !c.stop && m_rule.IncrementeFichierIdentique != 0)
        c.newName = m_identical.number(c.newName);
}

NameEngine::Inputs NameEngine::inputs() const {
    return Inputs{m_rule, m_txtDebut, m_txtPas, m_case, m_yearFormat, m_monthFormat, m_forbidden, m_neverRenamed};
}

QString NameEngine::applyCounter(const QString &nameIn, const QString &folder, int position, bool folderPattern,
                                 bool absolute) {
    QString name = nameIn;
    if (!name.contains(QLatin1Char('#')))
        return name;

    if (isContinueMode()) {
        if (m_rule.RemplacerCaractereInterdit == 1)
            name = m_replacer.apply(name);
        // In a folder pattern a value's "\" is an ordinary character, as the
        // finished name will have it.
        if (folderPattern)
            name.replace(NameFolderSeparator, QLatin1Char('_'));
        // The table may have changed lengths or removed a "#": measure now.
        const int width = int(name.count(QLatin1Char('#')));
        if (width == 0)
            return name;
        const qsizetype first = name.indexOf(QLatin1Char('#'));
        QString prefix = name.left(first);
        const QString suffix = name.mid(first + width);
        // A folder pattern's counter in its last level continues the numbers
        // of the folder the file goes to; the prefix is then the last level's.
        QString scanned = folder;
        const qsizetype cut = folderPattern ? name.lastIndexOf(FolderMark) : -1;
        if (cut >= 0 && first > cut) {
            QStringList levels = folderLevels(name);
            levels.removeLast();
            const QString path = levels.join(NameFolderSeparator);
            scanned = destinationPath(folder, absolute ? NameFolderSeparator + path : path, true);
            prefix = name.mid(cut + 1, first - cut - 1);
        }
        const qint64 highest = continueModeHighest(scanned, prefix, width, suffix);
        const qint64 value = highest + m_rule.Pas;
        if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
            throw TavError(ErrOverflow, QStringLiteral("Overflow"));
        return name.left(first) + counterText(value, width) + suffix;
    }

    // The fields are read for every file; the last reading is kept, since
    // they rarely change between two files.
    if (m_txtDebut != m_parsedDebut.first || m_parsedDebut.first.isNull())
        m_parsedDebut = {m_txtDebut, readCounterStart(m_txtDebut)};
    if (m_txtPas != m_parsedPas.first || m_parsedPas.first.isNull())
        m_parsedPas = {m_txtPas, readCounterStep(m_txtPas)};
    const qint64 start = m_parsedDebut.second;
    const qint64 step = m_parsedPas.second;
    m_rule.DebutPas = std::int32_t(start);
    m_rule.Pas = std::int16_t(step);
    const qint64 value = qint64(position - 1) * step + start;
    if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
        throw TavError(ErrOverflow, QStringLiteral("Overflow"));

    const int width = int(name.count(QLatin1Char('#')));
    const qsizetype first = name.indexOf(QLatin1Char('#'));
    name = name.left(first) + QStringLiteral("$Z$") + name.mid(first + width);
    name.replace(QStringLiteral("$Z$"), counterText(value, width));
    return name;
}

qint64 NameEngine::continueModeHighest(const QString &folder, const QString &prefix, int width, const QString &suffix) {
    // Within one recomputation the folder is read once; elsewhere it is read
    // for every file, letting the window's events run between entries.
    QStringList entries;
    auto cached = m_busy ? m_folderCache.constFind(folder) : m_folderCache.constEnd();
    if (cached != m_folderCache.constEnd()) {
        entries = *cached;
    } else {
        QDirIterator it(folder.isEmpty() ? QStringLiteral("/") : folder,
                        QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            it.next();
            const QString entry = it.fileName();
            if (!entry.startsWith(QLatin1Char('.')))
                entries.append(entry);
            frontEnd().processEvents();
        }
        if (m_busy)
            m_folderCache.insert(folder, entries);
    }

    qint64 highest = 0;
    const qsizetype need = prefix.size() + width;
    auto consider = [&](const QString &entry) -> bool {
        if (entry.size() < need || !entry.startsWith(prefix) || QStringView(entry).mid(need) != suffix)
            return false;
        const QStringView field = QStringView(entry).mid(prefix.size(), width);
        // An entry whose field holds other characters is another kind of name.
        if (!allDigits(field))
            return false;
        bool ok = false;
        const qint64 v = field.toLongLong(&ok);
        if (!ok || v > std::numeric_limits<std::int32_t>::max())
            throw TavError(ErrOverflow, QStringLiteral("Overflow"));
        highest = std::max(highest, v);
        return true;
    };
    for (const QString &entry : std::as_const(entries)) {
        // Entries are compared with their extension and, failing that,
        // without it, since the counter's suffix is taken before the
        // extension is added.
        if (!consider(entry)) {
            const qsizetype dot = entry.lastIndexOf(QLatin1Char('.'));
            if (dot > 0)
                consider(entry.left(dot));
        }
    }
    return highest;
}

QString NameEngine::yearPattern() const {
    return m_yearFormat == 1 ? QStringLiteral("yy") : QStringLiteral("yyyy");
}

QString NameEngine::monthPattern() const {
    switch (m_monthFormat) {
    case 0:
        return QStringLiteral("M");
    case 2:
        return QStringLiteral("MMM");
    case 3:
        return QStringLiteral("MMMM");
    default:
        return QStringLiteral("MM");
    }
}

QString NameEngine::dateText(QDate date, const QString &pattern) const {
    return (pattern.startsWith(QLatin1String("MMM")) ? m_locale : QLocale::c()).toString(date, pattern);
}

// A shot's year and month come as the tool wrote them; a year such as 0000
// (an unset date) is no date, so they are formatted as numbers.
QString NameEngine::yearText(const QString &year) const {
    bool ok = false;
    const int y = year.trimmed().toInt(&ok);
    if (!ok)
        return m_yearFormat == 1 ? year.right(2) : year;
    if (m_yearFormat == 1)
        return twoDigits(((y % 100) + 100) % 100);
    return QString::number(y).rightJustified(4, QLatin1Char('0'));
}

QString NameEngine::monthText(const QString &month) const {
    bool ok = false;
    const int m = month.trimmed().toInt(&ok);
    if (!ok || m < 1 || m > 12)
        return month;
    return dateText(QDate(2000, m, 1), monthPattern());
}

void NameEngine::update_names() {
    if (m_busy) {
        m_refreshAsked = true;
        return;
    }
    m_identical.reset();
    m_busy = true;
    m_folderCache.clear();
    m_reported.clear();
    frontEnd().objetOnOff(false, false, false);

    // A refresh asked for while this one let events run has returned at once.
    // When the rule or a setting changed meanwhile, the rows computed before
    // the change would show another rule's names than the rows after it, so
    // the list is rebuilt again (a bounded number of times).
    for (int pass = 0; pass < 4; ++pass) {
        m_refreshAsked = false;
        const Inputs before = inputs();
        rebuildRows();
        if (!m_refreshAsked || inputs() == before)
            break;
        m_identical.reset();
        m_reported.clear();
    }

    // Files added meanwhile, in the order they came.
    m_busy = false;
    while (!m_deferred.isEmpty())
        if (affiche_nom(m_deferred.takeFirst()))
            m_deferred.clear();
    m_busy = true;

    emit countLabelChanged(countLabelText());
    m_folderCache.clear();
    m_reported.clear();
    m_busy = false;
    frontEnd().objetOnOff(true, false, false);
}

void NameEngine::rebuildRows() {
    const int rows = m_model->count();
    if (rows == 0 || !m_autoRefresh)
        return;
    const bool progress = rows > 1;
    if (progress)
        frontEnd().progressStart(rows);
    // Every row's file is noted as its folder and old name (the parts
    // affiche_nom would split its full path into).
    const QList<FileEntry> noted = m_model->entries();
    m_model->beginBatch();
    m_model->clear();
    m_identical.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        if (progress)
            frontEnd().progressStep(i + 1);
        const FileEntry &e = noted.at(i);
        if (appendAndCompute(e.fullPath(), e.folder, e.oldName)) {
            // The files after the one that stopped stay listed, without
            // a new name, so that nothing leaves the list unasked.
            for (int j = i + 1; j < rows; ++j)
                m_model->appendFile(noted.at(j).folder, noted.at(j).oldName);
            break;
        }
    }
    m_model->endBatch();
    if (progress)
        frontEnd().progressEnd();
}

} // namespace tav
