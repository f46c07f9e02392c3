#include "core/engine/Operators.h"

#include "core/base/FrontEnd.h"
#include "core/base/Trap.h"
#include "core/engine/Normalise.h"
#include "core/i18n/Language.h"

#include <limits>

namespace tav {

namespace {

// The field scan begins six characters after the operator's "$", just after
// "$REPC/" or "$REPP/" (whatever the sixth character actually is).
constexpr qsizetype FieldsOffset = 6;

// base[1..j] in the operators' 1-based notation.
QString leftPart(const QString &base, qsizetype j) {
    return j < 1 ? QString() : base.left(j);
}

// base[i..]
QString fromPosition(const QString &base, qsizetype i) {
    if (i < 1)
        return base;
    return i > base.size() ? QString() : base.mid(i - 1);
}

// The last j characters.
QString lastPart(const QString &base, qsizetype j) {
    return j < 1 ? QString() : base.right(j);
}

} // namespace

qsizetype findText(QStringView text, QStringView what, qsizetype from) {
    const qsizetype n = text.size(), m = what.size();
    if (m == 0 || m > 8 || from < 0)
        return text.indexOf(what, from);
    const char16_t *const t = text.utf16(), *const w = what.utf16();
    for (qsizetype i = from; i <= n - m; ++i) {
        if (t[i] != w[0])
            continue;
        qsizetype k = 1;
        while (k < m && t[i + k] == w[k])
            ++k;
        if (k == m)
            return i;
    }
    return -1;
}

namespace {

// The $REPC fields as views of the name they were found in.
struct RepcViews {
    QStringView search, replacement, mode;
};

RepcViews scanRepc(QStringView name) {
    RepcViews f;
    const qsizetype p = findText(name, QStringView(u"$REPC", 5));
    if (p < 0)
        return f;
    int k = 1;
    qsizetype s = p + FieldsOffset;
    for (qsizetype i = s; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c == u'/') {
            ++k;
            if (k == 2)
                f.search = name.mid(s, i - s);
            else if (k == 3)
                f.replacement = name.mid(s, i - s);
            s = i + 1;
        } else if (c == u'$') {
            if (k == 2) {
                f.replacement = name.mid(s, i - s);
                f.mode = QStringView();
            } else if (k == 3) {
                f.mode = name.mid(s, i - s);
            }
        }
    }
    return f;
}

} // namespace

RepcFields scanRepcFields(const QString &name) {
    const RepcViews v = scanRepc(name);
    return {v.search.toString(), v.replacement.toString(), v.mode.toString()};
}

ReppFields scanReppFields(const QString &name) {
    ReppFields f;
    const qsizetype p = findText(name, QStringView(u"$REPP", 5));
    if (p < 0)
        return f;
    int k = 1;
    qsizetype s = p + FieldsOffset;
    for (qsizetype i = s; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c == u'/') {
            ++k;
            const QString field = name.mid(s, i - s);
            if (k == 2)
                f.a = field;
            else if (k == 3)
                f.b = field;
            else if (k == 4)
                f.fromStart = field == u"1";
            s = i + 1;
        } else if (c == u'$' && k == 4) {
            f.replacement = name.mid(s, i - s);
        }
    }
    return f;
}

void applyRepc(QStringView name, QStringView base, QString &out) {
    const RepcViews f = scanRepc(name);
    out.resize(0);
    if (f.mode.isEmpty()) {
        if (f.search.isEmpty()) {
            out.append(base);
            return;
        }
        // Every occurrence, left to right, none overlapping.
        qsizetype from = 0;
        for (qsizetype at; (at = findText(base, f.search, from)) >= 0; from = at + f.search.size()) {
            out.append(base.mid(from, at - from));
            out.append(f.replacement);
        }
        out.append(base.mid(from));
        return;
    }
    // An empty search is found at 1.
    const qsizetype q = f.search.isEmpty() ? 1 : findText(base, f.search) + 1;
    if (q < 1) {
        out.append(base);
    } else if (f.mode == u"-1") {
        out.append(f.replacement);
        out.append(base.mid(q - 1));
    } else if (f.mode == u"1") {
        const qsizetype j = q + f.search.size() - 1;
        if (j >= 1)
            out.append(base.left(j));
        out.append(f.replacement);
    } else {
        out.append(name);
    }
}

