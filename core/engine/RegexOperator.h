#pragma once
// The regular-expression operator of the pattern language:
//   $REGEX/pattern/replacement$      every match of pattern in the old name
//   $REGEX/pattern/replacement/i$    (without its extension) replaced, the
//                                    second form ignoring case.
// The operator stands for its result where it is written, so it mixes with
// other text and tokens ("$REGEX/a/b$_#").
//
// Writing the fields: a "\" takes the next character as it is, so "\/" is a
// slash and "\$" a dollar sign inside a field; the first "/" or "$" without
// "\" ends the field. The pattern goes to PCRE2 as written (Perl syntax, on
// Unicode text: "\/" and "\$" mean the characters there too); the end of the
// name is "\z". In the replacement "\0" is the whole match, "\1" to "\9" the
// groups (empty when a group took no part), and "\" before any other
// character gives that character ("\\" a backslash).
//
// Matching is bounded: a pattern that backtracks without end stops at PCRE2's
// match and depth limits and is reported for the name it was working on.

#include <QList>
#include <QString>

#include <memory>

namespace tav {

// One "$REGEX" operator as written in a pattern.
struct RegexSpan {
    qsizetype begin = 0;     // index of its "$"
    qsizetype end = 0;       // one past its closing "$" (the text's end when unclosed)
    qsizetype patternAt = 0; // index of the pattern's first character
    QStringList fields;      // pattern, replacement, flags, as written
    bool closed = false;     // a closing "$" was found
};

// The operators of text, from left to right.
QList<RegexSpan> findRegexOperators(const QString &text);

// A compiled operator: the pattern, the replacement and the case choice.
class RegexReplacer {
public:
    RegexReplacer(); // a replacer that is not valid
    RegexReplacer(const QString &pattern, const QString &replacement, bool ignoreCase);
    ~RegexReplacer();
    RegexReplacer(const RegexReplacer &);
    RegexReplacer &operator=(const RegexReplacer &);

    // The pattern compiled; otherwise PCRE2's reason and the 0-based
    // position in the pattern where it stopped.
    bool isValid() const;
    QString errorText() const;
    qsizetype errorOffset() const;

    struct Result {
        QString text;
        QString failure; // why the text could not be made (a limit reached)
    };
    // subject with every match replaced.
    Result apply(const QString &subject) const;

    // The limits every match runs under.
    static constexpr unsigned MatchLimit = 250'000;
    static constexpr unsigned DepthLimit = 10'000;

private:
    struct Compiled;
    std::shared_ptr<const Compiled> m_compiled;
};

// Whether a span is written as the operator: closed, two or three fields,
// a pattern that is not empty, no flag but "i".
bool regexSpanWellFormed(const RegexSpan &span);
// The replacer of a well-formed span (one that is not valid otherwise).
RegexReplacer replacerOf(const RegexSpan &span);

// The text the replacement writes besides the groups, for the checks made on
// the characters of a pattern.
QString replacementLiteralText(const QString &replacement);

// The builder: the operator written from a pattern and a replacement as typed
// in its fields. A "/" is written "\/"; in the pattern a "$" outside a
// character class is the end of the name ("\z"), inside one a dollar sign;
// in the replacement a "$" is a dollar sign.
QString regexOperatorText(const QString &pattern, const QString &replacement, bool ignoreCase);
// The builder's fields back from a span (the reverse of regexOperatorText).
struct RegexFields {
    QString pattern, replacement;
    bool ignoreCase = false;
};
RegexFields regexFieldsOf(const RegexSpan &span);

// The rule with the operator in place of its first "$REGEX" operator, or the
// operator alone when it has none.
QString ruleWithRegexOperator(const QString &rule, const QString &operatorText);

} // namespace tav
