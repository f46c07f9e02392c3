// Saved rules as the settings file stores them: both formats and the
// comment label. A rule read and written again reads back the same.

#include "FuzzInput.h"

#include "core/base/Trap.h"
#include "core/settings/SavedRules.h"

using namespace tav;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    savedRules::getCommentaire(text);
    try {
        savedRules::fromOldText(text);
    } catch (const TavError &) {
    }
    Rule rule;
    try {
        rule = savedRules::fromText(text);
    } catch (const TavError &) {
        return 0; // a field that is no number
    }
    Rule again;
    try {
        again = savedRules::fromText(savedRules::toText(rule));
    } catch (const TavError &) {
        fuzz::fail("a rule written does not read back");
    }
    if (!(again == rule))
        fuzz::fail("a rule written reads back different");
    return 0;
}
