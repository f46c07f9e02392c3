// Library entry: nothing to initialise; every export is self-contained.
// The exports here are the interface's own: freeing returned texts and
// reading the last error.

#include "orvalib/Abi.h"

extern "C" {

TAV_API void TavFreeString(TavStr text) {
    orva::freeText(text);
}

TAV_API int32_t TavStringLength(const TavChar *text) {
    return orva::textLength(text);
}

TAV_API int32_t TavGetLastError(void) {
    return orva::lastError();
}

TAV_API TavStr TavGetLastErrorText(void) {
    // Reading the error must not clear it, so this export is not guarded.
    try {
        return orva::newText(orva::lastErrorText());
    } catch (...) {
        return nullptr;
    }
}

} // extern "C"
