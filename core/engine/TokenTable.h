#pragma once
// The tokens of the pattern language, one row each.
//
// A row says what the token looks like, what kind of value it stands for, how
// the name computation evaluates it, and where the main window shows it: its
// group, its place in the group, the index of its label (the language files'
// key Label8(index).Caption) and the label's French caption. The computation
// replaces the tokens of one kind in the order of the rows, so a value that
// happens to hold another token's text is treated exactly as before.

#include <QList>
#include <QString>

namespace tav {

enum class TokenKind {
    Counter,  // the counter's digits
    File,     // from the file: its name, folder, size, modification date
    Clock,    // the current date and time, read once per file
    Photo,    // a field of the photo's metadata record
    Operator, // a pattern-wide operation ($REPC, $REPP, $MKDIR, $REGEX)
};

// How a token's value is made.
enum class TokenValue {
    Counter,      // the counter (replaced last, from the position)
    BaseName,     // the old name without its extension
    NameDigits,   // the first run of digits of the old name
    ParentFolder, // the name of the file's folder
    SizeBytes,    // the file's size in bytes
    FileDate,     // a part of the modification date
    ClockDate,    // a part of the current date
    PhotoField,   // a field of the metadata record (a date part: formatted)
    ReplaceText,  // the operator replacing a text
    ReplaceAt,    // the operator replacing characters by position
    MakeFolders,  // the folder pattern's marker
    ReplaceRegex, // the regular-expression operator, replaced where it stands
};

// The date part a FileDate, ClockDate or PhotoField token shows.
enum class DatePart { None, Full, Year, Month, Day, Hour, Minute, Second };

struct TokenRow {
    QString text; // as typed; an operator's text is its head ("$REPC")
    TokenKind kind;
    TokenValue value;
    DatePart part = DatePart::None;
    int field = -1;      // MetadataRecord field of a photo token
    int group = -1;      // the window's token group; -1: not shown
    int place = -1;      // position within its group
    int label = -1;      // index of its label in the window; -1: none
    QString frenchLabel; // the label's default caption
};

// Every token, those of one kind in the order they are replaced.
const QList<TokenRow> &tokenTable();
// The text of the first row made that way (the operators' heads).
QString tokenText(TokenValue value);

// The window's token labels: their number (indexes 0 to count-1), the row of
// one label (null for an index out of range), the labels of one group in
// display order, and the number of groups.
int tokenLabelCount();
const TokenRow *tokenOfLabel(int label);
QList<int> labelsOfGroup(int group);
int tokenGroupCount();

// The "$" tokens, operators included (their heads).
QStringList dollarTokens();
// The pattern holds a token of that kind.
bool patternUses(const QString &pattern, TokenKind kind);
// The pattern needs the photos' metadata (it holds a photo token).
bool patternUsesMetadata(const QString &pattern);

} // namespace tav
