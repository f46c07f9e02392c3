#pragma once
// A photo whose top half is one colour and bottom half another, with an Exif
// orientation written by the real ExifTool: which way a picture was turned
// shows in where its colours ended up.

#include "PhotoFactory.h"

#include <QDir>
#include <QImage>
#include <QProcess>

namespace tav::test {

// Writes the picture to folder/name (the format from the extension) with
// orientation 1 to 8, or 0 for none. Returns the path, empty on failure.
inline QString savePhotoTurned(const QImage &image, const QString &folder, const QString &name, int orientation) {
    const QString path = QDir(folder).filePath(name);
    if (!image.save(path, nullptr, 95))
        return {};
    if (orientation > 0) {
        QProcess p;
        p.start(exiftoolProgram(), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                    QStringLiteral("-Orientation#=") + QString::number(orientation), path});
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            return {};
    }
    return path;
}

// Top half top, bottom half bottom.
inline QString makeTwoTonePhoto(const QString &folder, const QString &name, QSize size, int orientation = 0,
                                QColor top = Qt::red, QColor bottom = Qt::blue) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(bottom);
    for (int y = 0; y < size.height() / 2; ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixelColor(x, y, top);
    return savePhotoTurned(image, folder, name, orientation);
}

// Red in the top left quarter, blue elsewhere: a flip over shows too.
inline QString makeCornerPhoto(const QString &folder, const QString &name, QSize size, int orientation) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < size.height() / 2; ++y)
        for (int x = 0; x < size.width() / 2; ++x)
            image.setPixelColor(x, y, Qt::red);
    return savePhotoTurned(image, folder, name, orientation);
}

inline bool isReddish(QRgb c) {
    return qRed(c) > 180 && qBlue(c) < 90;
}
inline bool isBluish(QRgb c) {
    return qBlue(c) > 180 && qRed(c) < 90;
}

} // namespace tav::test
