#pragma once
// Parsing of the text reports that jhead and ExifTool print: one item per
// line, a label column, then the value. Only the columns and labels matter;
// unknown labels and short lines are skipped.

#include "core/base/MetadataRecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tav::Exif {

// jhead: the label is the first 13 characters, the value starts at the 16th;
// lines of 16 characters or fewer are ignored.
void parseJheadLine(const QString &line, MetadataRecord &record);
MetadataRecord parseJheadReport(const QString &text);

// What an ExifTool report has shown so far that later lines combine with.
struct ExifToolLineState {
    QString directory;
    QString width;
    QString height;
    bool haveDirectory = false;
    bool haveWidth = false;
    bool haveHeight = false;
};

// ExifTool: the label is the first 32 characters, the value starts at the
// 35th; lines shorter than 36 characters (ready markers among them) are ignored.
void parseExifToolLine(const QString &line, MetadataRecord &record, ExifToolLineState &state);
MetadataRecord parseExifToolReport(const QString &text);

// Splits a shot date "YYYY:MM:DD hh:mm:ss" into fields 15 to 20, by each
// tool's own rules (see the .cpp).
void splitJheadDate(MetadataRecord &record);
void splitExifToolDate(MetadataRecord &record);

// Report bytes as text, line by line: UTF-8 when valid, otherwise
// Windows-1252 (tools copy comments byte for byte, and old cameras wrote them
// in 8-bit code pages).
QString decodeReport(const QByteArray &bytes);

// Lines of a report, split at LF with a trailing CR removed.
QStringList reportLines(const QString &text);

} // namespace tav::Exif
