#include "core/engine/NameComputer.h"

#include "core/base/FrontEnd.h"
#include "core/base/Trap.h"
#include "core/base/mTavCommon.h"
#include "core/engine/NewNamePath.h"
#include "core/engine/Operators.h"
#include "core/engine/TokenTable.h"
#include "core/i18n/Language.h"

#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cstring>
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
// Stands for a $REGEX operator in the rule until the operators' step.
constexpr QChar RegexMark = QChar(0xFDD3);

const QString MkdirToken = tokenText(TokenValue::MakeFolders);
// Removes every folder-pattern marker: "$MKDIR", with its closing "$" unless
// that "$" opens a token ("$MKDIR$$dA$" and "$MKDIR$dA$" both keep "$dA$").
void removeFolderMarkers(QString &name) {
    static const QStringList tokens = dollarTokens();
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
    char16_t digits[24];
    int n = 0;
    for (quint64 v = value < 0 ? quint64(0) - quint64(value) : quint64(value); n == 0 || v != 0; v /= 10)
        digits[n++] = char16_t(u'0' + v % 10);
    QString text;
    text.reserve(std::max(n, width) + 1);
    if (value < 0)
        text.append(u'-');
    for (int i = n; i < width; ++i)
        text.append(u'0');
    while (n > 0)
        text.append(QChar(digits[--n]));
    return text;
}

// The rows of one kind that make their value the same way, in table order.
QList<const TokenRow *> rowsOf(TokenKind kind, std::initializer_list<TokenValue> values) {
    QList<const TokenRow *> out;
    for (const TokenRow &r : tokenTable())
        if (r.kind == kind && std::find(values.begin(), values.end(), r.value) != values.end())
            out.append(&r);
    return out;
}

// The kinds of "$" tokens that the steps after the old name's look for. A
// step runs only when the name holds one of its kinds; the kinds are read
// again whenever a step has changed the name.
enum TokenKinds : unsigned {
    ClockTokens = 1u << 0,
    ParentToken = 1u << 1,
    SizeToken = 1u << 2,
    FileDateTokens = 1u << 3,
    PhotoTokens = 1u << 4,
    ReplaceTextToken = 1u << 5,
    ReplaceAtToken = 1u << 6,
};

struct KindOfToken {
    QString text;
    unsigned kind;
};

struct TokenKindTable {
    // Tokens that begin with "$", found at a "$", by the character after it
    // (the last list: any other character).
    std::array<QList<KindOfToken>, 129> dollar;
    unsigned always = 0; // kinds with a token that does not: never ruled out
};

qsizetype secondCharSlot(QChar c) {
    return c.unicode() < 128 ? qsizetype(c.unicode()) : 128;
}

const TokenKindTable &tokenKinds() {
    static const TokenKindTable table = [] {
        TokenKindTable t;
        for (const TokenRow &r : tokenTable()) {
            unsigned kind = 0;
            if (r.kind == TokenKind::Clock && r.value == TokenValue::ClockDate)
                kind = ClockTokens;
            else if (r.value == TokenValue::ParentFolder)
                kind = ParentToken;
            else if (r.value == TokenValue::SizeBytes)
                kind = SizeToken;
            else if (r.kind == TokenKind::File && r.value == TokenValue::FileDate)
                kind = FileDateTokens;
            else if (r.kind == TokenKind::Photo && r.value == TokenValue::PhotoField)
                kind = PhotoTokens;
            else if (r.value == TokenValue::ReplaceText)
                kind = ReplaceTextToken;
            else if (r.value == TokenValue::ReplaceAt)
                kind = ReplaceAtToken;
            if (kind == 0)
                continue;
            if (r.text.startsWith(QLatin1Char('$')) && r.text.size() >= 2)
                t.dollar[size_t(secondCharSlot(r.text[1]))].append({r.text, kind});
            else
                t.always |= kind;
        }
        return t;
    }();
    return table;
}

// Whether the characters at text begin with token (there being room).
inline bool startsWithUnits(const QChar *text, const QString &token) {
    const QChar *t = token.constData();
    for (qsizetype i = 0, n = token.size(); i < n; ++i)
        if (text[i] != t[i])
            return false;
    return true;
}

