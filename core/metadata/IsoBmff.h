#pragma once
// A small reader of ISO base media files (MP4, MOV, 3GP, M4V, HEIF, AVIF,
// CR3): only the few boxes that hold a shot's date and camera, nothing of the
// media itself. Every box is checked against its parent and the file's size,
// and the walk is bounded in depth, in boxes and in bytes read, so that any
// file, however damaged, costs a few reads and ends.

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tav::Bmff {

// What was found, in the order ExifTool meets it (it keeps the last of two
// values with the same name).
struct Found {
    enum Kind {
        MovieDate, // mvhd's creation time: seconds since 1904 (raw)
        Exif,      // a TIFF block with EXIF data (HEIF's Exif item, CR3's CMT1/CMT2)
        Make,      // the camera's maker from QuickTime's own tags
    };
    Kind kind;
    std::uint64_t seconds = 0;
    QByteArray bytes;
};

struct Result {
    bool recognised = false; // the file starts like an ISO base media file
    QByteArray majorBrand;   // "heic", "crx ", "qt  ", empty without ftyp
    QList<Found> found;
};

// Reads up to length bytes at offset into out; returns the count read.
using ReadAt = std::function<std::int64_t(std::uint64_t offset, char *out, std::int64_t length)>;

// Whether the first bytes (at least 12) look like an ISO base media file.
bool looksLikeBmff(const char *head, std::size_t size);

// Walks a file of fileSize bytes through read.
Result read(const ReadAt &read, std::uint64_t fileSize);
// The same over bytes in memory.
Result readBuffer(const std::uint8_t *data, std::size_t size);

// mvhd's creation time as ExifTool shows it by default, as stored (UTC):
// "2015:07:16 15:38:54"; values below the 1904 offset are taken as Unix
// times, as some writers store them; 0 gives "0000:00:00 00:00:00".
QByteArray movieDateText(std::uint64_t seconds);

} // namespace tav::Bmff
