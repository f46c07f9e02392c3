#pragma once
// 64-bit hashes of names, eight bytes at a time, for the batch's tables of
// names and paths. Not stored anywhere: only equal within one run.

#include <QtGlobal>

#include <cstring>

namespace tav::nameHash {

// The bytes p[0..n) (0 < n < 8) as the low bytes of a word, the rest zero,
// read without going past p + n.
inline quint64 tail(const char *p, qsizetype n) {
    if (n >= 4) {
        quint32 a, b;
        std::memcpy(&a, p, 4);
        std::memcpy(&b, p + n - 4, 4);
        return a | (quint64(b) << (8 * (n - 4)));
    }
    return quint64(static_cast<unsigned char>(p[0])) |
           (quint64(static_cast<unsigned char>(p[n / 2])) << (8 * (n / 2))) |
           (quint64(static_cast<unsigned char>(p[n - 1])) << (8 * (n - 1)));
}

// The top bit of every byte: a word with none of them set is ASCII.
constexpr quint64 HighBits = 0x8080808080808080ULL;

// Each byte from 'A' to 'Z' made its small letter; every other byte kept.
inline quint64 foldAscii(quint64 w) {
    constexpr quint64 ones = 0x0101010101010101ULL, high = HighBits;
    const quint64 seven = w & ~high; // adding below cannot carry into the next byte
    const quint64 atLeastA = seven + ones * (0x80 - 'A');
    const quint64 pastZ = seven + ones * (0x7F - 'Z');
    return w | ((atLeastA & ~pastZ & ~w & high) >> 2);
}

// Whether a word (bytes below 0x80) holds a small letter.
inline bool hasSmallLetter(quint64 w) {
    constexpr quint64 ones = 0x0101010101010101ULL, high = HighBits;
    const quint64 seven = w & ~high;
    return ((seven + ones * (0x80 - 'a')) & ~(seven + ones * (0x7F - 'z')) & ~w & high) != 0;
}

// Whether a word holds the byte c (not 0).
inline bool hasByte(quint64 w, char c) {
    constexpr quint64 ones = 0x0101010101010101ULL, high = HighBits;
    const quint64 v = w ^ (ones * static_cast<unsigned char>(c));
    return ((v - ones) & ~v & high) != 0;
}

inline quint64 mix(quint64 h, quint64 w) {
    h = (h ^ w) * 0x9E3779B97F4A7C15ULL;
    return h ^ (h >> 29);
}

// The hash of n bytes after seed; with Fold, ASCII capitals count as small
// letters. Calls each(word) for every word read (the tail zero-padded).
template <bool Fold, typename Each> inline quint64 bytes(quint64 seed, const char *p, qsizetype n, Each &&each) {
    quint64 h = mix(seed, quint64(n));
    qsizetype k = 0;
    for (; k + 8 <= n; k += 8) {
        quint64 w;
        std::memcpy(&w, p + k, 8);
        each(w);
        h = mix(h, Fold ? foldAscii(w) : w);
    }
    if (k < n) {
        quint64 w;
        if (n >= 8) {
            std::memcpy(&w, p + n - 8, 8);
            w >>= 8 * (8 - (n - k));
        } else {
            w = tail(p, n);
        }
        each(w);
        h = mix(h, Fold ? foldAscii(w) : w);
    }
    return h;
}

template <bool Fold> inline quint64 bytes(quint64 seed, const char *p, qsizetype n) {
    return bytes<Fold>(seed, p, n, [](quint64) {});
}

} // namespace tav::nameHash
