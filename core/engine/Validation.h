#pragma once
// Checks made on a pattern before it becomes the rule: an information about an
// odd number of "$", the characters that no file name may hold, and the "/"
// that only the operators may use.

#include <QString>

namespace tav {

// Slash, colon, question mark, double quote, less-than, greater-than, vertical
// bar, backslash: the characters a pattern may not hold (message 21's parameter).
QString forbiddenPatternChars();

// Shows message 92 (information box, title message 1) when the pattern holds an
// odd number of "$" outside its $REGEX operators. Only informs: never blocks.
void checkNbDollarIsPair(const QString &pattern);

// The "/" of a pattern: allowed only inside the first operator's fields
// ($REPC three "/", $REPP four, $MKDIR two). allowsBackslash is true for a
// pattern whose operator is $MKDIR (it holds neither $REPC nor $REPP).
struct SlashCheck {
    bool ok = true;
    bool allowsBackslash = false;
};
SlashCheck checkSlashes(const QString &pattern);

// The character checks of a changed pattern: the first failing check shows
// message 21 (information box, title message 2) — with "/" as its parameter
// for a misplaced slash, with the forbidden list otherwise — and the pattern
// is refused. Returns true when the pattern passes.
bool checkPatternCharacters(const QString &pattern);

// The $REGEX operators of a pattern: each written as the operator (else
// message 110), its pattern compiling (else message 107 with PCRE2's reason
// and the position in the pattern), and none beside $REPC, $REPP or $MKDIR
// (else message 111); information boxes titled with message 2. Returns true
// when the pattern passes (it may hold no such operator).
bool checkRegexOperators(const QString &pattern);

// The pattern as the character checks see it: each $REGEX operator replaced
// by the text its replacement writes (its groups left out), since what is
// inside an operator is not part of a file name.
QString patternOutsideRegex(const QString &pattern);

// Everything cboRenommer_Change checks before it stores a pattern, with its
// message boxes: checkPattern, then showPatternCheck. Storing the pattern
// and recomputing the names are the caller's part.
bool validatePattern(const QString &pattern);

// The same checks without a message, for a pattern still being typed: the
// odd "$" outside the $REGEX operators, the operators themselves, then the
// characters of the pattern outside them. The window shows what they found
// beside the rule box, and the message boxes wait until the user acts on the
// pattern (renaming, saving it).
struct PatternCheck {
    bool oddDollars = false;  // message 92: informs only
    QString regexRefusedWith; // the $REGEX operators' refusal (messages 107, 110, 111); empty when they pass
    QString refusedWith;      // message 21's parameter; empty when the characters pass
    bool passes() const { return refusedWith.isEmpty() && regexRefusedWith.isEmpty(); }
    bool clean() const { return passes() && !oddDollars; }
};
PatternCheck checkPattern(const QString &pattern);
// One line naming what the check found (the texts of messages 21 and 92), or
// nothing for a clean pattern.
QString patternCheckText(const PatternCheck &check);
// The message boxes of the check, in validatePattern's order.
void showPatternCheck(const PatternCheck &check);

} // namespace tav
