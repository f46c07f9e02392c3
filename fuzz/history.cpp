// The rename history as the undo command reads it: the list of batches and
// one batch with its files.

#include "FuzzInput.h"

#include "core/rename/RenameHistory.h"

#include <QFile>

#include <cstdlib>

using namespace tav;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool stateSet = [] {
        return ::setenv("XDG_STATE_HOME", QFile::encodeName(fuzz::scratchFolder()).constData(), 1) == 0;
    }();
    (void)stateSet;
    fuzz::writeInput(QStringLiteral("Travoline/history/0000000001.batch"), data, size);
    history::list();
    history::load(0);
    return 0;
}
