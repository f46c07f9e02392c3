// Strings: accent folding, last occurrence, NUL cut, byte counts with units.

#include "orvalib/Abi.h"

#include <QLocale>

#include <charconv>
#include <cmath>

using namespace orva;

namespace {

// The French accents folded away; every other character stays as it is.
char16_t withoutAccent(char16_t c) {
    switch (c) {
    case u'à':
    case u'â':
    case u'ä':
        return u'a';
    case u'é':
    case u'è':
    case u'ê':
    case u'ë':
        return u'e';
    case u'ï':
    case u'î':
        return u'i';
    case u'ö':
    case u'ô':
        return u'o';
    case u'ù':
    case u'ü':
        return u'u';
    case u'ç':
        return u'c';
    default:
        return c;
    }
}

QString formatThousandths(double value) {
    char buffer[400];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
    if (ec != std::errc())
        throw Failure{ErrOverflow, QStringLiteral("Overflow: value too large to write")};
    QString text = QString::fromLatin1(buffer, end - buffer);
    // "#.000": no digit before the separator when the integer part is 0.
    if (text.startsWith(QLatin1String("0.")))
        text.remove(0, 1);
    else if (text.startsWith(QLatin1String("-0.")))
        text.remove(1, 1);
    text.replace(QLatin1Char('.'), QLocale::system().decimalPoint());
    return text;
}

} // namespace

extern "C" {

TAV_API TavStr TavStringSansAccent(const TavChar *text, int32_t length) {
    return guarded<TavStr>(nullptr, [&] {
        const QString source = argText(text, length);
        checkLength16(source.size(), "TavStringSansAccent");
        const QLocale locale = QLocale::system();
        QString folded = locale.toLower(source);
        for (QChar &c : folded)
            c = QChar(withoutAccent(c.unicode()));
        return newText(locale.toLower(folded));
    });
}

TAV_API int16_t TavLastSubStrInStr(int16_t start, const TavChar *text, int32_t textLength, const TavChar *sought,
                                   int32_t soughtLength) {
    return guarded<int16_t>(0, [&]() -> int16_t {
        if (start < 1)
            throw Failure{ErrInvalidCall,
                          QStringLiteral("Invalid procedure call or argument: start must be 1 or more")};
        const QString haystack = argText(text, textLength);
        const QString needle = argText(sought, soughtLength);
        if (needle.isEmpty())
            return 0;
        // The last occurrence overall is the last one found by searching again
        // from each occurrence plus one, provided it lies at or after start.
        const qsizetype at = haystack.lastIndexOf(needle);
        if (at < start - 1)
            return 0;
        return position16(at, "TavLastSubStrInStr");
    });
}

TAV_API TavStr TavTrimNull(const TavChar *text, int32_t length) {
    return guarded<TavStr>(nullptr, [&] {
        const QString source = argText(text, length);
        const qsizetype at = source.indexOf(QChar(0));
        if (at < 0)
            return newText(source);
        position16(at, "TavTrimNull");
        return newText(source.left(at));
    });
}

TAV_API TavStr TavDoubleToUnit(double value) {
    return guarded<TavStr>(nullptr, [&] {
        if (!std::isfinite(value))
            throw Failure{ErrInvalidCall, QStringLiteral("Invalid procedure call or argument: not a number")};
        int n = 0;
        while (value >= 1024) {
            value /= 1024;
            ++n;
        }
        static const char *const Units[] = {"", "K", "M", "G", "T", "F"};
        const QLatin1String unit(n < 6 ? Units[n] : "");
        return newText(formatThousandths(value) + QLatin1Char(' ') + unit);
    });
}

} // extern "C"
