#include "core/metadata/ExifReport.h"

#include <QStringDecoder>

namespace tav::Exif {

namespace {

using F = MetadataRecord::Field;

constexpr int JheadLabelWidth = 13;
constexpr int JheadValueStart = 15; // 0-based: the 16th character
constexpr int JheadMinLength = 17;  // 16 characters or fewer are ignored

constexpr int ExifToolLabelWidth = 32;
constexpr int ExifToolValueStart = 34; // 0-based: the 35th character
constexpr int ExifToolMinLength = 36;

void appendComment(MetadataRecord &record, const QString &value) {
    QString &comment = record[F::Comment];
    if (comment.isEmpty())
        comment = value;
    else
        comment += QLatin1Char(' ') + value;
}

void clearDateParts(MetadataRecord &record) {
    for (int i = F::Year; i <= F::Second; ++i)
        record[i].clear();
}

bool allDigits(const QString &s) {
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

} // namespace

void splitJheadDate(MetadataRecord &record) {
    clearDateParts(record);
    const QString &value = record[F::DateTime];
    if (value.isEmpty())
        return;
    const QStringList halves = value.split(QLatin1Char(' '));
    if (!halves.at(0).isEmpty()) {
        const QStringList d = halves.at(0).split(QLatin1Char(':'));
        for (int i = 0; i < 3 && i < d.size(); ++i)
            record[F::Year + i] = d.at(i);
    }
    if (halves.size() > 1 && !halves.at(1).isEmpty()) {
        const QStringList t = halves.at(1).split(QLatin1Char(':'));
        for (int i = 0; i < 3 && i < t.size(); ++i)
            record[F::Hour + i] = t.at(i);
    }
}

void splitExifToolDate(MetadataRecord &record) {
    clearDateParts(record);
    const QString &value = record[F::DateTime];
    if (value.isEmpty())
        return;
    const QStringList halves = value.split(QLatin1Char(' '));
    if (halves.size() != 2)
        return;
    if (!halves.at(0).isEmpty()) {
        const QStringList d = halves.at(0).split(QLatin1Char(':'));
        if (d.size() == 3)
            for (int i = 0; i < 3; ++i)
                record[F::Year + i] = d.at(i);
    }
    if (!halves.at(1).isEmpty()) {
        // A time with a zone ("10:20:30+02:00", "10:20:30Z") or with fractions
        // ("10:20:30.45") is not a plain hh:mm:ss: its pieces stay empty rather
        // than giving a second such as "30.45" or "30+02".
        const QStringList t = halves.at(1).split(QLatin1Char(':'));
        if (t.size() == 3 && allDigits(t.at(0)) && allDigits(t.at(1)) && allDigits(t.at(2)))
            for (int i = 0; i < 3; ++i)
                record[F::Hour + i] = t.at(i);
    }
}

void parseJheadLine(const QString &line, MetadataRecord &record) {
    if (line.size() < JheadMinLength)
        return;
    const QString label = line.left(JheadLabelWidth).trimmed().toUpper();
    const QString value = line.mid(JheadValueStart);

    static const struct {
        const char *label;
        int field;
    } plain[] = {
        {"FILE NAME", F::FileName},         {"FILE SIZE", F::FileSize},       {"FILE DATE", F::FileDate},
        {"CAMERA MAKE", F::CameraMake},     {"CAMERA MODEL", F::CameraModel}, {"RESOLUTION", F::Resolution},
        {"ORIENTATION", F::Orientation},    {"FLASH USED", F::Flash},         {"FOCAL LENGTH", F::FocalLength},
        {"EXPOSURE TIME", F::ExposureTime}, {"APERTURE", F::Aperture},        {"WHITEBALANCE", F::WhiteBalance},
        {"METERING MODE", F::MeteringMode},
    };
    if (label == QLatin1String("COMMENT")) {
        appendComment(record, value);
        return;
    }
    if (label == QLatin1String("DATE/TIME")) {
        record[F::DateTime] = value;
        splitJheadDate(record);
        return;
    }
    for (const auto &p : plain) {
        if (label == QLatin1String(p.label)) {
            record[p.field] = value;
            return;
        }
    }
}

MetadataRecord parseJheadReport(const QString &text) {
    MetadataRecord record;
    for (const QString &line : reportLines(text))
        parseJheadLine(line, record);
    return record;
}

void parseExifToolLine(const QString &line, MetadataRecord &record, ExifToolLineState &state) {
    if (line.size() < ExifToolMinLength)
        return;
    const QString label = line.left(ExifToolLabelWidth).trimmed().toUpper();
    const QString value = line.mid(ExifToolValueStart);

    static const struct {
        const char *label;
        int field;
    } plain[] = {
        {"FILE SIZE", F::FileSize},
        {"FILE MODIFICATION DATE/TIME", F::FileDate},
        {"MAKE", F::CameraMake},
        {"CAMERA MODEL NAME", F::CameraModel},
        {"FLASH", F::Flash},
        {"FOCAL LENGTH", F::FocalLength},
        {"EXPOSURE TIME", F::ExposureTime},
        {"APERTURE VALUE", F::Aperture},
        {"WHITE BALANCE", F::WhiteBalance},
        {"METERING MODE", F::MeteringMode},
    };

    const auto showResolution = [&] {
        if (state.haveWidth && state.haveHeight)
            record[F::Resolution] = state.width + QStringLiteral(" x ") + state.height;
    };

    if (label == QLatin1String("FILE NAME")) {
        record[F::FileName] = state.haveDirectory ? state.directory + QLatin1Char('/') + value : value;
    } else if (label == QLatin1String("DIRECTORY")) {
        state.directory = value;
        state.haveDirectory = true;
        if (!record[F::FileName].isEmpty())
            record[F::FileName] = value + QLatin1Char('/') + record[F::FileName];
    } else if (label == QLatin1String("CREATE DATE")) {
        record[F::DateTime] = value;
        splitExifToolDate(record);
    } else if (label == QLatin1String("EXIF IMAGE WIDTH")) {
        state.width = value;
        state.haveWidth = true;
        showResolution();
    } else if (label == QLatin1String("EXIF IMAGE HEIGHT")) {
        state.height = value;
        state.haveHeight = true;
        showResolution();
    } else if (label == QLatin1String("ORIENTATION")) {
        // Only a turned picture says something worth a name; "Horizontal
        // (normal)" and the mirrored variants leave the field empty.
        if (value.left(6).toUpper() == QLatin1String("ROTATE"))
            record[F::Orientation] = value;
        else
            record[F::Orientation].clear();
    } else if (label == QLatin1String("COMMENT")) {
        appendComment(record, value);
    } else {
        for (const auto &p : plain) {
            if (label == QLatin1String(p.label)) {
                record[p.field] = value;
                return;
            }
        }
    }
}

MetadataRecord parseExifToolReport(const QString &text) {
    MetadataRecord record;
    ExifToolLineState state;
    for (const QString &line : reportLines(text))
        parseExifToolLine(line, record, state);
    return record;
}

QString decodeReport(const QByteArray &bytes) {
    if (QByteArrayView(bytes).isValidUtf8())
        return QString::fromUtf8(bytes);
    // Line by line: one tag's stray bytes must not turn the file's path, or
    // another tag written in UTF-8, into Windows-1252.
    QStringDecoder cp1252("windows-1252");
    QString text;
    text.reserve(bytes.size());
    qsizetype start = 0;
    while (start <= bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        const QByteArrayView line(bytes.constData() + start, end - start);
        if (line.isValidUtf8())
            text += QString::fromUtf8(line);
        else
            text += cp1252.isValid() ? cp1252.decode(line) : QString::fromLatin1(line);
        if (end < bytes.size())
            text += QLatin1Char('\n');
        start = end + 1;
    }
    return text;
}

QStringList reportLines(const QString &text) {
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &l : lines)
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    return lines;
}

} // namespace tav::Exif
