#include "gui/widgets/ImagePreview.h"

#include "core/base/MetadataRecord.h"
#include "core/base/ProgramFolder.h"
#include "core/i18n/Language.h"
#include "gui/widgets/ThumbnailCache.h"

#include <QFont>
#include <QImageReader>
#include <QPainter>
#include <QTransform>

namespace tav::preview {

int angleOfOrientation(const QString &orientation) {
    const QStringList words = orientation.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() < 2)
        return 0;
    // Read as a number from its start, like "90" in "90CW"; anything else is 0.
    const QString &word = words.at(1);
    int digits = 0;
    while (digits < word.size() && word.at(digits).isDigit())
        ++digits;
    return digits == 0 ? 0 : word.left(std::min(digits, 6)).toInt();
}

int angleOfFile(const QString &path, MetadataSource *source) {
    if (!source)
        return 0;
    return angleOfOrientation(source->read(path)[MetadataRecord::Orientation]);
}

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

QString noImagePath() {
    return programFolder() + QStringLiteral("/langages/") + i18n::languageFileName() + QStringLiteral("/non_image.gif");
}

QImage previewImage(const QString &path, int angle) {
    // The shared thumbnails are upright by the file's own orientation: they
    // serve when the angle shown is that one.
    QImage image;
    if (angle == angleOfTransformation(QImageReader(path).transformation()))
        image = thumbs::thumbnailOutside(path, PreviewSize).image;
    else
        image = turned(loadScaled(path, loadSize(PreviewSize, angle)), angle);
    if (image.isNull())
        return QImage(noImagePath());
    if (angle <= 0)
        return image;
    // A cache entry written by another program may be a palette picture.
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    QPainter painter(&image);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(2, 2, image.width() - 2, image.height() - 2), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("Rot=") + QString::number(angle));
    return image;
}

QImage thumbnailImage(const QString &path, int angle, QSize size) {
    const QImage image = loadScaled(path, loadSize(size, angle));
    return angle > 0 ? turned(image, angle) : image;
}

QImage thumbnailFromFile(const QString &path, QSize size, bool enlarge) {
    QImageReader reader(path);
    const int angle = angleOfTransformation(reader.transformation());
    const QImage image = readScaled(reader, loadSize(size, angle), enlarge);
    return angle > 0 ? turned(image, angle) : image;
}

} // namespace tav::preview
