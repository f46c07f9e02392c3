#include "core/engine/Normalise.h"

#include "core/base/FrontEnd.h"
#include "core/base/Trap.h"
#include "core/base/mTavCommon.h"
#include "core/i18n/Language.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tav {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// Adds one to a string of decimal digits.
void incrementDigits(QString &digits) {
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        if (digits[i] != u'9') {
            digits[i] = QChar(digits[i].unicode() + 1);
            return;
        }
        digits[i] = u'0';
    }
    digits.prepend(u'1');
}

// Length in UTF-16 units of the first character (a surrogate pair counts as one).
qsizetype firstCharLength(const QString &s) {
    if (s.size() >= 2 && s[0].isHighSurrogate() && s[1].isLowSurrogate())
        return 2;
    return s.isEmpty() ? 0 : 1;
}

// Appends word with its first character upper-cased.
void appendUpperFirst(QString &out, QStringView word) {
    if (word.isEmpty())
        return;
    const char16_t first = word[0].unicode();
    if (first < 128) {
        out += first >= u'a' && first <= u'z' ? QChar(char16_t(first - (u'a' - u'A'))) : QChar(first);
        out += word.mid(1);
        return;
    }
    const qsizetype n = word.size() >= 2 && word[0].isHighSurrogate() && word[1].isLowSurrogate() ? 2 : 1;
    out += word.left(n).toString().toUpper();
    out += word.mid(n);
}

void warnNotANumber() {
    frontEnd().msgBox(i18n::Message(13) + QStringLiteral("\r\n"), StyleExclamation, i18n::Message(2));
}

[[noreturn]] void throwOverflow() {
    throw TavError(ErrOverflow, QStringLiteral("Overflow"));
}

} // namespace

WholeNumber readWholeNumber(const QString &text) {
    WholeNumber result;
    qsizetype i = 0, end = text.size();
    while (i < end && isBlank(text[i]))
        ++i;
    while (end > i && isBlank(text[end - 1]))
        --end;
    bool negative = false;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    QString whole, fraction;
    while (i < end && text[i].isDigit() && text[i].unicode() < 128)
        whole += text[i++];
    if (i < end && text[i] == u'.') {
        ++i;
        while (i < end && text[i].isDigit() && text[i].unicode() < 128)
            fraction += text[i++];
    }
    if (i != end || (whole.isEmpty() && fraction.isEmpty()))
        return result;
    result.isNumber = true;

    // Round the decimal text exactly: no binary floating point in between.
    if (whole.isEmpty())
        whole = QStringLiteral("0");
    bool up = false;
    if (!fraction.isEmpty()) {
        const QChar first = fraction[0];
        if (first > u'5')
            up = true;
        else if (first == u'5') {
            bool beyondHalf = false;
            for (qsizetype k = 1; k < fraction.size(); ++k)
                beyondHalf = beyondHalf || fraction[k] != u'0';
            up = beyondHalf || (whole.back().digitValue() % 2 == 1);
        }
    }
    if (up)
        incrementDigits(whole);
    qsizetype zeros = 0;
    while (zeros < whole.size() - 1 && whole[zeros] == u'0')
        ++zeros;
    whole.remove(0, zeros);

    bool ok = false;
    const quint64 magnitude = whole.toULongLong(&ok);
    constexpr quint64 maxPositive = quint64(std::numeric_limits<std::int64_t>::max());
    if (ok && (magnitude <= maxPositive || (negative && magnitude == maxPositive + 1))) {
        result.fits64 = true;
        result.value = negative ? std::int64_t(0 - magnitude) : std::int64_t(magnitude);
    }
    result.digits = (negative && whole != u"0" ? QStringLiteral("-") : QString()) + whole;
    return result;
}

QString trimSpaces(const QString &name) {
    qsizetype start = 0, end = name.size();
    while (start < end && name[start] == u' ')
        ++start;
    while (end > start && name[end - 1] == u' ')
        --end;
    return name.mid(start, end - start);
}

