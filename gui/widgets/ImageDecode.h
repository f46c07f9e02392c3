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

// Exif orientations, 1 to 8 (1: as stored). A mirrored one (2, 4, 5, 7) is
// a turn with the picture flipped over as well.
bool isMirrored(int orientation);
// The turn of an orientation, clockwise, its mirror left aside: 3 and 4 give
// 180, 6 and 7 give 90, 8 and 5 give 270, the others 0 (as the orientation's
// name says: "Mirror horizontal and rotate 270 CW" is 5).
int angleOfOrientation(int orientation);
// The picture as stored, made upright by its orientation (mirrors included).
QImage upright(const QImage &image, int orientation);

// The file's own orientation as the image reader reads it, 1 when it has none.
int ownOrientation(const QString &path);

// A thumbnail made upright by the file's own Exif orientation (read by the
// image reader, so that it runs on any thread), mirrored ones included. A
// picture smaller than size is enlarged to fit only with enlarge.
QImage thumbnailFromFile(const QString &path, QSize size, bool enlarge = true);

} // namespace tav::preview
