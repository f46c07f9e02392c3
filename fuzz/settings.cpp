// The settings file as start-up reads it, saved rules included.

#include "FuzzInput.h"

#include "core/base/ProgramFolder.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"

using namespace tav;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // No language files there: messages keep their built-in texts and no
    // language file is parsed again at each input.
    setProgramFolder(fuzz::scratchFolder());
    Settings s;
    modIniFile::ReadIniFile(s, fuzz::writeInput(QStringLiteral("Travoline.ini"), data, size));
    return 0;
}