QString upperFirstChar(const QString &name) {
    if (name.isEmpty())
        return name;
    const char16_t first = name[0].unicode();
    if (first < 128) {
        // The common case, without the full case mapping's detour.
        if (first < u'a' || first > u'z')
            return name;
        QString result = name;
        result[0] = QChar(char16_t(first - (u'a' - u'A')));
        return result;
    }
    const qsizetype n = firstCharLength(name);
    return name.left(n).toUpper() + name.mid(n);
}

QString upperFirstCharOfEachWord(const QString &name) {
    // Every character that follows a space (or starts the name) begins a word;
    // the spaces themselves stay where they are.
    QString result;
    result.reserve(name.size() + 4);
    qsizetype wordStart = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == u' ') {
            appendUpperFirst(result, QStringView(name).mid(wordStart, i - wordStart));
            if (i < name.size())
                result += u' ';
            wordStart = i + 1;
        }
    }
    return result;
}

QString applyExtensionAndCase(const QString &name, const QString &ext, CaseOption caseOption) {
    if (ext.isEmpty())
        return name;
    switch (caseOption) {
    case CaseOption::Upper:
        return name.toUpper() + u'.' + ext.toUpper();
    case CaseOption::Lower:
        return name.toLower() + u'.' + ext.toLower();
    case CaseOption::Preserve:
        break;
    }
    return name + u'.' + ext;
}

ForbiddenCharReplacer::ForbiddenCharReplacer(const QList<ForbiddenRow> &table) : m_bmp(65536 / 64, 0) {
    for (const ForbiddenRow &row : table) {
        const QString &chars = row.chars;
        for (qsizetype i = 0; i < chars.size();) {
            // A character outside the basic plane is one character, never half of one.
            const qsizetype n = firstCharLength(chars.mid(i, 2));
            const QString c = chars.mid(i, n);
            m_steps.append({c, row.replacement});
            if (n == 1)
                m_bmp[c[0].unicode() / 64] |= quint64(1) << (c[0].unicode() % 64);
            else
                m_hasSurrogates = true;
            i += n;
        }
    }
    // Each step puts a text in place of one character wherever it stands,
    // so the steps together put in place of each character of a name what
    // they make of that character alone: worked out once per character.
    if (m_hasSurrogates)
        return;
    for (const Step &step : std::as_const(m_steps)) {
        const char16_t c = step.character[0].unicode();
        if (m_whole.contains(c))
            continue;
        QString made{QChar(c)};
        for (const Step &s : std::as_const(m_steps))
            made.replace(s.character[0], s.replacement);
        m_whole.insert(c, made);
    }
}

bool ForbiddenCharReplacer::touches(QStringView name) const {
    if (m_hasSurrogates)
        return true;
    for (QChar c : name)
        if (m_bmp[c.unicode() / 64] & (quint64(1) << (c.unicode() % 64)))
            return true;
    return false;
}

QString ForbiddenCharReplacer::apply(const QString &name) const {
    // Nothing to replace means nothing replaced: the steps only ever act on
    // characters of the table, and a replacement can only bring in new ones
    // once some character has been replaced.
    if (!touches(name))
        return name;
    if (!m_hasSurrogates) {
        QString result;
        result.reserve(name.size());
        for (QChar c : name) {
            if (m_bmp[c.unicode() / 64] & (quint64(1) << (c.unicode() % 64)))
                result += m_whole.value(c.unicode());
            else
                result += c;
        }
        return result;
    }
    QString result = name;
    for (const Step &step : m_steps) {
        if (step.character.size() == 1)
            result.replace(step.character[0], step.replacement);
        else
            result.replace(step.character, step.replacement);
    }
    return result;
}

QString replaceForbiddenChars(const QString &name, const QList<ForbiddenRow> &table) {
    return ForbiddenCharReplacer(table).apply(name);
}