// The kinds of tokens name holds, from one look at each of its "$".
unsigned tokenKindsIn(const QString &name) {
    const TokenKindTable &table = tokenKinds();
    unsigned kinds = table.always;
    const qsizetype n = name.size();
    for (qsizetype at = name.indexOf(u'$'); at >= 0 && at + 1 < n; at = name.indexOf(u'$', at + 1)) {
        for (const KindOfToken &t : table.dollar[size_t(secondCharSlot(name[at + 1]))])
            if (t.text.size() <= n - at && startsWithUnits(name.data() + at, t.text))
                kinds |= t.kind;
    }
    return kinds;
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

NameComputer::NameComputer(const NamingOptions &options)
    : m_options(options), m_replacer(options.forbidden),
      m_neverRenamedSet(options.neverRenamed.begin(), options.neverRenamed.end()) {
    setClock({});
    prepareOptions();
    prepareRule();
}

void NameComputer::setOptions(const NamingOptions &options) {
    if (options.forbidden != m_options.forbidden)
        m_replacer = ForbiddenCharReplacer(options.forbidden);
    if (options.neverRenamed != m_options.neverRenamed)
        m_neverRenamedSet = QSet<QString>(options.neverRenamed.begin(), options.neverRenamed.end());
    m_options = options;
    prepareOptions();
    prepareRule();
}

void NameComputer::prepareOptions() {
    m_neverRenamedLengths.clear();
    for (const QString &name : std::as_const(m_options.neverRenamed)) {
        if (size_t(name.size()) >= m_neverRenamedLengths.size())
            m_neverRenamedLengths.resize(size_t(name.size()) + 1);
        m_neverRenamedLengths[size_t(name.size())] = true;
    }
    if (m_typeFilter.source() != m_options.rule.Extension)
        m_typeFilter = WildcardList(m_options.rule.Extension);
}

void NameComputer::prepareRule() {
    const QString &rule = m_options.rule.Regle;
    if (rule == m_regexSource && !m_regexSource.isNull())
        return;
    m_regexSource = rule;
    m_regexes.clear();
    m_startName.clear();
    const QList<RegexSpan> spans = findRegexOperators(rule);
    qsizetype at = 0;
    for (const RegexSpan &span : spans) {
        m_startName += QStringView(rule).mid(at, span.begin - at);
        m_startName += RegexMark;
        m_regexes.append(replacerOf(span));
        at = span.end;
    }
    if (spans.isEmpty())
        m_startName = rule;
    else
        m_startName += QStringView(rule).mid(at);

    // A folder pattern: the marker goes, and its "\" become folder levels.
    m_folderPattern = m_startName.contains(MkdirToken);
    m_absolute = false;
    if (m_folderPattern) {
        removeFolderMarkers(m_startName);
        m_absolute = m_startName.startsWith(NameFolderSeparator);
        m_startName = markPatternLevels(m_startName);
    }
    const QString digitsToken = tokenText(TokenValue::NameDigits);
    const QString baseToken = tokenText(TokenValue::BaseName);
    m_hasDigitsToken = m_startName.contains(digitsToken);
    m_hasBaseToken = m_startName.contains(baseToken);

    // The pieces, as the token steps would find the tokens: every "$N$"
    // from left to right, then every "*" in what lies between (digits hold
    // no "*", and no "*" lies within a "$N$").
    m_pieces.clear();
    const auto addText = [&](qsizetype begin, qsizetype end) {
        qsizetype at = begin;
        for (qsizetype star; m_hasBaseToken && (star = m_startName.indexOf(baseToken, at)) >= 0 && star < end;
             at = star + baseToken.size()) {
            if (star > at)
                m_pieces.append({at, star - at, Slot::None});
            m_pieces.append({star, baseToken.size(), Slot::Base});
        }
        if (end > at)
            m_pieces.append({at, end - at, Slot::None});
    };
    qsizetype from = 0;
    for (qsizetype found; m_hasDigitsToken && (found = m_startName.indexOf(digitsToken, from)) >= 0;
         from = found + digitsToken.size()) {
        addText(from, found);
        m_pieces.append({found, digitsToken.size(), Slot::Digits});
    }
    addText(from, m_startName.size());
    bool plain = m_regexes.isEmpty() && tokenKinds().always == 0;
    for (const Piece &p : std::as_const(m_pieces))
        if (p.slot == Slot::None) {
            const QStringView text = QStringView(m_startName).mid(p.begin, p.length);
            plain = plain && !text.contains(u'$') && !text.contains(u'#');
        }
    m_plainStart = plain;
}

bool NameComputer::fillStart(Build &b) const {
    // The first run of digits of the old name.
    QStringView digits;
    if (m_hasDigitsToken) {
        const QString &old = *b.oldName;
        const auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
        qsizetype first = 0;
        while (first < old.size() && !digit(old[first]))
            ++first;
        qsizetype end = first;
        while (end < old.size() && digit(old[end]))
            ++end;
        digits = QStringView(old).mid(first, end - first);
    }
    qsizetype size = 0;
    for (const Piece &p : m_pieces)
        size += p.slot == Slot::None ? p.length : (p.slot == Slot::Base ? b.base.size() : digits.size());
    b.name.resize(size);
    char16_t *out = reinterpret_cast<char16_t *>(b.name.data());
    const char16_t *const start = reinterpret_cast<const char16_t *>(m_startName.constData());
    bool plain = m_plainStart;
    for (const Piece &p : m_pieces) {
        if (p.slot == Slot::None) {
            std::memcpy(out, start + p.begin, size_t(p.length) * sizeof(char16_t));
            out += p.length;
            continue;
        }
        const QStringView value = p.slot == Slot::Base ? b.base : digits;
        const char16_t *v = value.utf16();
        bool marks = false;
        for (qsizetype i = 0; i < value.size(); ++i) {
            const char16_t c = v[i];
            marks |= c == u'$' || c == u'#';
            out[i] = c;
        }
        out += value.size();
        plain = plain && !marks;
    }
    return plain;
}

void NameComputer::expect(const QStringList &paths) const {
    if (m_metadata && patternUsesMetadata(m_options.rule.Regle))
        m_metadata->expect(paths);
}

void NameComputer::setClock(Clock clock) {
    m_clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); });
}

