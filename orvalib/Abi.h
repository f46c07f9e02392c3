#pragma once
// Helpers shared by every export: reading a text argument, making a returned
// text, 16-bit positions, and the per-thread last error. Each export runs its
// body inside guarded() so that no exception crosses the C boundary.

#include "orvalib/orvalib.h"

#include <QString>
#include <QStringView>
#include <exception>
#include <new>

namespace orva {

enum ErrorNumber : int { ErrInvalidCall = 5, ErrOverflow = 6, ErrOutOfMemory = 7, ErrUnexpected = 51 };

// Thrown inside an export; guarded() turns it into the thread's last error.
struct Failure {
    int number;
    QString description;
};

// A text argument: pointer + length in UTF-16 units (negative: up to the first NUL).
QString argText(const TavChar *text, int32_t length);
// The same argument without a copy, valid for the call only.
QStringView argView(const TavChar *text, int32_t length);

// A new text owned by the caller (freed with TavFreeString). Never null.
TavStr newText(const QString &text);
TavStr newText(const TavChar *text, qsizetype length);
inline TavStr newText(QStringView text) {
    return newText(reinterpret_cast<const TavChar *>(text.utf16()), text.size());
}

inline TavBool tavBool(bool value) {
    return value ? TAV_TRUE : TAV_FALSE;
}

// The 1-based position of a 0-based index, failing with an overflow when it
// does not fit the 16-bit contract.
int16_t position16(qsizetype index, const char *exportName);
// Fails with an overflow when a text is too long to walk with 16-bit positions.
void checkLength16(qsizetype length, const char *exportName);

void clearLastError();
void setLastError(int number, const QString &description);
int lastError();
QString lastErrorText();

void freeText(TavStr text);
int32_t textLength(const TavChar *text);

template <class Result, class Body> Result guarded(Result onFailure, Body &&body) {
    clearLastError();
    try {
        return body();
    } catch (const Failure &f) {
        setLastError(f.number, f.description);
    } catch (const std::bad_alloc &) {
        setLastError(ErrOutOfMemory, QStringLiteral("Out of memory"));
    } catch (const std::exception &e) {
        setLastError(ErrUnexpected, QString::fromUtf8(e.what()));
    } catch (...) {
        setLastError(ErrUnexpected, QStringLiteral("Unexpected error"));
    }
    return onFailure;
}

} // namespace orva
