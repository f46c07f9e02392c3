#include "cli/CliOutput.h"

#include "core/base/PlainCopy.h"

#include <QFile>

#include <cstring>

namespace tav {

namespace {

// The length of the valid UTF-8 sequence starting at bytes[i] (its code point
// in cp), or 0 when the byte there does not start one.
int utf8Sequence(const QByteArray &bytes, qsizetype i, char32_t &cp) {
    const auto at = [&](qsizetype k) { return static_cast<unsigned char>(bytes.at(k)); };
    const unsigned char lead = at(i);
    int length;
    char32_t min;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        const unsigned char c = at(i + k);
        if ((c & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

void appendHex(QByteArray &out, unsigned char c) {
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 0x0F];
}

void writeText(std::FILE *f, const QString &line) {
    if (!f)
        return;
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
}

// Escapes into out. Printable ASCII other than "\\" is copied in runs, as
// are valid UTF-8 sequences other than control characters.
void appendEscaped(QByteArray &out, const QByteArray &bytes) {
    const char *data = bytes.constData();
    qsizetype run = 0; // start of the bytes copied as they are
    auto flush = [&](qsizetype end) {
        if (end > run)
            out.append(data + run, end - run);
    };
    for (qsizetype i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            ++i;
            continue;
        }
        char32_t cp = 0;
        const int length = utf8Sequence(bytes, i, cp);
        if (length > 1 && cp > 0x9F) {
            i += length;
            continue;
        }
        flush(i);
        if (length == 0) {
            appendHex(out, c);
            ++i;
        } else {
            if (cp == '\\')
                out += "\\\\";
            else if (cp == '\n')
                out += "\\n";
            else if (cp == '\t')
                out += "\\t";
            else if (cp == '\r')
                out += "\\r";
            else
                for (int k = 0; k < length; ++k)
                    appendHex(out, static_cast<unsigned char>(data[i + k]));
            i += length;
        }
        run = i;
    }
    flush(bytes.size());
}

} // namespace

QByteArray escapeBytes(const QByteArray &bytes) {
    QByteArray out;
    out.reserve(bytes.size());
    appendEscaped(out, bytes);
    return out;
}

QByteArray escapeText(const QString &text) {
    return escapeBytes(text.toUtf8());
}

bool isValidUtf8(const QByteArray &bytes) {
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const int length = utf8Sequence(bytes, i, cp);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

QByteArray pathBytes(const QString &path) {
    return QFile::encodeName(path);
}

RecordWriter::RecordWriter(std::FILE *out, std::FILE *err, bool nul) : m_out(out), m_err(err), m_nul(nul) {}

// The records are kept in m_line (no allocation per record) and written once
// it holds about 64 KiB, or before any other output.
void RecordWriter::writeBlock() {
    if (!m_line.isEmpty())
        std::fwrite(m_line.constData(), 1, size_t(m_line.size()), m_out);
    m_line.resize(0);
}

void RecordWriter::endRecord() {
    if (!m_nul)
        m_line += '\n';
    writeWhenFull();
}

void RecordWriter::writeWhenFull() {
    if (m_line.size() >= (qsizetype(1) << 16))
        writeBlock();
}

void RecordWriter::record(const char *word, std::initializer_list<QStringView> first,
                          std::initializer_list<QStringView> second) {
    // Printable ASCII (the usual names) is the same in both forms: the
    // record is copied straight into the block, in one step, and looked at
    // as it is copied. The word is one of the program's own, plain already.
    const qsizetype wordLength = qsizetype(std::strlen(word));
    qsizetype length = wordLength + 3;
    for (std::initializer_list<QStringView> parts : {first, second})
        for (QStringView part : parts)
            length += part.size();
    const qsizetype at = m_line.size();
    m_line.resize(at + length);
    char *w = m_line.data() + at;
    const char separator = m_nul ? '\0' : '\t';
    std::memcpy(w, word, size_t(wordLength));
    w += wordLength;
    *w++ = separator;
    bool plain = true;
    for (std::initializer_list<QStringView> parts : {first, second}) {
        for (QStringView part : parts) {
            plain = plain && plainCopy::copy<plainCopy::Set::Printable>(w, part.utf16(), part.size());
            w += part.size();
        }
        *w++ = separator;
    }
    if (plain) {
        // The last separator ends the record: the NUL form's own, or the line's end.
        if (!m_nul)
            w[-1] = '\n';
        writeWhenFull();
        return;
    }
    m_line.resize(at);
    auto field = [this](std::initializer_list<QStringView> parts) {
        QByteArray &bytes = m_field;
        bytes.resize(0);
        for (QStringView part : parts) {
            const char16_t *s = part.utf16();
            qsizetype k = 0;
            while (k < part.size() && s[k] < 0x80)
                ++k;
            if (k < part.size()) {
                bytes += QFile::encodeName(part.toString());
                continue;
            }
            const qsizetype at = bytes.size();
            bytes.resize(at + part.size());
            char *w = bytes.data() + at;
            for (k = 0; k < part.size(); ++k)
                w[k] = char(s[k]);
        }
        if (m_nul) {
            m_line += bytes;
            m_line += '\0';
        } else {
            appendEscaped(m_line, bytes);
        }
    };
    if (m_nul) {
        m_line += word;
        m_line += '\0';
    } else {
        appendEscaped(m_line, QByteArray::fromRawData(word, qsizetype(std::strlen(word))));
        m_line += '\t';
    }
    field(first);
    if (!m_nul)
        m_line += '\t';
    field(second);
    endRecord();
}

void RecordWriter::record(const QList<QByteArray> &fields) {
    QByteArray &line = m_line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (m_nul) {
            line += fields.at(i);
            line += '\0';
        } else {
            if (i > 0)
                line += '\t';
            appendEscaped(line, fields.at(i));
        }
    }
    endRecord();
}

void RecordWriter::summary(const QString &line) {
    writeBlock();
    if (m_nul) {
        std::fflush(m_out);
        note(line);
    } else {
        writeText(m_out, line);
    }
}

void RecordWriter::note(const QString &line) {
    writeBlock();
    writeText(m_err, line);
    std::fflush(m_err);
}

void RecordWriter::flush() {
    writeBlock();
    std::fflush(m_out);
    std::fflush(m_err);
}

void RecordWriter::writeRecords(const QByteArray &records) {
    writeBlock(); // records kept back go first
    std::fwrite(records.constData(), 1, size_t(records.size()), m_out);
}

namespace {

constexpr qsizetype BlockBytes = qsizetype(256) << 10;

// Appends text as it is when it is printable ASCII other than "\\", which
// stands for itself in both record forms; false, with nothing appended, otherwise.
bool appendPlain(QByteArray &out, QStringView text) {
    const qsizetype at = out.size();
    out.resize(at + text.size());
    if (plainCopy::copy<plainCopy::Set::Printable>(out.data() + at, text.utf16(), text.size()))
        return true;
    out.resize(at);
    return false;
}

} // namespace

RecordBlock::RecordBlock(RecordWriter &writer) : m_writer(writer) {
    m_block.reserve(BlockBytes + 4096);
}

QByteArray RecordBlock::formatted(const QByteArray &bytes) const {
    return m_writer.nul() ? bytes : escapeBytes(bytes);
}

void RecordBlock::appendPath(QStringView path) {
    if (!appendPlain(m_block, path))
        m_block += formatted(QFile::encodeName(path.toString()));
}

void RecordBlock::appendText(QStringView text) {
    if (!appendPlain(m_block, text))
        m_block += formatted(text.toUtf8());
}

void RecordBlock::nextField() {
    m_block += m_writer.nul() ? '\0' : '\t';
}

void RecordBlock::endRecord() {
    m_block += m_writer.nul() ? '\0' : '\n';
    if (m_block.size() >= BlockBytes)
        write();
}

void RecordBlock::write() {
    if (m_block.isEmpty())
        return;
    m_writer.writeRecords(m_block);
    m_block.resize(0);
}

} // namespace tav