void NameComputer::beginRun() {
    m_inRun = true;
    m_folderCache.clear();
}

void NameComputer::endRun() {
    m_inRun = false;
    m_folderCache.clear();
}

NameComputer::Result NameComputer::compute(const QString &path, int position) {
    return compute(path, mTavCommon::TavGetFileName(path), mTavCommon::TavGetPath(path), position);
}

NameComputer::Result NameComputer::compute(const QString &path, const QString &oldName, const QString &folder,
                                           int position) {
    // A computation started by events that another one lets run (the
    // continue mode's folder scan) builds its name apart.
    if (m_computing) {
        Build b;
        return computeWith(b, path, oldName, folder, position);
    }
    m_computing = true;
    struct Done {
        bool &flag;
        ~Done() { flag = false; }
    } done{m_computing};
    return computeWith(m_build, path, oldName, folder, position);
}

NameComputer::Result NameComputer::computeWith(Build &b, const QString &path, const QString &oldName,
                                               const QString &folder, int position) {
    b.path = path;
    b.oldName = &oldName;
    b.folder = &folder;
    b.tokens = 0;
    Result out;
    if (markerName(b, out))
        return out;
    if (fillStart(b)) {
        // No token, operator nor counter left: only the options' steps.
        finishName(b, out);
        return out;
    }
    b.rescan();
    replaceClockTokens(b);
    replaceFileTokens(b);
    replaceMetadataTokens(b);
    if (applyOperators(b)) {
        out.stop = true;
        return out;
    }
    if (!applyRegexOperators(b, out))
        return out;
    applyCounter(b, position);
    finishName(b, out);
    return out;
}

