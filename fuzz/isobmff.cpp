// Videos, HEIF/AVIF and CR3 files through the box reader: every box is
// checked against its parent and the buffer, so any input ends in a result.

#include "FuzzInput.h"

#include "core/metadata/IsoBmff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    (void)tav::Bmff::readBuffer(data, size);
    return 0;
}
