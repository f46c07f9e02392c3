#pragma once
// The built-in reader: a photo's metadata read inside this process with the
// Exiv2 library instead of an outside program. Every field gets the text the
// ExifTool report gives for it, so a pattern yields the same names in either
// mode.

#include "core/base/MetadataRecord.h"

#include <QByteArray>
#include <QString>

#include <array>

namespace tav::Exif {

enum class BuiltinResult {
    Read,       // the library read the file (the record may still be empty)
    Unreadable, // missing, not openable, not an image the library knows, or damaged
};

// A record's fields in UTF-8, empty when absent: what the reader helper
// sends back.
using RecordBytes = std::array<QByteArray, MetadataRecord::FieldCount>;

// The record of path (in the file system's encoding). Unreadable files give
// the empty record. Never throws: whatever the library raises on a damaged
// file is caught here.
RecordBytes readBuiltinBytes(const QByteArray &path, BuiltinResult *result = nullptr);
MetadataRecord readBuiltin(const QString &path, BuiltinResult *result = nullptr);

// "Exiv2 0.27.6": the library this program runs with.
QString builtinLibraryName();

// ExifTool's texts for a file size in bytes ("278 bytes", "5.3 kB", "12 MB")
// and for an exposure time in seconds ("1/125", "2", "1.3").
QString exifToolFileSize(qint64 bytes);
QString exifToolExposureTime(double seconds);

} // namespace tav::Exif