QString applyRepc(const QString &name, const QString &base) {
    QString out;
    applyRepc(name, base, out);
    return out;
}

std::optional<std::int16_t> readPosition(const QString &text) {
    const WholeNumber n = readWholeNumber(text);
    if (!n.isNumber)
        return std::nullopt;
    if (!n.fits64 || n.value < std::numeric_limits<std::int16_t>::min() ||
        n.value > std::numeric_limits<std::int16_t>::max())
        throw TavError(ErrOverflow, QStringLiteral("Overflow"));
    return std::int16_t(n.value);
}

ReppResult applyRepp(const QString &name, const QString &base) {
    const ReppFields f = scanReppFields(name);
    const std::optional<std::int16_t> posA = readPosition(f.a);
    const std::optional<std::int16_t> posB = readPosition(f.b);
    const QString &r = f.replacement;
    const qsizetype len = base.size();
    ReppResult result;

    if (!posA && !posB) {
        frontEnd().msgBox(i18n::Message(45), StyleExclamation, i18n::Message(2));
        result.stop = true;
        return result;
    }
    if (posA && posB) {
        qsizetype a = *posA, b = *posB;
        if (a > b)
            std::swap(a, b);
        if (f.fromStart)
            result.name = leftPart(base, a) + r + fromPosition(base, b);
        else if (len - b >= 1)
            result.name = leftPart(base, len - b + 1) + r + fromPosition(base, len - a + 1);
        else
            result.name = r + fromPosition(base, len - a + 1);
    } else if (posA) {
        // Before position A.
        const qsizetype a = *posA;
        if (f.fromStart)
            result.name = r + fromPosition(base, a);
        else
            result.name = r + (len - a > 0 ? lastPart(base, a) : base);
    } else {
        // After position B.
        const qsizetype b = *posB;
        if (f.fromStart)
            result.name = leftPart(base, b) + r;
        else
            result.name = len - b + 1 > 0 ? leftPart(base, len - b + 1) + r : r;
    }
    return result;
}

QString cmdRepPosText(int optRepPos, const QStringList &txtRepPos, int optRepPosDebutFin,
                      const QString &txtRemplacerPos) {
    const auto field = [&](int i) { return i < txtRepPos.size() ? txtRepPos[i] : QString(); };
    QString text = QStringLiteral("$REPP/");
    switch (optRepPos) {
    case 0:
        text += field(0) + u'/' + field(1);
        break;
    case 1:
        text += field(2) + u'/';
        break;
    case 2:
        text += u'/' + field(3);
        break;
    default:
        break;
    }
    if (optRepPosDebutFin == 0)
        text += QStringLiteral("/1");
    else if (optRepPosDebutFin == 1)
        text += QStringLiteral("/-1");
    return text + u'/' + txtRemplacerPos + u'$';
}

std::optional<QString> cmdRepStrText(const QString &txtRechercher, const QString &txtRemplacer, int optRepStr) {
    if (txtRechercher.isEmpty()) {
        frontEnd().msgBox(i18n::Message(51), StyleInformation, QStringLiteral("Message"));
        return std::nullopt;
    }
    QString text = QStringLiteral("$REPC/") + txtRechercher + u'/' + txtRemplacer;
    if (optRepStr == 1)
        text += QStringLiteral("/-1");
    else if (optRepStr == 2)
        text += QStringLiteral("/1");
    return text + u'$';
}

QString txtRepPosLeaveText(const QString &text) {
    const WholeNumber n = readWholeNumber(text);
    if (!n.isNumber || n.digits.startsWith(u'-') || n.digits == u"0")
        return QStringLiteral("1");
    // A position is read in 16 bits. Names are far shorter than 32767
    // characters, so the largest position replaces exactly what any larger one
    // would, without an overflow report for every file of the list.
    if (!n.fits64 || n.value > std::numeric_limits<std::int16_t>::max())
        return QString::number(std::numeric_limits<std::int16_t>::max());
    return n.digits;
}

} // namespace tav
