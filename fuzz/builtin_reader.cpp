// Photos through the built-in metadata reader: the JPEG segment walk and
// PNG chunk walk of our own, then the library on what they found. A file
// found unreadable gives no values.

#include "FuzzInput.h"

#include "core/metadata/BuiltinReader.h"

using namespace tav;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Exif::BuiltinResult result;
    const MetadataRecord record = Exif::readBuiltin(fuzz::writeInput(QStringLiteral("input.jpg"), data, size), &result);
    if (result == Exif::BuiltinResult::Unreadable && !record.isEmpty())
        fuzz::fail("an unreadable file gave values");
    return 0;
}
