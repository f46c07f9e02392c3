#pragma once
// Saved rules: the rule text format of the settings file, the comment label
// of the current rule, the rules of the rule-memorising dialog, and applying
// a saved rule (memorising and forgetting, which write the settings file,
// are in SavedRuleCommands.h).

#include "core/base/Rule.h"
#include "core/settings/Settings.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace tav::savedRules {

// The separator of the fields of a rule's text.
inline constexpr QChar Separator = u'|';

// The twelve fields joined by "|": pattern, comment, file types, number
// identical names, replace forbidden characters, new extension, change the
// extension, step, capital first character, capital first of each word,
// start, trim spaces.
QString toText(const Rule &rule);
// Reads that format: fields by position, surplus ignored, missing fields
// empty or 0. A field that is no number throws TavError (type mismatch).
Rule fromText(const QString &text);
// Reads the six-field format of versions 1.10.0 and 1.11.0: pattern, start,
// step, change the extension, new extension, replace forbidden characters.
Rule fromOldText(const QString &text);

// The comment label: comment & " (" & file types & ")"; message 93 stands for
// an empty comment and "*" for empty file types.
QString ecrireCommentaire(const QString &comment, const QString &fileTypes);
struct CommentParts {
    QString comment;
    QString fileTypes;
    bool operator==(const CommentParts &) const = default;
};
// Reads a label back: with exactly one "(", the comment is the trimmed text
// before it and the file types the text after it without ")"; otherwise
// message 95 and "*".
CommentParts getCommentaire(const QString &label);

// The rule-memorising dialog: the comment box is emptied when it gets the
// focus while it holds one of the prompt texts (messages 93 and 95).
bool isCommentPrompt(const QString &text);
// Its OK button: "(", ")" or "|" in either box is refused with message 99
// (nullopt, the dialog stays open); otherwise the trimmed texts, message 95
// for an empty comment and "*" for empty file types.
std::optional<CommentParts> acceptCommentDialog(const QString &comment, const QString &fileTypes);

// Index of the first saved rule whose pattern equals pattern exactly, or -1.
int indexOf(const Settings &s, const QString &pattern);
std::optional<Rule> findSavedRule(const Settings &s, const QString &pattern);
// The patterns of the drop-down list, in order (placeholders left out).
QStringList savedRulePatterns(const Settings &s);
// One line per saved rule: the twelve fields in file order, separated by tabs.
QStringList savedRulesAsTabLines(const Settings &s);

// Copies a saved rule's options, comment and file types into current (not
// the pattern, which the caller's pattern-change handler validates).
void applyFields(const Rule &saved, Rule &current);
// Choosing a saved rule in the drop-down list: with updates switched off,
// sets every field, switches updates on again, then reports a change of the
// pattern so that the names are recomputed once. False when no rule matches.
bool chooseSavedRule(const Settings &s, const QString &pattern, Rule &current,
                     const std::function<void(bool)> &setUpdatesEnabled, const std::function<void()> &patternChanged);

// After reading the settings: the comment and file types of the saved rule
// that has the current pattern (the last one when several have it).
void takeCommentOfMatchingRule(Settings &s);

} // namespace tav::savedRules
