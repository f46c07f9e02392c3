#include "core/base/NaturalOrder.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <memory>
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

// Compares a and b with their digit runs as numbers, letters folded. Equal
// numbers with different leading zeros compare equal here: the caller's
// byte order decides them.
int compareNumbersAware(const char16_t *a, qsizetype na, const char16_t *b, qsizetype nb) {
    const char16_t *const aEnd = a + na, *const bEnd = b + nb;
    while (a < aEnd && b < bEnd) {
        const char16_t ca = fold(*a), cb = fold(*b);
        if (isDigit(ca) && isDigit(cb)) {
            // Skip the leading zeros, then the longer run is the larger
            // number, and runs of one length compare digit by digit.
            while (a < aEnd && *a == u'0')
                ++a;
            while (b < bEnd && *b == u'0')
                ++b;
            const char16_t *ra = a, *rb = b;
            while (ra < aEnd && isDigit(*ra))
                ++ra;
            while (rb < bEnd && isDigit(*rb))
                ++rb;
            if (ra - a != rb - b)
                return ra - a < rb - b ? -1 : 1;
            for (; a < ra; ++a, ++b)
                if (*a != *b)
                    return *a < *b ? -1 : 1;
            continue;
        }
        if (ca != cb)
            return rank(ca) < rank(cb) ? -1 : 1;
        ++a;
        ++b;
    }
    if (a < aEnd)
        return 1;
    if (b < bEnd)
        return -1;
    return 0;
}

// How many characters a and b begin with alike, up to n; four at a time.
qsizetype commonPrefix(const char16_t *a, const char16_t *b, qsizetype n) {
    qsizetype p = 0;
    for (; p + 4 <= n; p += 4) {
        quint64 x, y;
        std::memcpy(&x, a + p, sizeof x);
        std::memcpy(&y, b + p, sizeof y);
        if (x != y)
            break;
    }
    while (p < n && a[p] == b[p])
        ++p;
    return p;
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
    // What both names begin with decides nothing: the comparison starts at
    // the first character that differs or, within a number, where the
    // number starts (both stand there at the same point of their walk).
    const char16_t *const pa = a.utf16(), *const pb = b.utf16();
    const qsizetype na = a.size(), nb = b.size();
    const qsizetype p = commonPrefix(pa, pb, std::min(na, nb));
    if (p == na && p == nb)
        return 0;
    qsizetype start = p;
    if (p < na && p < nb) {
        const char16_t ca = pa[p], cb = pb[p];
        if (isDigit(ca) && isDigit(cb)) {
            // Within a number whose common digits are not all zeros, the
            // longer number is the larger, and numbers of one length differ
            // at this digit first.
            bool significant = false;
            while (start > 0 && isDigit(pa[start - 1]))
                significant |= pa[--start] != u'0';
            if (significant) {
                qsizetype ea = p + 1, eb = p + 1;
                while (ea < na && isDigit(pa[ea]))
                    ++ea;
                while (eb < nb && isDigit(pb[eb]))
                    ++eb;
                if (ea != eb)
                    return ea < eb ? -1 : 1;
                return ca < cb ? -1 : 1;
            }
        } else if (!isDigit(ca) && !isDigit(cb) && (p == 0 || !isDigit(pa[p - 1]))) {
            // Two letters outside any number: their folded forms decide
            // when they differ.
            const char16_t fa = fold(ca), fb = fold(cb);
            if (fa != fb)
                return rank(fa) < rank(fb) ? -1 : 1;
        }
    }
    while (start > 0 && isDigit(pa[start - 1]))
        --start;
    if (const int c = compareNumbersAware(pa + start, na - start, pb + start, nb - start))
        return c;
    return codePointCompare(a.mid(p), b.mid(p));
}

namespace {

// Folder listings often come in natural order, or in its reverse (the
// order the files were made in, or that order backwards): one look at each
// pair of neighbours tells. Reversed means strictly, so that names equal
// in every way keep the order they came in.
enum class Run { Ascending, Descending, Neither };
template <class NameAt> Run runOf(qsizetype count, const NameAt &nameAt, bool *alike = nullptr) {
    qsizetype i = 1;
    bool same = false;
    for (int c; i < count && (c = naturalCompare(nameAt(i - 1), nameAt(i))) <= 0; ++i)
        same |= c == 0;
    if (alike)
        *alike = same;
    if (i >= count)
        return Run::Ascending;
    if (i > 1)
        return Run::Neither;
    while (i < count && naturalCompare(nameAt(i - 1), nameAt(i)) > 0)
        ++i;
    return i >= count ? Run::Descending : Run::Neither;
}

} // namespace

