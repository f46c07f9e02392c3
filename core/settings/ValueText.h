#pragma once
// Text <-> number conversions of the settings values. Reading is as lenient
// as the classic conversion functions (blanks around the number, a sign, a
// decimal part rounded half to even, "." or "," as decimal separator) and as
// strict: text that is no number is a type mismatch (error 13), a number out
// of the type's range an overflow (error 6), both thrown as TavError.

#include <QString>
#include <cstdint>

namespace tav::valueText {

std::int16_t toInt16(const QString &text);
std::int32_t toInt32(const QString &text);
float toSingle(const QString &text);

// Shortest text that reads back as the same single-precision value.
QString fromSingle(float value);

} // namespace tav::valueText