bool NameComputer::markerName(Build &b, Result &out) {
    const QString &oldName = *b.oldName;
    if (size_t(oldName.size()) < m_neverRenamedLengths.size() && m_neverRenamedLengths[size_t(oldName.size())] &&
        m_neverRenamedSet.contains(oldName)) {
        out.newName = i18n::Message(91);
        out.marker = true;
        return true;
    }

    // The rule's text, its folder marks made once (see prepareRule).
    b.folderPattern = m_folderPattern;
    b.absolute = m_absolute;

    // Base name and extension come from the file name alone: a dot in a
    // folder's name must not cut the path.
    const qsizetype dot = mTavCommon::extensionDot(oldName);
    b.base = dot < 0 ? QStringView(oldName) : QStringView(oldName).left(dot);
    b.ext = dot < 0 ? QStringView() : QStringView(oldName).mid(dot + 1);
    if (!b.extText.isNull())
        b.extText = QString();

    if (!m_typeFilter.matchesAny(b.ext)) {
        out.newName = i18n::Message(97);
        out.marker = true;
        return true;
    }
    if (m_options.rule.ModifieExtension != 0) {
        b.extText = m_options.rule.ModifieExtensionValeur;
        b.ext = b.extText;
    }
    return false;
}

const QString &NameComputer::Build::filePath() {
    if (path.isNull())
        path = *folder + QLatin1Char('/') + *oldName;
    return path;
}

void NameComputer::Build::rescan() {
    tokens = tokenKindsIn(name);
}

void NameComputer::Build::replace(QStringView token, QStringView value) {
    qsizetype at = findText(name, token);
    if (at < 0)
        return;
    spare.resize(0);
    qsizetype from = 0;
    do {
        spare.append(QStringView(name).mid(from, at - from));
        spare.append(value);
        from = at + token.size();
    } while ((at = findText(name, token, from)) >= 0);
    spare.append(QStringView(name).mid(from));
    takeSpare();
}

void NameComputer::replaceClockTokens(Build &b) const {
    // The current date and time, read for this file.
    static const QList<const TokenRow *> rows = rowsOf(TokenKind::Clock, {TokenValue::ClockDate});
    if (!(b.tokens & ClockTokens))
        return;
    const QDateTime now = m_clock();
    for (const TokenRow *r : rows)
        b.replace(r->text, datePartText(now, r->part));
    b.rescan();
}

void NameComputer::replaceFileTokens(Build &b) const {
    static const QString folderToken = tokenText(TokenValue::ParentFolder);
    static const QString sizeToken = tokenText(TokenValue::SizeBytes);
    if (b.tokens & ParentToken) {
        b.replace(folderToken, mTavCommon::TavGetFileName(*b.folder));
        b.rescan();
    }
    if ((b.tokens & SizeToken) && mTavCommon::TavFileExists(b.filePath())) {
        b.replace(sizeToken, QString::number(QFileInfo(b.filePath()).size()));
        b.rescan();
    }

    // The modification date: only when asked for, and left alone for a file that is gone.
    static const QList<const TokenRow *> dates = rowsOf(TokenKind::File, {TokenValue::FileDate});
    if (!(b.tokens & FileDateTokens))
        return;
    const QFileInfo info(b.filePath());
    if (!info.exists())
        return;
    const QDateTime when = info.lastModified().toLocalTime();
    for (const TokenRow *r : dates)
        b.replace(r->text, datePartText(when, r->part));
    b.rescan();
}

void NameComputer::replaceMetadataTokens(Build &b) const {
    // The record is read once, only when a token asks for it.
    static const QList<const TokenRow *> rows = rowsOf(TokenKind::Photo, {TokenValue::PhotoField});
    if (!(b.tokens & PhotoTokens))
        return;
    const MetadataRecord rec = m_metadata ? m_metadata->read(b.filePath()) : MetadataRecord();
    for (const TokenRow *r : rows)
        b.replace(r->text, photoFieldText(rec, r->field, r->part));
    b.rescan();
}

