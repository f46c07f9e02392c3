#pragma once
// Pictures decoded at the size they are shown at (never in full first) and
// turned upright: the decoding that the preview and the thumbnails share.

#include <QImage>
#include <QSize>
#include <QString>

namespace tav::preview {

// The size a picture is loaded at: width and height exchanged when the angle
// is neither 0 nor 180 (it is turned a quarter afterwards).
QSize loadSize(QSize size, int angle);

// The file decoded to fit inside box, its proportions kept, scaled while
// decoding. A null image when it cannot be decoded.
QImage loadScaled(const QString &path, QSize box);

// The image turned clockwise by angle degrees, the uncovered area white.
QImage turned(const QImage &image, int angle);

// The file's own orientation as the image reader reads it: 90, 180 or 270
// for quarter and half turns, 0 otherwise (a mirrored orientation stays
// unturned).
int ownAngle(const QString &path);

// A thumbnail turned by the file's own Exif orientation (read by the image
// reader, so that it runs on any thread): quarter and half turns only, a
// mirrored orientation stays unturned like the metadata angle does. A picture
// smaller than size is enlarged to fit only with enlarge.
QImage thumbnailFromFile(const QString &path, QSize size, bool enlarge = true);

} // namespace tav::preview
