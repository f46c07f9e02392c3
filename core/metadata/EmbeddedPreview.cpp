#include "core/metadata/EmbeddedPreview.h"

#include "core/metadata/Exiv2Library.h"

#include <QFile>

#include <cmath>

// The library's headers still name std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

namespace tav::Exif {

namespace {

// A JPEG file's Exif segment, which holds its thumbnail, comes before the
// picture data and is at most 64 kB: the start of the file is parsed from
// memory. Other files are opened whole (a raw file's previews lie anywhere).
constexpr qint64 HeadBytes = 128 * 1024;

Exiv2::Image::AutoPtr openAndRead(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Exiv2::Image::AutoPtr();
    const QByteArray head = file.read(HeadBytes);
    file.close();
    Exiv2::Image::AutoPtr image;
    if (head.startsWith("\xff\xd8")) {
        try {
            image =
                Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(head.constData()), long(head.size()));
            image->readMetadata();
            return image;
        } catch (...) {
            // Segments past the start: read from the file below.
        }
    }
    image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString(), false);
    if (image.get())
        image->readMetadata();
    return image;
}

long exifNumber(const Exiv2::ExifData &exif, const char *key) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it != exif.end() && it->count() > 0 ? it->toLong(0) : 0;
}

} // namespace

std::optional<EmbeddedPreview> embeddedPreview(const QString &path, QSize box) {
    prepareExiv2();
    try {
        Exiv2::Image::AutoPtr image = openAndRead(path);
        if (!image.get())
            return std::nullopt;
        EmbeddedPreview out;
        const Exiv2::ExifData &exif = image->exifData();
        const long orientation = exifNumber(exif, "Exif.Image.Orientation");
        out.orientation = orientation >= 1 && orientation <= 8 ? int(orientation) : 1;
        out.photoSize = QSize(image->pixelWidth(), image->pixelHeight());
        if (out.photoSize.isEmpty())
            out.photoSize = QSize(int(exifNumber(exif, "Exif.Photo.PixelXDimension")),
                                  int(exifNumber(exif, "Exif.Photo.PixelYDimension")));
        if (out.photoSize.isEmpty())
            return std::nullopt; // neither the size needed nor the proportions are known

        // Orientations 5 to 8 store the picture turned a quarter.
        const QSize storedBox = out.orientation >= 5 ? box.transposed() : box;
        const QSize needed = out.photoSize.boundedTo(out.photoSize.scaled(storedBox, Qt::KeepAspectRatio));
        const double ratio = double(out.photoSize.width()) / out.photoSize.height();

        Exiv2::PreviewManager manager(*image);
        // Listed from the smallest to the largest.
        for (const Exiv2::PreviewProperties &p : manager.getPreviewProperties()) {
            const QSize size(int(p.width_), int(p.height_));
            // A pixel less than the fit is rounding, not a smaller picture.
            if (size.width() + 1 < needed.width() || size.height() + 1 < needed.height())
                continue;
            if (std::abs(double(size.width()) / size.height() - ratio) > 0.02 * ratio)
                continue;
            const Exiv2::PreviewImage preview = manager.getPreviewImage(p);
            out.data = QByteArray(reinterpret_cast<const char *>(preview.pData()), qsizetype(preview.size()));
            out.size = size;
            return out;
        }
    } catch (...) {
        // A damaged file has no preview to give.
    }
    return std::nullopt;
}

} // namespace tav::Exif

#pragma GCC diagnostic pop
