#include "gui/widgets/ImagePreview.h"

#include "core/base/MetadataRecord.h"
#include "core/base/ProgramFolder.h"
#include "core/i18n/Language.h"
#include "gui/widgets/ThumbnailCache.h"

#include <QFont>
#include <QPainter>

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

QString noImagePath() {
    return programFolder() + QStringLiteral("/langages/") + i18n::languageFileName() + QStringLiteral("/non_image.gif");
}

QImage previewImage(const QString &path, int angle) {
    // Decoded by the helper: a photo that breaks the decoder costs its picture only.
    QImage image = thumbs::pictureOutside(path, PreviewSize, angle).image;
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

} // namespace tav::preview