namespace {

// A value up to 0xFFFF in one to three bytes whose order is the values' (as
// UTF-8 orders code points).
inline char *putUnit(char *out, char16_t v) {
    if (v < 0x80) {
        *out++ = char(v);
    } else if (v < 0x800) {
        *out++ = char(0xC0 | (v >> 6));
        *out++ = char(0x80 | (v & 0x3F));
    } else {
        *out++ = char(0xE0 | (v >> 12));
        *out++ = char(0x80 | ((v >> 6) & 0x3F));
        *out++ = char(0x80 | (v & 0x3F));
    }
    return out;
}

// The key of one name: each character folded and ranked; a run of digits as
// a "0" (numbers rank among the digits), then its count of significant digits
// plus one, then those digits, so that a longer number is a larger one. No
// key holds a zero byte (names hold no U+0000), so zero-padding sorts a
// shorter key first. Writes at most four bytes per character.
// What an ASCII character puts in a key: itself folded, zero for a digit.
struct AsciiKeys {
    char byte[128];
    constexpr AsciiKeys() : byte() {
        for (int c = 0; c < 128; ++c)
            byte[c] = char(c >= '0' && c <= '9' ? 0 : (c >= 'A' && c <= 'Z' ? c + 32 : c));
    }
};
constexpr AsciiKeys asciiKeys;

char *putKey(char *out, QStringView name) {
    const qsizetype n = name.size();
    const char16_t *const s = name.utf16();
    for (qsizetype i = 0; i < n;) {
        const char16_t c = s[i];
        if (c < 0x80 && asciiKeys.byte[c] != 0) {
            // Most characters: ASCII but digits (U+0000 stands in no name).
            *out++ = asciiKeys.byte[c];
            ++i;
            continue;
        }
        if (!isDigit(c)) {
            out = putUnit(out, rank(fold(c)));
            ++i;
            continue;
        }
        while (i < n && s[i] == u'0')
            ++i;
        qsizetype end = i;
        while (end < n && isDigit(s[end]))
            ++end;
        *out++ = '0';
        out = putUnit(out, char16_t(std::min<qsizetype>(end - i + 1, 0xFFFF)));
        for (; i < end; ++i)
            *out++ = char(s[i]);
    }
    return out;
}

// Eight bytes from at as a big-endian number, those from the count-th on
// taken as zero.
inline quint64 headBytes(const char *at, quint32 count) {
    if (count == 0)
        return 0;
    quint64 v;
    std::memcpy(&v, at, sizeof v);
    v = qFromBigEndian(v);
    return count >= 8 ? v : v & ~(~quint64(0) >> (8 * count));
}

} // namespace

template <class NameAt> void NaturalKeys::build(qsizetype count, const NameAt &nameAt) {
    m_names.reserve(size_t(count));
    size_t room = 16; // the heads read up to 16 bytes past a key's start
    for (qsizetype i = 0; i < count; ++i) {
        m_names.push_back(nameAt(i));
        room += size_t(m_names.back().size()) * 4;
    }
    // Room for the longest keys, written without filling it first: only
    // what the keys take is touched.
    m_bytes.reset(new char[room]);
    m_keys.reserve(size_t(count));
    char *const base = m_bytes.get();
    char *out = base;
    for (const QStringView name : m_names) {
        char *const begin = out;
        out = putKey(out, name);
        const quint32 length = quint32(out - begin);
        m_keys.push_back({{headBytes(begin, length), headBytes(begin + 8, length > 8 ? length - 8 : 0)},
                          quint32(begin - base),
                          length});
    }
}

NaturalKeys::NaturalKeys(qsizetype count, const std::function<QStringView(qsizetype)> &nameAt) {
    build(count, nameAt);
}

NaturalKeys::NaturalKeys(const QStringList &names) {
    build(names.size(), [&](qsizetype i) { return QStringView(names.at(i)); });
}

int NaturalKeys::compareKeys(const Key &a, const Key &b, qsizetype i, qsizetype j) const {
    if (a.head[0] != b.head[0])
        return a.head[0] < b.head[0] ? -1 : 1;
    if (a.head[1] != b.head[1])
        return a.head[1] < b.head[1] ? -1 : 1;
    if (a.length > 16 && b.length > 16) {
        const quint32 common = std::min(a.length, b.length) - 16;
        if (const int c = std::memcmp(m_bytes.get() + a.begin + 16, m_bytes.get() + b.begin + 16, common))
            return c;
    }
    if (a.length != b.length)
        return a.length < b.length ? -1 : 1;
    return codePointCompare(m_names[size_t(i)], m_names[size_t(j)]);
}

int NaturalKeys::compare(qsizetype i, qsizetype j) const {
    return compareKeys(m_keys[size_t(i)], m_keys[size_t(j)], i, j);
}

std::vector<qsizetype> NaturalKeys::order() const {
    const Run r = runOf(qsizetype(m_names.size()), [&](qsizetype i) { return m_names[size_t(i)]; });
    if (r == Run::Neither)
        return sortedOrder();
    std::vector<qsizetype> out(m_keys.size());
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = qsizetype(r == Run::Ascending ? i : out.size() - 1 - i);
    return out;
}

std::vector<qsizetype> NaturalKeys::sortedOrder() const {
    // The keys travel with their indexes, so that most comparisons read
    // nothing but the two heads.
    struct Entry {
        Key key;
        qsizetype index;
    };
    std::vector<Entry> entries;
    entries.reserve(m_keys.size());
    for (size_t i = 0; i < m_keys.size(); ++i)
        entries.push_back({m_keys[i], qsizetype(i)});
    std::sort(entries.begin(), entries.end(),
              [&](const Entry &a, const Entry &b) { return compareKeys(a.key, b.key, a.index, b.index) < 0; });
    std::vector<qsizetype> out(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        out[i] = entries[i].index;
    return out;
}

QList<qsizetype> naturalOrderOf(const QStringList &names) {
    const std::vector<qsizetype> order = NaturalKeys(names).order();
    return QList<qsizetype>(order.begin(), order.end());
}

bool sortNaturally(QStringList &names) {
    // Names in order or in reverse order need no keys.
    bool alike = false;
    switch (runOf(
        names.size(), [&](qsizetype i) { return QStringView(names.at(i)); }, &alike)) {
    case Run::Ascending:
        return !alike;
    case Run::Descending:
        std::reverse(names.begin(), names.end());
        return true;
    case Run::Neither:
        break;
    }
    const std::vector<qsizetype> order = NaturalKeys(names).sortedOrder();
    QStringList sorted;
    sorted.reserve(names.size());
    for (qsizetype i : order)
        sorted.append(std::move(names[i]));
    names = std::move(sorted);
    return false;
}

} // namespace tav
