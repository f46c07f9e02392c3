#pragma once
// What travoline-cli prints about files. A file name may hold any byte but
// "/" and NUL, a line break or a tab included, so a path printed as it stands
// could end a line and forge one of its own. Two ways out:
//
// - Lines (the default): every path and name is escaped C-style, so that one
//   record is one line and its fields never hold a tab. A backslash becomes
//   "\\", a line feed "\n", a tab "\t", a carriage return "\r", any other
//   control character (0x00-0x1F, 0x7F, and U+0080-U+009F as its two UTF-8
//   bytes) and any byte that is not part of valid UTF-8 "\xHH" (always two
//   hex digits). Undoing the escapes gives back the exact bytes of the name
//   (printf '%b' in a shell, codecs.escape_decode in Python).
// - NUL records (-0, --null): every field is written as its raw bytes and
//   ended by a NUL byte, nothing escaped. The number of fields of a record is
//   fixed by the command (two for the preview, three for --rename and
//   --recover); the summary line goes to standard error instead.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <cstdio>
#include <initializer_list>

namespace tav {

// The escaped form of bytes, or of a text's UTF-8 bytes.
QByteArray escapeBytes(const QByteArray &bytes);
QByteArray escapeText(const QString &text);

// Whether bytes are valid UTF-8 (no overlong form, no surrogate, at most
// U+10FFFF), that is whether a name reads as text without loss.
bool isValidUtf8(const QByteArray &bytes);

// The bytes the file system knows a path by.
QByteArray pathBytes(const QString &path);

class RecordWriter {
public:
    explicit RecordWriter(std::FILE *out = stdout, std::FILE *err = stderr, bool nul = false);
    ~RecordWriter() { writeBlock(); }
    RecordWriter(const RecordWriter &) = delete;
    RecordWriter &operator=(const RecordWriter &) = delete;

    void setNul(bool nul) { m_nul = nul; }
    bool nul() const { return m_nul; }

    // One record, its fields as raw bytes (see above for how they are written).
    void record(const QList<QByteArray> &fields);
    // A record of a word and two fields given as texts in parts, each field
    // encoded as a path is (a rename's old and new paths as folder and name:
    // no path is built per record). Records go out in blocks.
    void record(const char *word, std::initializer_list<QStringView> first, std::initializer_list<QStringView> second);
    // A line for people (a summary): standard output in line mode, standard
    // error in NUL mode. Written as text, not escaped.
    void summary(const QString &line);
    // A line on standard error, as text.
    void note(const QString &line);
    void flush();
    // Bytes already formatted as records (see RecordBlock), as they stand.
    void writeRecords(const QByteArray &records);

private:
    std::FILE *m_out;
    std::FILE *m_err;
    void endRecord();
    void writeWhenFull(); // writes the records held once they make a block
    void writeBlock();
    bool m_nul;
    QByteArray m_line;  // the records not written yet
    QByteArray m_field; // one field's bytes, before they are escaped
};

// Records formatted as RecordWriter::record formats them, gathered into
// blocks of about 256 KiB that are written at once, rather than one write a
// record. A field may be given in parts (a folder, then a name), each made of
// whole characters.
class RecordBlock {
public:
    explicit RecordBlock(RecordWriter &writer);
    ~RecordBlock() { write(); }

    // The bytes a part becomes in a record, for a part that many records share.
    QByteArray formatted(const QByteArray &bytes) const;
    void appendFormatted(const QByteArray &formatted) { m_block += formatted; }
    // A part given as a path's text (its bytes as the file system knows them),
    // or as text (its UTF-8 bytes).
    void appendPath(QStringView path);
    void appendText(QStringView text);
    void nextField();
    void endRecord();
    // Writes what the block holds.
    void write();

private:
    RecordWriter &m_writer;
    QByteArray m_block;
};

} // namespace tav
