#pragma once
// Small JPEG files with known metadata: QImage draws the picture, the real
// ExifTool writes the tags.

#include <QColor>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace tav::test {

inline QString exiftoolProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("exiftool"));
}
inline QString jheadProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("jhead"));
}

// Writes a 16 x 16 JPEG at path; tagArgs are ExifTool assignments such as
// "-Model=X". Returns false when either step fails.
inline bool makeJpeg(const QString &path, const QStringList &tagArgs = {}, QColor colour = Qt::darkCyan) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(colour);
    if (!image.save(path, "JPG"))
        return false;
    if (tagArgs.isEmpty())
        return true;
    QProcess p;
    p.setProgram(exiftoolProgram());
    p.setArguments(QStringList{QStringLiteral("-q"), QStringLiteral("-overwrite_original")} + tagArgs +
                   QStringList{path});
    p.start();
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

// The tags of the reference photo used throughout the tests.
inline QStringList referenceTags() {
    return {QStringLiteral("-DateTimeOriginal=2003:02:24 12:34:56"),
            QStringLiteral("-CreateDate=2003:02:24 12:34:56"),
            QStringLiteral("-Make=Canon"),
            QStringLiteral("-Model=Canon EOS 5D"),
            QStringLiteral("-Orientation#=6"),
            QStringLiteral("-Comment=hello world"),
            QStringLiteral("-ExposureTime=1/125"),
            QStringLiteral("-FNumber=5.6"),
            QStringLiteral("-ApertureValue=5.6"),
            QStringLiteral("-FocalLength=50"),
            QStringLiteral("-WhiteBalance#=1"),
            QStringLiteral("-MeteringMode#=5"),
            QStringLiteral("-Flash#=1"),
            QStringLiteral("-ExifImageWidth=16"),
            QStringLiteral("-ExifImageHeight=12")};
}

// A shell script standing in for a tool.
inline bool writeScript(const QString &path, const QByteArray &body) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write("#!/bin/sh\n" + body);
    f.close();
    return f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

} // namespace tav::test
