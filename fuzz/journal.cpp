// Rename journals as recovery reads them after a crash. Every path read
// encodes back to a field that decodes to it.

#include "FuzzInput.h"

#include "core/rename/RenameJournal.h"

using namespace tav;

namespace {
void checkPath(const QString &path) {
    if (journalFields::decodePath(journalFields::encodePath(path)) != path)
        fuzz::fail("a path does not survive its journal field");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    QList<JournalRecord> records;
    int phase = 0;
    if (!RenameJournal::read(fuzz::writeInput(QStringLiteral("input.journal"), data, size), records, &phase))
        return 0;
    for (const JournalRecord &r : records) {
        checkPath(r.oldPath);
        checkPath(r.tempPath);
        checkPath(r.newPath);
        for (const CopyStep &c : r.copies) {
            checkPath(c.partialPath);
            checkPath(c.finalPath);
        }
    }
    return 0;
}
