// Settings and language files through the INI reader: every value read back,
// through the language files' value conventions too, then edited.

#include "FuzzInput.h"

#include "core/base/IniFile.h"
#include "core/i18n/Language.h"

using namespace tav;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    IniFile ini(fuzz::writeInput(QStringLiteral("input.lng"), data, size));
    const QStringList sections = ini.sections();
    for (const QString &section : sections)
        for (const QString &key : ini.keys(section))
            i18n::applyValueConventions(ini.read(section, key), QStringLiteral("one"), QStringLiteral("two"));

    // A key written is read back, whatever the document held; removed, it is gone.
    const QString section = sections.isEmpty() ? QStringLiteral("Fuzz") : sections.first();
    ini.write(section, QStringLiteral("Fuzzed"), QStringLiteral("value"));
    if (ini.read(section, QStringLiteral("Fuzzed")) != QLatin1String("value"))
        fuzz::fail("a written key does not read back");
    ini.remove(section, QStringLiteral("Fuzzed"));
    if (ini.contains(section, QStringLiteral("Fuzzed")))
        fuzz::fail("a removed key is still there");
    (void)ini.text();
    return 0;
}
