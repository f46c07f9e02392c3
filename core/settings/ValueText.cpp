#include "core/settings/ValueText.h"

#include "core/base/Trap.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace tav::valueText {

namespace {

[[noreturn]] void typeMismatch() {
    throw TavError(ErrTypeMismatch, QStringLiteral("Type mismatch"));
}

[[noreturn]] void overflow() {
    throw TavError(ErrOverflow, QStringLiteral("Overflow"));
}

double toNumber(const QString &text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        typeMismatch();
    bool ok = false;
    double v = t.toDouble(&ok);
    if (!ok) {
        // Files written under a locale with a decimal comma.
        QString c = t;
        if (c.count(u',') == 1 && !c.contains(u'.'))
            v = c.replace(u',', u'.').toDouble(&ok);
    }
    if (!ok || std::isnan(v))
        typeMismatch();
    if (std::isinf(v))
        overflow();
    return v;
}

template <class T> T toInteger(const QString &text) {
    const double v = std::nearbyint(toNumber(text)); // default rounding: half to even
    if (v < double(std::numeric_limits<T>::min()) || v > double(std::numeric_limits<T>::max()))
        overflow();
    return static_cast<T>(v);
}

} // namespace

std::int16_t toInt16(const QString &text) {
    return toInteger<std::int16_t>(text);
}

std::int32_t toInt32(const QString &text) {
    return toInteger<std::int32_t>(text);
}

float toSingle(const QString &text) {
    const double v = toNumber(text);
    if (std::fabs(v) > double(FLT_MAX))
        overflow();
    return static_cast<float>(v);
}

QString fromSingle(float value) {
    for (int digits = 6; digits < 9; ++digits) {
        const QString t = QString::number(double(value), 'g', digits);
        if (static_cast<float>(t.toDouble()) == value)
            return t;
    }
    return QString::number(double(value), 'g', 9);
}

} // namespace tav::valueText
