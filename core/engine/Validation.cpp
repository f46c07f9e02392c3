#include "core/engine/Validation.h"

#include "core/base/FrontEnd.h"
#include "core/i18n/Language.h"

#include <QList>
#include <QStringList>

namespace tav {

namespace {

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

bool validatePattern(const QString &pattern) {
    const PatternCheck check = checkPattern(pattern);
    showPatternCheck(check);
    return check.passes();
}

PatternCheck checkPattern(const QString &pattern) {
    PatternCheck check;
    check.oddDollars = pattern.count(u'$') % 2 != 0;
    check.refusedWith = refusalOf(pattern);
    return check;
}

QString patternCheckText(const PatternCheck &check) {
    QStringList parts;
    if (!check.passes())
        parts << i18n::Message(21, check.refusedWith);
    if (check.oddDollars)
        parts << i18n::Message(92);
    // Messages may hold line breaks made for a box: one line here.
    return parts.join(QStringLiteral(" \u2013 ")).simplified();
}

void showPatternCheck(const PatternCheck &check) {
    if (check.oddDollars)
        frontEnd().msgBox(i18n::Message(92), StyleInformation, i18n::Message(1));
    if (!check.passes())
        refuse(check.refusedWith);
}

} // namespace tav
