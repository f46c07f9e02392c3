#include "core/base/NaturalOrder.h"

#include <algorithm>
#include <vector>

namespace tav {

namespace {

inline bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// A code unit's rank in code-point order: UTF-16 puts the surrogates (code
// points above U+FFFF) below U+E000..U+FFFF; UTF-8 and the code points put
// them above.
inline char16_t rank(char16_t c) {
    if (c < 0xD800)
        return c;
    return c >= 0xE000 ? char16_t(c - 0x800) : char16_t(c + 0x2000);
}

inline char16_t fold(char16_t c) {
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
    return QChar::toCaseFolded(c);
}

struct Folded {
    static char16_t at(QStringView s, qsizetype i) { return fold(s[i].unicode()); }
};
struct AsIs {
    static char16_t at(QStringView s, qsizetype i) { return s[i].unicode(); }
};

// Compares a and b with their digit runs as numbers; Unit gives a character
// as it is compared (folded or as it is). Equal numbers with different
// leading zeros compare equal here: the caller's byte order decides them.
template <class Unit> int compareNumbersAware(QStringView a, QStringView b) {
    const qsizetype na = a.size(), nb = b.size();
    qsizetype i = 0, j = 0;
    while (i < na && j < nb) {
        const char16_t ca = Unit::at(a, i), cb = Unit::at(b, j);
        if (isDigit(ca) && isDigit(cb)) {
            // Skip the leading zeros, then the longer run is the larger
            // number, and runs of one length compare digit by digit.
            while (i < na && a[i] == u'0')
                ++i;
            while (j < nb && b[j] == u'0')
                ++j;
            qsizetype ea = i, eb = j;
            while (ea < na && isDigit(a[ea].unicode()))
                ++ea;
            while (eb < nb && isDigit(b[eb].unicode()))
                ++eb;
            if (ea - i != eb - j)
                return ea - i < eb - j ? -1 : 1;
            for (; i < ea; ++i, ++j)
                if (a[i] != b[j])
                    return a[i] < b[j] ? -1 : 1;
            continue;
        }
        if (ca != cb)
            return rank(ca) < rank(cb) ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < na)
        return 1;
    if (j < nb)
        return -1;
    return 0;
}

} // namespace

int codePointCompare(QStringView a, QStringView b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ca = a[i].unicode(), cb = b[i].unicode();
        if (ca != cb)
            return rank(ca) < rank(cb) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int naturalCompare(QStringView a, QStringView b) {
    if (const int c = compareNumbersAware<Folded>(a, b))
        return c;
    return codePointCompare(a, b);
}

QList<qsizetype> naturalOrderOf(const QStringList &names) {
    // The folded names side by side with their indexes; the folding is the
    // costly part of a comparison and is done once per name.
    struct Key {
        QString folded;
        qsizetype index;
    };
    std::vector<Key> keys;
    keys.reserve(size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString &name = names.at(i);
        QString folded(name.size(), Qt::Uninitialized);
        char16_t *out = reinterpret_cast<char16_t *>(folded.data());
        for (qsizetype k = 0; k < name.size(); ++k)
            out[k] = fold(name[k].unicode());
        keys.push_back({std::move(folded), i});
    }
    std::sort(keys.begin(), keys.end(), [&](const Key &x, const Key &y) {
        if (const int c = compareNumbersAware<AsIs>(x.folded, y.folded))
            return c < 0;
        return codePointCompare(names.at(x.index), names.at(y.index)) < 0;
    });
    QList<qsizetype> order;
    order.reserve(names.size());
    for (const Key &k : keys)
        order.append(k.index);
    return order;
}

void sortNaturally(QStringList &names) {
    const QList<qsizetype> order = naturalOrderOf(names);
    QStringList sorted;
    sorted.reserve(names.size());
    for (qsizetype i : order)
        sorted.append(std::move(names[i]));
    names = std::move(sorted);
}

} // namespace tav
