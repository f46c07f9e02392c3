#include "core/base/Wildcard.h"

namespace tav {

WildcardPattern::WildcardPattern(QStringView pattern) {
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        Item item;
        if (c == u'*') {
            // Consecutive stars are one star.
            if (!m_items.isEmpty() && m_items.last().kind == Kind::AnyRun)
                continue;
            item.kind = Kind::AnyRun;
        } else if (c == u'?') {
            item.kind = Kind::AnyOne;
        } else if (c == u'#') {
            item.kind = Kind::Digit;
        } else if (c == u'[') {
            const qsizetype close = pattern.indexOf(u']', i + 1);
            if (close < 0) {
                item.ch = c;
                m_items.append(std::move(item));
                continue;
            }
            item.kind = Kind::Set;
            QStringView set = pattern.mid(i + 1, close - i - 1);
            if (!set.isEmpty() && set[0] == u'!') {
                item.negated = true;
                set = set.mid(1);
            }
            for (qsizetype k = 0; k < set.size(); ++k) {
                const char16_t from = set[k].unicode();
                if (k + 2 < set.size() && set[k + 1] == u'-') {
                    char16_t to = set[k + 2].unicode();
                    item.ranges.append(from <= to ? std::pair{from, to} : std::pair{to, from});
                    k += 2;
                } else {
                    item.ranges.append({from, from});
                }
            }
            i = close;
        } else {
            item.kind = Kind::Literal;
            item.ch = c;
        }
        m_items.append(std::move(item));
    }
}

bool WildcardPattern::itemMatches(const Item &item, QChar c) const {
    switch (item.kind) {
    case Kind::Literal:
        return c == item.ch;
    case Kind::AnyOne:
        return true;
    case Kind::Digit:
        return c >= u'0' && c <= u'9';
    case Kind::Set: {
        bool in = false;
        for (const auto &[from, to] : item.ranges)
            if (c.unicode() >= from && c.unicode() <= to) {
                in = true;
                break;
            }
        return in != item.negated;
    }
    case Kind::AnyRun:
        break;
    }
    return false;
}

bool WildcardPattern::matches(QStringView text) const {
    // Greedy matching with one backtrack point per star: linear in practice,
    // never exponential.
    qsizetype ti = 0, pi = 0;
    qsizetype starItem = -1, starText = 0;
    const qsizetype np = m_items.size();
    while (ti < text.size()) {
        if (pi < np && m_items[pi].kind == Kind::AnyRun) {
            starItem = pi++;
            starText = ti;
        } else if (pi < np && itemMatches(m_items[pi], text[ti])) {
            ++pi;
            ++ti;
        } else if (starItem >= 0) {
            pi = starItem + 1;
            ti = ++starText;
        } else {
            return false;
        }
    }
    while (pi < np && m_items[pi].kind == Kind::AnyRun)
        ++pi;
    return pi == np;
}

bool likeMatch(QStringView text, QStringView pattern) {
    return WildcardPattern(pattern).matches(text);
}

WildcardList::WildcardList(const QString &spaceSeparated) : m_source(spaceSeparated) {
    if (spaceSeparated.isEmpty())
        return;
    const QStringList pieces = spaceSeparated.split(QLatin1Char(' '));
    for (const QString &piece : pieces) {
        // A piece of stars alone matches every text, whatever its case.
        if (!piece.isEmpty() && piece.count(QLatin1Char('*')) == piece.size())
            m_everything = true;
        m_patterns.append(WildcardPattern(piece.toUpper()));
    }
}

bool WildcardList::matchesAny(QStringView text) const {
    if (m_everything)
        return true;
    const QString upper = text.toString().toUpper();
    for (const auto &p : m_patterns)
        if (p.matches(upper))
            return true;
    return false;
}

NameFilter::NameFilter(const QString &spaceSeparated) {
    const QStringList pieces = spaceSeparated.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &piece : pieces) {
        if (piece == QLatin1String("*") || piece == QLatin1String("*.*"))
            m_all = true;
        m_patterns.append(WildcardPattern(piece.toUpper()));
    }
    if (m_patterns.isEmpty())
        m_all = true;
}

bool NameFilter::matches(const QString &name) const {
    if (m_all)
        return true;
    const QString upper = name.toUpper();
    for (const auto &p : m_patterns)
        if (p.matches(upper))
            return true;
    return false;
}

} // namespace tav
