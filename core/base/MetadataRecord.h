#pragma once
// The metadata record of one photo: 21 text fields, empty when nothing was read.

#include <QString>
#include <QStringList>
#include <array>

namespace tav {

struct MetadataRecord {
    enum Field : int {
        FileName = 0,
        FileSize = 1,
        FileDate = 2,
        CameraMake = 3,
        CameraModel = 4,
        DateTime = 5,
        Resolution = 6,
        Orientation = 7,
        Flash = 8,
        FocalLength = 9,
        ExposureTime = 10,
        Aperture = 11,
        WhiteBalance = 12,
        MeteringMode = 13,
        Comment = 14,
        Year = 15,
        Month = 16,
        Day = 17,
        Hour = 18,
        Minute = 19,
        Second = 20,
        FieldCount = 21
    };
    std::array<QString, FieldCount> fields;

    QString &operator[](int i) { return fields.at(static_cast<std::size_t>(i)); }
    const QString &operator[](int i) const { return fields.at(static_cast<std::size_t>(i)); }
    bool isEmpty() const {
        for (const auto &f : fields)
            if (!f.isEmpty())
                return false;
        return true;
    }
};

// What the name computation asks for a file's record. The real readers (jhead,
// ExifTool) implement it; tests may put a double in its place.
class MetadataSource {
public:
    virtual ~MetadataSource() = default;
    virtual MetadataRecord read(const QString &path) = 0;
    // The files about to be read, in order: a reader that works in batches
    // reads ahead among them.
    virtual void expect(const QStringList &paths) { (void)paths; }
};

} // namespace tav