QString NameComputer::datePartText(const QDateTime &when, DatePart part) const {
    switch (part) {
    case DatePart::Full:
        return when.toString(u"dd/MM/yyyy HH:mm:ss");
    case DatePart::Year:
        return dateText(when.date(), yearPattern());
    case DatePart::Month:
        return dateText(when.date(), monthPattern());
    case DatePart::Day:
        return when.toString(u"dd");
    case DatePart::Hour:
        return when.toString(u"HH");
    case DatePart::Minute:
        return when.toString(u"mm");
    case DatePart::Second:
        return when.toString(u"ss");
    case DatePart::None:
        break;
    }
    return QString();
}

// A shot's year and month follow the settings' formats, and only when the
// record holds a year; the other fields come as the tool wrote them.
QString NameComputer::photoFieldText(const MetadataRecord &rec, int field, DatePart part) const {
    const bool hasYear = !rec[MetadataRecord::Year].isEmpty();
    switch (part) {
    case DatePart::Year:
        return hasYear ? yearText(rec[field]) : QString();
    case DatePart::Month:
        return hasYear ? monthText(rec[field]) : QString();
    default:
        return rec[field];
    }
}

bool NameComputer::applyOperators(Build &b) const {
    if (b.tokens & ReplaceTextToken) {
        applyRepc(b.name, b.base, b.spare);
        b.takeSpare();
        b.rescan();
    }
    if (b.tokens & ReplaceAtToken) {
        const ReppResult r = applyRepp(b.name, b.base.toString());
        if (r.stop)
            return true;
        b.name = r.name;
    }
    return false;
}

bool NameComputer::applyRegexOperators(Build &b, Result &out) const {
    if (m_regexes.isEmpty())
        return true;
    QString name;
    qsizetype next = 0;
    const QString base = b.base.toString();
    for (QChar c : std::as_const(b.name)) {
        if (c != RegexMark || next >= m_regexes.size()) {
            name += c;
            continue;
        }
        const RegexReplacer::Result r = m_regexes.at(next++).apply(base);
        if (!r.failure.isEmpty()) {
            out.problem = i18n::getText(QStringLiteral("MSG"), QStringLiteral("m108"),
                                        QStringLiteral("The regular expression could not be applied to this name (%s): "
                                                       "the file gets no new name."),
                                        r.failure);
            return false;
        }
        name += r.text;
    }
    b.name = std::move(name);
    return true;
}

void NameComputer::finishName(Build &b, Result &out) const {
    // The options tidy the file name; in a folder pattern the folder levels
    // before it only lose what cannot stand in a folder name.
    QString folders;
    QString &name = b.name;
    if (b.folderPattern) {
        const qsizetype cut = name.lastIndexOf(FolderMark);
        if (cut >= 0) {
            folders = name.left(cut + 1);
            name.remove(0, cut + 1);
        }
    }
    if (m_options.rule.EffaceEspace != 0) {
        // As trimSpaces, in place.
        qsizetype end = name.size();
        while (end > 0 && name[end - 1] == u' ')
            --end;
        name.truncate(end);
        qsizetype start = 0;
        while (start < end && name[start] == u' ')
            ++start;
        name.remove(0, start);
    }
    if (m_options.rule.PremierCaractereEnMajuscule != 0)
        name = upperFirstChar(name);
    if (m_options.rule.PremierCaractereEnMajusculePourChaqueMot != 0)
        name = upperFirstCharOfEachWord(name);
    if (m_options.caseOption == CaseOption::Preserve) {
        // As applyExtensionAndCase, in place.
        if (!b.ext.isEmpty()) {
            const qsizetype at = name.size();
            name.resize(at + 1 + b.ext.size());
            char16_t *out = reinterpret_cast<char16_t *>(name.data()) + at;
            *out++ = u'.';
            std::memcpy(out, b.ext.utf16(), size_t(b.ext.size()) * sizeof(char16_t));
        }
    } else {
        name = applyExtensionAndCase(name, b.ext.toString(), m_options.caseOption);
    }
    if (b.folderPattern)
        name.prepend(folders);
    if (m_options.rule.RemplacerCaractereInterdit == 1 && m_replacer.touches(name))
        name = m_replacer.apply(name);
    if (m_options.composeNfc && !isComposedAlready(name))
        name = tav::composeNfc(name);

    if (b.folderPattern) {
        // The pattern's leading "\" alone makes the path absolute.
        const QStringList levels = folderLevels(name);
        out.makesFolders = b.absolute || levels.size() > 1;
        name = (b.absolute ? QString(NameFolderSeparator) : QString()) + levels.join(NameFolderSeparator);
    }
    // A text of its own, of its size: the build's texts stay for the next file.
    out.newName = QString(name.constData(), name.size());
}

