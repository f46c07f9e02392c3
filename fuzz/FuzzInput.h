#pragma once
// What the fuzz targets share: the parsers read files, so each input is
// written to a file in a scratch folder private to the process (inside
// $TAV_FUZZ_SCRATCH, else in memory where /dev/shm is there), removed at exit.
// Qt's warnings are silenced.

#include <QString>

#include <cstddef>
#include <cstdint>

namespace tav::fuzz {

// The scratch folder, made at the first call.
QString scratchFolder();

// Writes the input to relativePath inside the scratch folder (its folders
// made as needed) and returns the full path. Aborts when it cannot.
QString writeInput(const QString &relativePath, const uint8_t *data, size_t size);

// Stops the run with a message: a broken invariant is a finding like a crash.
[[noreturn]] void fail(const char *what);

} // namespace tav::fuzz
