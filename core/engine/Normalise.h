#pragma once
// The options that tidy a new name once the tokens, the operators and the
// counter have made it, and the checks of the counter fields.

#include "core/base/Rule.h"

#include <QHash>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace tav {

// "A number": optional blanks, an optional sign, decimal digits with an
// optional decimal part ("12", "-4", "2.6", ".5", "3."), optional blanks.
// Its value is rounded to the nearest whole number, a half to the even
// neighbour.
struct WholeNumber {
    bool isNumber = false;  // the text reads as a number
    bool fits64 = false;    // its rounded value fits in 64 bits
    std::int64_t value = 0; // the rounded value when fits64
    QString digits;         // the rounded value in plain digits ("-" for a negative one), any size
};
WholeNumber readWholeNumber(const QString &text);

// A counter field (start, step, pass count) read as a whole number of [min, max].
struct CounterField {
    enum Status { Ok, NotANumber, OutOfRange };
    Status status = NotANumber;
    std::int64_t value = 0; // when Ok
};
CounterField parseCounterField(const QString &text, std::int64_t min, std::int64_t max);

// The same, failing as the program's run-time errors do: TavError type
// mismatch for a text that is no number, overflow for a value out of range.
std::int64_t readCounterField(const QString &text, std::int64_t min, std::int64_t max);
std::int32_t readCounterStart(const QString &text); // 32 bits
std::int16_t readCounterStep(const QString &text);  // 16 bits

// True when the text of a counter start asks for the continue mode: "#",
// spaces around it ignored.
bool isContinueStart(const QString &startText);
// The counter continues the folder's numbers: the start field says "#" or the
// stored start is ContinueModeStart.
bool isContinueMode(const QString &startText, std::int32_t storedStart);

// Removes every space (code 32) at the start and at the end; other white space stays.
QString trimSpaces(const QString &name);

// Upper-cases the first character; the rest is left as it is.
QString upperFirstChar(const QString &name);

// Upper-cases the first character of every word; words are cut at every single
// space, so leading, trailing and doubled spaces all stay in place.
QString upperFirstCharOfEachWord(const QString &name);

// Applies the case option to name and ext, then appends "." ext. An empty ext
// leaves the name as it is (no dot, no change of case).
QString applyExtensionAndCase(const QString &name, const QString &ext, CaseOption caseOption);

// The forbidden-character table prepared once for many names. A character
// outside the basic plane (a surrogate pair) is replaced as one character.
class ForbiddenCharReplacer {
public:
    explicit ForbiddenCharReplacer(const QList<ForbiddenRow> &table = {});
    QString apply(const QString &name) const;
    // Whether apply may change name (false: it gives name back as it is).
    bool touches(QStringView name) const;

private:
    struct Step {
        QString character;
        QString replacement;
    };
    QList<Step> m_steps;
    std::vector<quint64> m_bmp; // one bit per character of the basic plane in the table
    bool m_hasSurrogates = false;
    // Without characters outside the basic plane: what the steps make of
    // each character of the table.
    QHash<char16_t, QString> m_whole;
};

// Replaces, row by row and character by character in order, every occurrence of
// each character of a row's chars by the row's replacement (exact, case-sensitive).
QString replaceForbiddenChars(const QString &name, const QList<ForbiddenRow> &table);

// The name in Unicode's composed form (NFC): "é" as one character, as
// Windows and most cameras write it, not "e" and a combining accent.
QString composeNfc(const QString &name);
// True when composeNfc gives name back as it is, told without normalising:
// no character of the name combines or decomposes.
bool isComposedAlready(QStringView name);

// The table of new names already given in the current computation, so that
// identical names (ignoring case) are numbered apart: name, name_1, name_2 …
//
// The table holds each name's text, a 64-bit hash of its upper-cased form and
// a count. A Latin-1 name (the usual case) is held as it was given, shared
// with the row that shows it, and upper-cased as it is hashed and compared;
// any other is held upper-cased in NFC.
class IdenticalNames {
public:
    IdenticalNames() { reset(); }

    // Back to a single entry with an empty name and count 0 (so that an empty
    // new name is numbered from its first occurrence).
    void reset();

    // Names are compared upper-cased and in NFC, so that a name written with
    // a combining accent and the same name with a composed one are one name.
    // Returns name unchanged the first time an upper-cased name is seen (and
    // records it), otherwise the numbered name: the name without its extension,
    // "_", the count, and "." extension when it has one. When the name holds
    // "\" (folder levels), only its last level is numbered.
    QString number(const QString &name);
    // The same, the numbered name given back in name.
    void numberInPlace(QString &name);
    // What number would give, the table left as it is.
    QString peek(const QString &name) const;

    // Room for that many names in all, so that a long computation does not
    // grow the table step by step (reset() gives the room back).
    void reserve(qsizetype names);

    // Number of entries (including the initial empty one).
    int size() const { return int(m_entries.size()); }

private:
    struct Entry {
        QString text; // as given (alone) or upper-cased
        quint64 hash;
        std::int32_t count;
        bool alone; // text is upper-cased one character at a time
    };
    // The entry of key, or -1; hash is set either way.
    qsizetype find(QStringView key, bool alone, quint64 &hash) const;
    qsizetype findHashed(QStringView key, bool alone, quint64 hash) const;
    void insert(const QString &key, bool alone, quint64 hash);
    void grow(qsizetype capacity);

    std::vector<Entry> m_entries;
    std::vector<std::int32_t> m_slots; // open addressing: entry index + 1, 0 when free
};

// What the controller does after a counter field has been left.
struct CounterFieldCheck {
    QString text;           // the field's text after the check
    std::int64_t value = 0; // the value to store, when store is true
    bool store = false;     // the rule field (or pass count) takes value
    bool recompute = false; // all names are to be recomputed
};

// Leaving txtDebut: "#" (blanks trimmed) → continue mode + recompute; not a
// number → "1", value 1, message 13 + CR LF (warning, title message 2), no
// recompute; a value that differs from current → store + recompute. Throws
// TavError(ErrOverflow) when the value does not fit in 32 bits.
CounterFieldCheck txtDebutLeave(const QString &text, std::int32_t current);

// Leaving txtPas: as txtDebut without "#", with a 16-bit value.
CounterFieldCheck txtPasLeave(const QString &text, std::int16_t current);

// Leaving txtNbPasse: not a number (or beyond 32 bits) → "0" with message 13;
// otherwise the rounded value is stored. Never recomputes.
CounterFieldCheck txtNbPasseLeave(const QString &text);

} // namespace tav
