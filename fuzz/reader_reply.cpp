// A metadata answer of the reader helper, which a damaged or taken-over
// helper could make anything: it decodes to a record, or to none at all.

#include "FuzzInput.h"

#include "core/metadata/ReaderProcess.h"

using namespace tav;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    MetadataRecord record;
    bool read = true;
    const bool whole =
        ReaderWire::decodeRecord(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)), record, read);
    if (!whole && (!record.isEmpty() || read))
        fuzz::fail("an answer not whole gave a record");
    return 0;
}
