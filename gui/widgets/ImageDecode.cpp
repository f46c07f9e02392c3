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

// Quarter and half turns only: a mirrored orientation stays unturned.
int angleOfTransformation(QImageIOHandler::Transformations transformation) {
    switch (transformation) {
    case QImageIOHandler::TransformationRotate90:
        return 90;
    case QImageIOHandler::TransformationRotate180:
        return 180;
    case QImageIOHandler::TransformationRotate270:
        return 270;
    default:
        return 0;
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

int ownAngle(const QString &path) {
    return angleOfTransformation(QImageReader(path).transformation());
}

QImage thumbnailFromFile(const QString &path, QSize size, bool enlarge) {
    QImageReader reader(path);
    const int angle = angleOfTransformation(reader.transformation());
    const QImage image = readScaled(reader, loadSize(size, angle), enlarge);
    return angle > 0 ? turned(image, angle) : image;
}

} // namespace tav::preview
