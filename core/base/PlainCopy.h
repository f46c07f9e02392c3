#pragma once
// Copies a UTF-16 text to bytes while checking that every unit is in a set
// of plain ASCII characters: the names written by the thousand into the
// journal, the history and the command line's records are nearly always
// plain, and then they need no encoding at all. Eight units at a time where
// the processor allows.

#include <QtGlobal>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tav::plainCopy {

// Ascii: below 0x80. Printable: 0x20 to 0x7E but "\\". Unreserved: RFC
// 3986's unreserved characters ("A-Za-z0-9-._~") and "/".
enum class Set { Ascii, Printable, Unreserved };

template <Set S> inline bool inSet(unsigned c) {
    if constexpr (S == Set::Ascii)
        return c < 0x80u;
    else if constexpr (S == Set::Printable)
        return c - 0x20u < 0x5Fu && c != '\\';
    else
        return c - u'-' < 13u || (c | 0x20u) - u'a' < 26u || c == u'_' || c == u'~';
}

#if defined(__SSE2__)
// Runs ok(at) over blocks of Width from the start, then once more over the
// last Width for what is left (over some already done): true when every
// block passed. Lengths under Width are left to the caller (done stays 0).
template <qsizetype Width, typename Block> inline bool blocks(qsizetype length, qsizetype &done, Block &&ok) {
    if (length < Width)
        return true;
    for (done = 0; done + Width <= length; done += Width)
        if (!ok(done))
            return false;
    if (done < length && !ok(length - Width))
        return false;
    done = length;
    return true;
}
#endif

// Writes length bytes to w, each unit's low byte; true when every unit is in
// the set (the bytes written are then the text itself).
template <Set S> inline bool copy(char *w, const char16_t *s, qsizetype length) {
    qsizetype k = 0;
#if defined(__SSE2__)
    // Signed compares: a unit from 0x8000 up is negative and in no range.
    auto between = [](__m128i v, short low, short high) {
        return _mm_and_si128(_mm_cmpgt_epi16(v, _mm_set1_epi16(short(low - 1))),
                             _mm_cmplt_epi16(v, _mm_set1_epi16(short(high + 1))));
    };
    auto block = [&](qsizetype at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + at));
        __m128i ok;
        if constexpr (S == Set::Ascii) {
            ok = between(v, 0, 0x7F);
        } else if constexpr (S == Set::Printable) {
            ok = _mm_andnot_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16('\\')), between(v, 0x20, 0x7E));
        } else {
            ok = _mm_or_si128(_mm_or_si128(between(v, '-', '9'), between(v, 'A', 'Z')), between(v, 'a', 'z'));
            ok = _mm_or_si128(
                ok, _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16('_')), _mm_cmpeq_epi16(v, _mm_set1_epi16('~'))));
        }
        if (_mm_movemask_epi8(ok) != 0xFFFF)
            return false;
        _mm_storel_epi64(reinterpret_cast<__m128i *>(w + at), _mm_packus_epi16(v, v));
        return true;
    };
    if (!blocks<8>(length, k, block))
        return false;
#endif
    for (; k < length; ++k) {
        const unsigned c = s[k];
        if (!inSet<S>(c))
            return false;
        w[k] = char(c);
    }
    return true;
}

// True when every unit is ASCII.
inline bool ascii(const char16_t *s, qsizetype length) {
    qsizetype k = 0;
#if defined(__SSE2__)
    auto plain = [s](qsizetype at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + at));
        return _mm_movemask_epi8(_mm_cmpgt_epi16(v, _mm_set1_epi16(0x7F))) == 0 &&
               _mm_movemask_epi8(_mm_cmplt_epi16(v, _mm_setzero_si128())) == 0;
    };
    if (!blocks<8>(length, k, plain))
        return false;
#endif
    for (; k < length; ++k)
        if (s[k] >= 0x80)
            return false;
    return true;
}

// True when every byte is ASCII.
inline bool ascii(const char *s, qsizetype length) {
    qsizetype k = 0;
#if defined(__SSE2__)
    auto plain = [s](qsizetype at) {
        return _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s + at))) == 0;
    };
    if (!blocks<16>(length, k, plain))
        return false;
#endif
    for (; k < length; ++k)
        if (static_cast<unsigned char>(s[k]) >= 0x80)
            return false;
    return true;
}

// True when every byte is ASCII and none is c.
inline bool asciiWithout(const char *s, qsizetype length, char c) {
    qsizetype k = 0;
#if defined(__SSE2__)
    auto plain = [s, c](qsizetype at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + at));
        return _mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, _mm_set1_epi8(c)))) == 0;
    };
    if (!blocks<16>(length, k, plain))
        return false;
#endif
    for (; k < length; ++k)
        if (static_cast<unsigned char>(s[k]) >= 0x80 || s[k] == c)
            return false;
    return true;
}

} // namespace tav::plainCopy