bool isComposedAlready(QStringView name) {
    for (QChar c : name)
        if (c.unicode() >= 0x300) // below, no character combines or decomposes
            return false;
    return true;
}

QString composeNfc(const QString &name) {
    return isComposedAlready(name) ? name : name.normalized(QString::NormalizationForm_C);
}

namespace {

// Whether the name's upper-cased NFC form is its characters upper-cased one
// by one through latin1Upper: every character is Latin-1 (none combines or
// decomposes), but "ß", "ÿ" and "µ", whose capitals are two characters or lie
// outside Latin-1.
bool foldsAlone(QStringView s) {
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u >= 0x80 && (u >= 0x100 || u == 0xDF || u == 0xFF || u == 0xB5))
            return false;
    }
    return true;
}

constexpr char16_t latin1Upper(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return char16_t(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return char16_t(c - 0x20);
    return c;
}

// Mixed so that every bit of the hash depends on every unit (the table
// takes its low bits).
quint64 mixHash(quint64 h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

// Each Latin-1 character upper-cased by latin1Upper, or NotAlone for those
// that do not fold alone.
constexpr char16_t NotAlone = 0xFFFF;
struct AloneUpper {
    char16_t upper[256];
    constexpr AloneUpper() : upper() {
        for (int c = 0; c < 256; ++c)
            upper[c] = c == 0xDF || c == 0xFF || c == 0xB5 ? NotAlone : latin1Upper(char16_t(c));
    }
};
constexpr AloneUpper aloneUpper;

// Four units upper-cased by latin1Upper in place; false when one does not
// fold alone. Four ASCII units are upper-cased together: a lane from "a" to
// "z" gets its bit 7 set by adding 0x1F and not by adding 0x05.
Q_ALWAYS_INLINE bool upperBlock(quint64 &units) {
    constexpr quint64 Ones = 0x0001000100010001ULL;
    if ((units & 0xFF80FF80FF80FF80ULL) == 0) {
        const quint64 lower = (units + Ones * 0x1F) & ~(units + Ones * 0x05) & (Ones * 0x80);
        units -= lower >> 2;
        return true;
    }
    quint64 upper = 0;
    for (int lane = 0; lane < 4; ++lane) {
        const char16_t u = char16_t(units >> (16 * lane));
        if (u >= 0x100 || aloneUpper.upper[u] == NotAlone)
            return false;
        upper |= quint64(aloneUpper.upper[u]) << (16 * lane);
    }
    units = upper;
    return true;
}

// The hash of the upper-cased name, four units at a time: a name that folds
// alone is upper-cased as it is hashed (false, hash unset, when it does not
// fold alone after all), any other is given upper-cased already.
bool unitsHash(QStringView name, bool alone, quint64 &hash) {
    const char16_t *const s = name.utf16();
    const qsizetype n = name.size();
    quint64 h = 0xcbf29ce484222325ULL ^ quint64(n);
    qsizetype i = 0;
    for (; i + 4 <= n; i += 4) {
        quint64 units;
        std::memcpy(&units, s + i, sizeof units);
        if (alone && !upperBlock(units))
            return false;
        h = (h ^ units) * 0x9e3779b97f4a7c15ULL;
    }
    if (i < n) {
        quint64 units = 0;
        for (qsizetype k = i; k < n; ++k)
            units |= quint64(s[k]) << (16 * (k - i));
        if (alone && !upperBlock(units))
            return false;
        h = (h ^ units) * 0x9e3779b97f4a7c15ULL;
    }
    hash = mixHash(h);
    return true;
}

quint64 foldedHash(QStringView name, bool alone) {
    quint64 hash = 0;
    unitsHash(name, alone, hash);
    return hash;
}

// One pass over a name that may fold alone: false as soon as a character
// does not; otherwise the name's hash, as foldedHash(name, true) gives it.
bool aloneHash(QStringView name, quint64 &hash) {
    return unitsHash(name, true, hash);
}

// A name numbered: "\" folder levels kept, "_" count before the extension.
QString numberedName(const QString &name, std::int32_t count) {
    // A name with folder levels ("2015\holiday.jpg") is numbered in its last
    // level only, so that the number never moves the file to another folder.
    const qsizetype cut = name.lastIndexOf(u'\\') + 1;
    const QString file = name.mid(cut);
    const qsizetype dot = mTavCommon::extensionDot(file);
    QString numbered = name.left(cut) + (dot < 0 ? file : file.left(dot)) + u'_' + QString::number(count);
    if (dot >= 0 && dot + 1 < file.size())
        numbered += u'.' + file.mid(dot + 1);
    return numbered;
}

} // namespace

void IdenticalNames::reset() {
    std::vector<Entry>().swap(m_entries);
    m_slots.assign(16, 0);
    quint64 hash = 0;
    find(QStringView(), true, hash);
    insert(QString(), true, hash);
}

void IdenticalNames::reserve(qsizetype names) {
    m_entries.reserve(size_t(names) + 1);
    qsizetype capacity = qsizetype(m_slots.size());
    while (capacity < 2 * (names + 1))
        capacity *= 2;
    if (capacity > qsizetype(m_slots.size()))
        grow(capacity);
}

void IdenticalNames::grow(qsizetype capacity) {
    m_slots.assign(size_t(capacity), 0);
    const size_t mask = size_t(capacity) - 1;
    for (size_t e = 0; e < m_entries.size(); ++e) {
        size_t i = size_t(m_entries[e].hash) & mask;
        while (m_slots[i] != 0)
            i = (i + 1) & mask;
        m_slots[i] = std::int32_t(e + 1);
    }
}

qsizetype IdenticalNames::find(QStringView key, bool alone, quint64 &hash) const {
    hash = foldedHash(key, alone);
    return findHashed(key, alone, hash);
}

qsizetype IdenticalNames::findHashed(QStringView key, bool alone, quint64 hash) const {
    const size_t mask = m_slots.size() - 1;
    for (size_t i = size_t(hash) & mask; m_slots[i] != 0; i = (i + 1) & mask) {
        const Entry &e = m_entries[size_t(m_slots[i] - 1)];
        // Both upper-cased forms have the lengths of the texts held.
        if (e.hash != hash || e.text.size() != key.size())
            continue;
        const QChar *kept = e.text.constData();
        bool same = true;
        for (qsizetype k = 0; k < key.size() && same; ++k) {
            const char16_t a = e.alone ? latin1Upper(kept[k].unicode()) : kept[k].unicode();
            same = a == (alone ? latin1Upper(key[k].unicode()) : key[k].unicode());
        }
        if (same)
            return m_slots[i] - 1;
    }
    return -1;
}

void IdenticalNames::insert(const QString &key, bool alone, quint64 hash) {
    if (qsizetype(m_entries.size() + 1) * 2 > qsizetype(m_slots.size()))
        grow(qsizetype(m_slots.size()) * 2);
    m_entries.push_back({key, hash, 0, alone});
    const size_t mask = m_slots.size() - 1;
    size_t i = size_t(hash) & mask;
    while (m_slots[i] != 0)
        i = (i + 1) & mask;
    m_slots[i] = std::int32_t(m_entries.size());
}

QString IdenticalNames::number(const QString &name) {
    QString numbered = name;
    numberInPlace(numbered);
    return numbered;
}

void IdenticalNames::numberInPlace(QString &name) {
    // Names are compared upper-cased in NFC; a Latin-1 name (the usual case)
    // needs neither a copy nor the full Unicode mapping, and is hashed as it
    // is checked.
    quint64 hash = 0;
    const bool alone = aloneHash(name, hash);
    const QString folded = alone ? QString() : name.normalized(QString::NormalizationForm_C).toUpper();
    const QString &key = alone ? name : folded;
    if (!alone)
        hash = foldedHash(key, false);
    const qsizetype at = findHashed(key, alone, hash);
    if (at < 0) {
        insert(key, alone, hash);
        return;
    }
    std::int32_t &count = m_entries[size_t(at)].count;
    if (count == std::numeric_limits<std::int32_t>::max())
        throwOverflow();
    name = numberedName(name, ++count);
}

QString IdenticalNames::peek(const QString &name) const {
    const bool alone = foldsAlone(name);
    const QString folded = alone ? QString() : name.normalized(QString::NormalizationForm_C).toUpper();
    quint64 hash = 0;
    const qsizetype at = find(alone ? QStringView(name) : QStringView(folded), alone, hash);
    if (at < 0)
        return name;
    const std::int32_t count = m_entries[size_t(at)].count;
    if (count == std::numeric_limits<std::int32_t>::max())
        throwOverflow();
    return numberedName(name, count + 1);
}

CounterField parseCounterField(const QString &text, std::int64_t min, std::int64_t max) {
    const WholeNumber n = readWholeNumber(text);
    CounterField field;
    if (!n.isNumber)
        return field;
    if (!n.fits64 || n.value < min || n.value > max) {
        field.status = CounterField::OutOfRange;
        return field;
    }
    field.status = CounterField::Ok;
    field.value = n.value;
    return field;
}

std::int64_t readCounterField(const QString &text, std::int64_t min, std::int64_t max) {
    const CounterField field = parseCounterField(text, min, max);
    if (field.status == CounterField::NotANumber)
        throw TavError(ErrTypeMismatch, QStringLiteral("Type mismatch"));
    if (field.status == CounterField::OutOfRange)
        throwOverflow();
    return field.value;
}

std::int32_t readCounterStart(const QString &text) {
    return std::int32_t(
        readCounterField(text, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::int16_t readCounterStep(const QString &text) {
    return std::int16_t(
        readCounterField(text, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

bool isContinueStart(const QString &startText) {
    return trimSpaces(startText) == u"#";
}

bool isContinueMode(const QString &startText, std::int32_t storedStart) {
    return storedStart == ContinueModeStart || isContinueStart(startText);
}

namespace {

// A counter field's number: not a number becomes "1" with a warning, a number
// outside [low, high] is an overflow, a new value is stored and recomputed.
CounterFieldCheck checkCounterNumber(CounterFieldCheck check, const QString &text, std::int64_t current,
                                     std::int64_t low, std::int64_t high) {
    const CounterField n = parseCounterField(text, low, high);
    if (n.status == CounterField::NotANumber) {
        check.text = QStringLiteral("1");
        check.value = 1;
        check.store = true;
        warnNotANumber();
        return check;
    }
    if (n.status == CounterField::OutOfRange)
        throwOverflow();
    if (n.value != current) {
        check.value = n.value;
        check.store = true;
        check.recompute = true;
    }
    return check;
}

} // namespace

CounterFieldCheck txtDebutLeave(const QString &text, std::int32_t current) {
    CounterFieldCheck check;
    check.text = text;
    if (isContinueStart(text)) {
        check.value = ContinueModeStart;
        check.store = true;
        check.recompute = true;
        return check;
    }
    return checkCounterNumber(check, text, current, std::numeric_limits<std::int32_t>::min(),
                              std::numeric_limits<std::int32_t>::max());
}

CounterFieldCheck txtPasLeave(const QString &text, std::int16_t current) {
    CounterFieldCheck check;
    check.text = text;
    return checkCounterNumber(check, text, current, std::numeric_limits<std::int16_t>::min(),
                              std::numeric_limits<std::int16_t>::max());
}

CounterFieldCheck txtNbPasseLeave(const QString &text) {
    CounterFieldCheck check;
    check.text = text;
    const CounterField n =
        parseCounterField(text, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    if (n.status != CounterField::Ok) {
        check.text = QStringLiteral("0");
        check.value = 0;
        check.store = true;
        warnNotANumber();
        return check;
    }
    check.value = n.value;
    check.store = true;
    return check;
}

} // namespace tav
