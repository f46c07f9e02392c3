/* A library that carries Orvalib's name but only part of its exports, to
 * check that the binding names a missing export. */
#include "orvalib/orvalib.h"

#include <stdlib.h>

TAV_API void TavFreeString(TavStr text) {
    (void)text;
}
TAV_API int32_t TavStringLength(const TavChar *text) {
    (void)text;
    return 0;
}
