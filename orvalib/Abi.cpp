#include "orvalib/Abi.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace orva {

namespace {

// A returned text is one block: this header, then the UTF-16 units and a NUL.
// The caller only ever sees the pointer to the units.
struct Header {
    int32_t length;
    int32_t reserved;
};
static_assert(sizeof(Header) == 8, "the text must stay 8-byte aligned");

thread_local int t_error = 0;
thread_local QString t_errorText;

} // namespace

QStringView argView(const TavChar *text, int32_t length) {
    if (!text)
        return QStringView();
    if (length < 0) {
        qsizetype n = 0;
        while (text[n] != 0)
            ++n;
        return QStringView(text, n);
    }
    return QStringView(text, length);
}

QString argText(const TavChar *text, int32_t length) {
    return argView(text, length).toString();
}

TavStr newText(const TavChar *text, qsizetype length) {
    if (length < 0 || length > std::numeric_limits<int32_t>::max() / 2 - 16)
        throw Failure{ErrOverflow, QStringLiteral("Overflow: text too long to return")};
    const size_t bytes = sizeof(Header) + (size_t(length) + 1) * sizeof(TavChar);
    auto *block = static_cast<Header *>(std::malloc(bytes));
    if (!block)
        throw std::bad_alloc();
    block->length = int32_t(length);
    block->reserved = 0;
    auto *units = reinterpret_cast<TavChar *>(block + 1);
    if (length > 0)
        std::memcpy(units, text, size_t(length) * sizeof(TavChar));
    units[length] = 0;
    return units;
}

TavStr newText(const QString &text) {
    return newText(reinterpret_cast<const TavChar *>(text.utf16()), text.size());
}

int16_t position16(qsizetype index, const char *exportName) {
    if (index + 1 > std::numeric_limits<int16_t>::max())
        throw Failure{ErrOverflow,
                      QStringLiteral("Overflow: position beyond 32767 in %1").arg(QLatin1String(exportName))};
    return int16_t(index + 1);
}

void checkLength16(qsizetype length, const char *exportName) {
    if (length > std::numeric_limits<int16_t>::max())
        throw Failure{
            ErrOverflow,
            QStringLiteral("Overflow: text longer than 32767 characters in %1").arg(QLatin1String(exportName))};
}

void clearLastError() {
    t_error = 0;
    if (!t_errorText.isEmpty())
        t_errorText.clear();
}

void setLastError(int number, const QString &description) {
    t_error = number;
    t_errorText = description;
}

int lastError() {
    return t_error;
}
QString lastErrorText() {
    return t_errorText;
}

void freeText(TavStr text) {
    if (text)
        std::free(reinterpret_cast<Header *>(text) - 1);
}

int32_t textLength(const TavChar *text) {
    return text ? reinterpret_cast<const Header *>(text)[-1].length : 0;
}

} // namespace orva
