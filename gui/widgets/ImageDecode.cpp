#include "gui/widgets/ImageDecode.h"

#include <QImageReader>
#include <QPainter>
#include <QTransform>

namespace tav::preview {

QSize loadSize(QSize size, int angle) {
    return (angle % 180 == 0) ? size : size.transposed();
}

namespace {

QImage readScaled(QImageReader &reader, QSize box, bool enlarge = true) {
    // The pixels as stored: turning them is the angle's business.
    reader.setAutoTransform(false);
    const QSize full = reader.size();
    QSize target = box;
    if (full.isValid() && !full.isEmpty())
        target = full.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    if (!enlarge && full.isValid() && !full.isEmpty())
        target = target.boundedTo(full);
    reader.setScaledSize(target);
    QImage image = reader.read();
    if (!image.isNull() && image.size() != target)
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

// The Exif orientation that a reader's transformation stands for.
int orientationOf(QImageIOHandler::Transformations transformation) {
    switch (transformation) {
    case QImageIOHandler::TransformationMirror:
        return 2;
    case QImageIOHandler::TransformationRotate180:
        return 3;
    case QImageIOHandler::TransformationFlip:
        return 4;
    case QImageIOHandler::TransformationFlipAndRotate90:
        return 5;
    case QImageIOHandler::TransformationRotate90:
        return 6;
    case QImageIOHandler::TransformationMirrorAndRotate90:
        return 7;
    case QImageIOHandler::TransformationRotate270:
        return 8;
    default:
        return 1;
    }
}

} // namespace

QImage loadScaled(const QString &path, QSize box) {
    QImageReader reader(path);
    return readScaled(reader, box);
}

QImage turned(const QImage &image, int angle) {
    if (image.isNull() || angle % 360 == 0)
        return image;
    QTransform turn;
    turn.rotate(angle);
    const QImage rotated = image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                               .transformed(turn, angle % 90 == 0 ? Qt::FastTransformation : Qt::SmoothTransformation);
    QImage out(rotated.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.drawImage(0, 0, rotated);
    return out;
}

bool isMirrored(int orientation) {
    return orientation == 2 || orientation == 4 || orientation == 5 || orientation == 7;
}

int angleOfOrientation(int orientation) {
    switch (orientation) {
    case 3:
    case 4:
        return 180;
    case 6:
    case 7:
        return 90;
    case 5:
    case 8:
        return 270;
    default:
        return 0;
    }
}

QImage upright(const QImage &image, int orientation) {
    switch (orientation) {
    case 2:
        return image.mirrored(true, false);
    case 4:
        return image.mirrored(false, true);
    case 5: // transpose: a quarter turn clockwise, then flipped left to right
        return turned(image, 90).mirrored(true, false);
    case 7: // transverse: a quarter turn clockwise, then flipped upside down
        return turned(image, 90).mirrored(false, true);
    default:
        return turned(image, angleOfOrientation(orientation));
    }
}

int ownOrientation(const QString &path) {
    return orientationOf(QImageReader(path).transformation());
}

QImage thumbnailFromFile(const QString &path, QSize size, bool enlarge) {
    QImageReader reader(path);
    const int orientation = orientationOf(reader.transformation());
    const QImage image = readScaled(reader, loadSize(size, angleOfOrientation(orientation)), enlarge);
    return upright(image, orientation);
}

} // namespace tav::preview
