#include "core/engine/Validation.h"

#include "core/base/FrontEnd.h"
#include "core/engine/RegexOperator.h"
#include "core/engine/TokenTable.h"
#include "core/i18n/Language.h"

#include <QList>
#include <QStringList>

namespace tav {

namespace {

// The pattern with its $REGEX operators taken out.
QString withoutRegexOperators(const QString &pattern, const QList<RegexSpan> &spans) {
    QString out = pattern;
    for (qsizetype k = spans.size() - 1; k >= 0; --k)
        out.remove(spans.at(k).begin, spans.at(k).end - spans.at(k).begin);
    return out;
}

void refuse(const QString &parameter) {
    frontEnd().msgBox(i18n::Message(21, parameter), StyleInformation, i18n::Message(2));
}

} // namespace

QString forbiddenPatternChars() {
    return QStringLiteral("/:?\"<>|\\");
}

namespace {

// The "$" of the $REGEX operators' own fields are theirs: only the others count.
bool oddDollars(const QString &pattern) {
    return withoutRegexOperators(pattern, findRegexOperators(pattern)).count(u'$') % 2 != 0;
}

} // namespace

void checkNbDollarIsPair(const QString &pattern) {
    if (oddDollars(pattern))
        frontEnd().msgBox(i18n::Message(92), StyleInformation, i18n::Message(1));
}

SlashCheck checkSlashes(const QString &pattern) {
    SlashCheck check;
    enum class Op { None, Repc, Repp, Mkdir } op = Op::Repc;
    qsizetype p = pattern.indexOf(QLatin1String("$REPC"));
    if (p < 0) {
        op = Op::Repp;
        p = pattern.indexOf(QLatin1String("$REPP"));
    }
    if (p < 0) {
        op = Op::Mkdir;
        p = pattern.indexOf(QLatin1String("$MKDIR"));
    }
    if (p < 0) {
        check.ok = !pattern.contains(u'/');
        return check;
    }

    // 0-based indexes of the "/" after the operator's "$".
    QList<qsizetype> slashes;
    for (qsizetype i = p + 1; i < pattern.size(); ++i)
        if (pattern[i] == u'/')
            slashes.append(i);

    // end: 0-based index of the last "/" the operator may own; -1 for none.
    qsizetype end = -1;
    switch (op) {
    case Op::Mkdir:
        end = slashes.size() >= 2 ? slashes[1] : pattern.size() - 1;
        check.allowsBackslash = true;
        break;
    case Op::Repp:
        end = slashes.size() >= 4 ? slashes[3] : pattern.size() - 1;
        break;
    case Op::Repc:
        if (slashes.size() >= 3)
            end = slashes[2];
        else if (slashes.size() == 2)
            end = slashes[1];
        break;
    case Op::None:
        break;
    }

    if (pattern.left(p + 1).contains(u'/'))
        check.ok = false;
    else if (!slashes.isEmpty() && slashes.last() > end)
        check.ok = false;
    return check;
}

namespace {

// The parameter of message 21 for the first failing character check, or
// nothing when the pattern passes.
QString refusalOf(const QString &pattern) {
    const QString forbidden = forbiddenPatternChars();
    SlashCheck slashes;
    // The first seven characters in order; the backslash comes last, once the
    // slash check has said whether the pattern may hold one.
    for (qsizetype i = 0; i < 7; ++i) {
        const QChar c = forbidden[i];
        if (c == u'/') {
            slashes = checkSlashes(pattern);
            if (!slashes.ok)
                return QStringLiteral("/");
        } else if (pattern.contains(c)) {
            return forbidden;
        }
    }
    if (!slashes.allowsBackslash && pattern.contains(u'\\'))
        return forbidden;
    return QString();
}

} // namespace

bool checkPatternCharacters(const QString &pattern) {
    const QString refused = refusalOf(pattern);
    if (!refused.isEmpty())
        refuse(refused);
    return refused.isEmpty();
}

QString patternOutsideRegex(const QString &pattern) {
    const QList<RegexSpan> spans = findRegexOperators(pattern);
    QString out = pattern;
    for (qsizetype k = spans.size() - 1; k >= 0; --k) {
        const RegexSpan &span = spans.at(k);
        out.replace(span.begin, span.end - span.begin, replacementLiteralText(span.fields.value(1)));
    }
    return out;
}

namespace {

// What the $REGEX operators of a pattern are refused for (the message's
// text), empty when they pass or there are none.
QString regexRefusal(const QString &pattern) {
    const QList<RegexSpan> spans = findRegexOperators(pattern);
    if (spans.isEmpty())
        return QString();
    const auto text = [](const char *key, const char *fallback, const QString &p1 = QString(),
                         const QString &p2 = QString()) {
        return i18n::getText(QStringLiteral("MSG"), QLatin1String(key), QString::fromUtf8(fallback), p1, p2);
    };
    for (const RegexSpan &span : spans) {
        if (!regexSpanWellFormed(span))
            return text("m110", "The $REGEX operator is written $REGEX/pattern/replacement$ or "
                                "$REGEX/pattern/replacement/i$, with a pattern that is not empty.|"
                                "Inside a field, write \\/ for a slash and \\$ for a dollar sign.");
        const RegexReplacer replacer = replacerOf(span);
        if (!replacer.isValid())
            return text("m107", "The regular expression is refused: %s (at character %s of the renaming pattern).",
                        replacer.errorText(), QString::number(span.patternAt + replacer.errorOffset() + 1));
    }
    // What stands outside the operators: the other operators rebuild the
    // whole name or make folders, which a $REGEX result cannot take part in.
    const QString outside = withoutRegexOperators(pattern, spans);
    for (TokenValue other : {TokenValue::ReplaceText, TokenValue::ReplaceAt, TokenValue::MakeFolders})
        if (outside.contains(tokenText(other)))
            return text("m111", "$REGEX cannot be used together with $REPC, $REPP or $MKDIR.");
    return QString();
}

} // namespace

bool checkRegexOperators(const QString &pattern) {
    const QString refused = regexRefusal(pattern);
    if (!refused.isEmpty())
        frontEnd().msgBox(refused, StyleInformation, i18n::Message(2));
    return refused.isEmpty();
}

bool validatePattern(const QString &pattern) {
    const PatternCheck check = checkPattern(pattern);
    showPatternCheck(check);
    return check.passes();
}

PatternCheck checkPattern(const QString &pattern) {
    PatternCheck check;
    check.oddDollars = oddDollars(pattern);
    check.regexRefusedWith = regexRefusal(pattern);
    if (check.regexRefusedWith.isEmpty())
        check.refusedWith = refusalOf(patternOutsideRegex(pattern));
    return check;
}

QString patternCheckText(const PatternCheck &check) {
    QStringList parts;
    if (!check.regexRefusedWith.isEmpty())
        parts << check.regexRefusedWith;
    if (!check.refusedWith.isEmpty())
        parts << i18n::Message(21, check.refusedWith);
    if (check.oddDollars)
        parts << i18n::Message(92);
    // Messages may hold line breaks made for a box: one line here.
    return parts.join(QStringLiteral(" \u2013 ")).simplified();
}

void showPatternCheck(const PatternCheck &check) {
    if (check.oddDollars)
        frontEnd().msgBox(i18n::Message(92), StyleInformation, i18n::Message(1));
    if (!check.regexRefusedWith.isEmpty())
        frontEnd().msgBox(check.regexRefusedWith, StyleInformation, i18n::Message(2));
    else if (!check.refusedWith.isEmpty())
        refuse(check.refusedWith);
}

} // namespace tav
