#include "core/engine/Validation.h"

#include "core/base/FrontEnd.h"
#include "core/engine/RegexOperator.h"
#include "core/engine/TokenTable.h"
#include "core/i18n/Language.h"

#include <QList>

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

void checkNbDollarIsPair(const QString &pattern) {
    if (pattern.count(u'$') % 2 != 0)
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

bool checkPatternCharacters(const QString &pattern) {
    const QString forbidden = forbiddenPatternChars();
    SlashCheck slashes;
    // The first seven characters in order; the backslash comes last, once the
    // slash check has said whether the pattern may hold one.
    for (qsizetype i = 0; i < 7; ++i) {
        const QChar c = forbidden[i];
        if (c == u'/') {
            slashes = checkSlashes(pattern);
            if (!slashes.ok) {
                refuse(QStringLiteral("/"));
                return false;
            }
        } else if (pattern.contains(c)) {
            refuse(forbidden);
            return false;
        }
    }
    if (!slashes.allowsBackslash && pattern.contains(u'\\')) {
        refuse(forbidden);
        return false;
    }
    return true;
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

bool checkRegexOperators(const QString &pattern) {
    const QList<RegexSpan> spans = findRegexOperators(pattern);
    if (spans.isEmpty())
        return true;
    const auto refuseWith = [](const char *key, const char *fallback, const QString &p1 = QString(),
                               const QString &p2 = QString()) {
        frontEnd().msgBox(i18n::getText(QStringLiteral("MSG"), QLatin1String(key), QString::fromUtf8(fallback), p1, p2),
                          StyleInformation, i18n::Message(2));
        return false;
    };
    for (const RegexSpan &span : spans) {
        if (!regexSpanWellFormed(span))
            return refuseWith("m110", "The $REGEX operator is written $REGEX/pattern/replacement$ or "
                                      "$REGEX/pattern/replacement/i$, with a pattern that is not empty.|"
                                      "Inside a field, write \\/ for a slash and \\$ for a dollar sign.");
        const RegexReplacer replacer = replacerOf(span);
        if (!replacer.isValid())
            return refuseWith("m107",
                              "The regular expression is refused: %s (at character %s of the renaming pattern).",
                              replacer.errorText(), QString::number(span.patternAt + replacer.errorOffset() + 1));
    }
    // What stands outside the operators: the other operators rebuild the
    // whole name or make folders, which a $REGEX result cannot take part in.
    const QString outside = withoutRegexOperators(pattern, spans);
    for (TokenValue other : {TokenValue::ReplaceText, TokenValue::ReplaceAt, TokenValue::MakeFolders})
        if (outside.contains(tokenText(other)))
            return refuseWith("m111", "$REGEX cannot be used together with $REPC, $REPP or $MKDIR.");
    return true;
}

bool validatePattern(const QString &pattern) {
    // The "$" of the operators' own fields are theirs: only the others count.
    checkNbDollarIsPair(withoutRegexOperators(pattern, findRegexOperators(pattern)));
    return checkRegexOperators(pattern) && checkPatternCharacters(patternOutsideRegex(pattern));
}

} // namespace tav