void NameComputer::applyCounter(Build &b, int position) {
    if (!b.name.contains(QLatin1Char('#')))
        return;
    if (m_options.continueMode()) {
        b.name = continueCounter(b.name, *b.folder, b.folderPattern, b.absolute);
        return;
    }

    for (CounterField::Status reading : {m_options.startReading, m_options.stepReading}) {
        if (reading == CounterField::NotANumber)
            throw TavError(ErrTypeMismatch, QStringLiteral("Type mismatch"));
        if (reading == CounterField::OutOfRange)
            throw TavError(ErrOverflow, QStringLiteral("Overflow"));
    }
    const qint64 start = m_options.rule.DebutPas;
    const qint64 step = m_options.rule.Pas;
    const qint64 value = qint64(position - 1) * step + start;
    if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
        throw TavError(ErrOverflow, QStringLiteral("Overflow"));

    // As many characters as the name has "#" give way to "$Z$" from the
    // first "#", then every "$Z$" takes the value.
    const int width = int(b.name.count(QLatin1Char('#')));
    const qsizetype first = b.name.indexOf(QLatin1Char('#'));
    b.spare.resize(0);
    b.spare.append(QStringView(b.name).left(first));
    b.spare.append(u"$Z$");
    b.spare.append(QStringView(b.name).mid(first + width));
    b.takeSpare();
    b.replace(u"$Z$", counterText(value, width));
}

QString NameComputer::continueCounter(const QString &nameIn, const QString &folder, bool folderPattern, bool absolute) {
    QString name = nameIn;
    if (m_options.rule.RemplacerCaractereInterdit == 1)
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
    const qint64 value = highest + m_options.rule.Pas;
    if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
        throw TavError(ErrOverflow, QStringLiteral("Overflow"));
    return name.left(first) + counterText(value, width) + suffix;
}

qint64 NameComputer::continueModeHighest(const QString &folder, const QString &prefix, int width,
                                         const QString &suffix) {
    // Within one recomputation the folder is read once; elsewhere it is read
    // for every file, letting the window's events run between entries.
    QStringList entries;
    auto cached = m_inRun ? m_folderCache.constFind(folder) : m_folderCache.constEnd();
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
        if (m_inRun)
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

QString NameComputer::yearPattern() const {
    return m_options.yearFormat == 1 ? QStringLiteral("yy") : QStringLiteral("yyyy");
}

QString NameComputer::monthPattern() const {
    switch (m_options.monthFormat) {
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

QString NameComputer::dateText(QDate date, const QString &pattern) const {
    return (pattern.startsWith(QLatin1String("MMM")) ? m_options.locale : QLocale::c()).toString(date, pattern);
}

// A shot's year and month come as the tool wrote them; a year such as 0000
// (an unset date) is no date, so they are formatted as numbers.
QString NameComputer::yearText(const QString &year) const {
    bool ok = false;
    const int y = year.trimmed().toInt(&ok);
    if (!ok)
        return m_options.yearFormat == 1 ? year.right(2) : year;
    if (m_options.yearFormat == 1)
        return twoDigits(((y % 100) + 100) % 100);
    return QString::number(y).rightJustified(4, QLatin1Char('0'));
}

QString NameComputer::monthText(const QString &month) const {
    bool ok = false;
    const int m = month.trimmed().toInt(&ok);
    if (!ok || m < 1 || m > 12)
        return month;
    return dateText(QDate(2000, m, 1), monthPattern());
}

} // namespace tav
