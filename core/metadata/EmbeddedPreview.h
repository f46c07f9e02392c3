#pragma once
// The small pictures cameras store inside their photos (the Exif thumbnail,
// larger previews in raw files), read with the Exiv2 library without decoding
// the photo itself: a thumbnail made from one costs about a millisecond
// instead of a scaled decode of the whole photo.

#include <QByteArray>
#include <QSize>
#include <QString>

#include <optional>

namespace tav::Exif {

struct EmbeddedPreview {
    QByteArray data;     // the picture as stored, usually a JPEG file
    QSize size;          // its size as the library reports it
    QSize photoSize;     // the photo's own size as stored, invalid when unknown
    int orientation = 1; // the photo's Exif orientation, 1 to 8
};

// The smallest preview stored in path that covers the photo fitted in box
// (box given upright: it is exchanged for a photo turned a quarter) and has
// the photo's proportions, so that a preview with bands added to reach the
// camera's fixed size is not taken. Nothing when the file has none, cannot be
// read, or only smaller ones. Never throws; safe on any thread.
std::optional<EmbeddedPreview> embeddedPreview(const QString &path, QSize box);

} // namespace tav::Exif
