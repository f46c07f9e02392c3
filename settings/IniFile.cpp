#include "settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace tav {

namespace {

QString fold(const QString &s)
{
    return s.trimmed().toCaseFolded();
}

QString indexKey(const QString &section, const QString &key)
{
    return fold(section) + QChar(u'\n') + fold(key);
}

// Windows-1252 code points of the bytes 0x80..0x9F; the five undefined bytes
// keep their C1 control value, as the platform's conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString fromWindows1252(const QByteArray &bytes)
{
    QString out;
    out.resize(bytes.size());
    QChar *d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        d[i] = (b >= 0x80 && b <= 0x9F) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return out;
}

// A value cannot span lines in this format: line breaks become blanks.
QString singleLine(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String(" "));
    s.replace(QChar(u'\r'), QChar(u' '));
    s.replace(QChar(u'\n'), QChar(u' '));
    return s;
}

} // namespace

IniFile::IniFile(const QString &path)
{
    load(path);
}

const QString &IniFile::path() const
{
    return m_path;
}

QString IniFile::decode(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder dec(QStringConverter::Utf16LE);
        return dec(bytes.mid(2));
    }
    if (bytes.startsWith("\xFE\xFF")) {
        QStringDecoder dec(QStringConverter::Utf16BE);
        return dec(bytes.mid(2));
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return fromWindows1252(bytes);
}

bool IniFile::load(const QString &path)
{
    m_path = path;
    m_error.clear();
    m_sections.clear();
    m_indexValid = false;

    QFile f(path);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly)) {
        m_error = f.errorString();
        return false;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        m_error = f.errorString();
        return false;
    }
    parse(decode(bytes));
    return true;
}

void IniFile::parse(const QString &text)
{
    m_sections.clear();
    m_sections.append(Section{}); // lines before the first header

    qsizetype start = 0;
    const qsizetype n = text.size();
    // A text ending with a line break has no empty last line.
    while (start < n) {
        qsizetype end = start;
        while (end < n && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        const QString raw = text.mid(start, end - start);
        if (end < n && text[end] == u'\r' && end + 1 < n && text[end + 1] == u'\n')
            end += 2;
        else
            end += 1;
        start = end;

        const QString t = raw.trimmed();
        if (t.startsWith(u'[')) {
            Section s;
            s.hasHeader = true;
            s.header = raw;
            const qsizetype close = t.lastIndexOf(u']');
            s.name = (close > 0 ? t.mid(1, close - 1) : t.mid(1)).trimmed();
            m_sections.append(s);
            continue;
        }
        Line line{raw, {}, {}};
        const qsizetype eq = raw.indexOf(u'=');
        if (!t.startsWith(u';') && eq > 0) {
            const QString key = raw.left(eq).trimmed();
            if (!key.isEmpty()) {
                line.key = key;
                line.value = raw.mid(eq + 1).trimmed();
            }
        }
        m_sections.last().lines.append(line);
    }
    m_indexValid = false;
}

void IniFile::rebuildIndex() const
{
    m_index.clear();
    for (int s = 0; s < m_sections.size(); ++s) {
        const Section &sec = m_sections[s];
        if (!sec.hasHeader)
            continue; // keys before any header belong to no section
        const QString foldedSection = fold(sec.name);
        for (int l = 0; l < sec.lines.size(); ++l) {
            const Line &line = sec.lines[l];
            if (line.key.isEmpty())
                continue;
            const QString k = foldedSection + QChar(u'\n') + fold(line.key);
            if (!m_index.contains(k))
                m_index.insert(k, Where{s, l});
        }
    }
    m_indexValid = true;
}

IniFile::Where IniFile::find(const QString &section, const QString &key) const
{
    if (!m_indexValid)
        rebuildIndex();
    return m_index.value(indexKey(section, key), Where{});
}

QString IniFile::read(const QString &section, const QString &key, const QString &def, int bufferSize) const
{
    const Where w = find(section, key);
    QString v = w.section >= 0 ? m_sections[w.section].lines[w.line].value : def;
    // The platform copies into a NUL-filled buffer: a NUL ends the value, and
    // at most bufferSize - 1 characters fit.
    const qsizetype nul = v.indexOf(QChar(u'\0'));
    if (nul >= 0)
        v.truncate(nul);
    const qsizetype room = bufferSize > 1 ? bufferSize - 1 : 0;
    if (v.size() > room)
        v.truncate(room);
    return v;
}

bool IniFile::contains(const QString &section, const QString &key) const
{
    return find(section, key).section >= 0;
}

void IniFile::write(const QString &section, const QString &key, const QString &value)
{
    const QString v = singleLine(value);
    const Where w = find(section, key);
    if (w.section >= 0) {
        Line &line = m_sections[w.section].lines[w.line];
        line.raw = line.key + QChar(u'=') + v;
        line.value = v.trimmed();
        return; // index unchanged: same place
    }

    Line line{key.trimmed() + QChar(u'=') + v, key.trimmed(), v.trimmed()};
    const QString fs = fold(section);
    for (Section &sec : m_sections) {
        if (!sec.hasHeader || fold(sec.name) != fs)
            continue;
        // After the section's last key, so blank lines and comments that
        // separate it from the next section stay where they are.
        qsizetype at = 0;
        for (qsizetype i = 0; i < sec.lines.size(); ++i)
            if (!sec.lines[i].key.isEmpty())
                at = i + 1;
        sec.lines.insert(at, line);
        m_indexValid = false;
        return;
    }

    // A new section at the end, set off by a blank line.
    Section &last = m_sections.isEmpty() ? m_sections.emplaceBack() : m_sections.last();
    const bool empty = m_sections.size() == 1 && last.lines.isEmpty() && !last.hasHeader;
    if (!empty && (last.lines.isEmpty() ? last.hasHeader : !last.lines.last().raw.trimmed().isEmpty()))
        last.lines.append(Line{});
    Section sec;
    sec.hasHeader = true;
    sec.name = section.trimmed();
    sec.header = QChar(u'[') + sec.name + QChar(u']');
    sec.lines.append(line);
    m_sections.append(sec);
    m_indexValid = false;
}

void IniFile::remove(const QString &section, const QString &key)
{
    // Every copy goes, so that a duplicate further down cannot take its place.
    const QString fs = fold(section);
    const QString fk = fold(key);
    bool removed = false;
    for (Section &sec : m_sections) {
        if (!sec.hasHeader || fold(sec.name) != fs)
            continue;
        for (qsizetype i = sec.lines.size() - 1; i >= 0; --i) {
            if (!sec.lines[i].key.isEmpty() && fold(sec.lines[i].key) == fk) {
                sec.lines.removeAt(i);
                removed = true;
            }
        }
    }
    if (removed)
        m_indexValid = false;
}

QStringList IniFile::sections() const
{
    QStringList out;
    QStringList seen;
    for (const Section &sec : m_sections) {
        if (!sec.hasHeader || seen.contains(fold(sec.name)))
            continue;
        seen << fold(sec.name);
        out << sec.name;
    }
    return out;
}

QStringList IniFile::keys(const QString &section) const
{
    QStringList out;
    QStringList seen;
    const QString fs = fold(section);
    for (const Section &sec : m_sections) {
        if (!sec.hasHeader || fold(sec.name) != fs)
            continue;
        for (const Line &line : sec.lines) {
            if (line.key.isEmpty() || seen.contains(fold(line.key)))
                continue;
            seen << fold(line.key);
            out << line.key;
        }
    }
    return out;
}

QString IniFile::text() const
{
    QString out;
    for (const Section &sec : m_sections) {
        if (sec.hasHeader)
            out += sec.header + QChar(u'\n');
        for (const Line &line : sec.lines)
            out += line.raw + QChar(u'\n');
    }
    return out;
}

bool IniFile::save(QString *error) const
{
    return saveAs(m_path, error);
}

bool IniFile::saveAs(const QString &path, QString *error) const
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("no file name"));
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(info.absolutePath())));

    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return fail(f.errorString());
    const QByteArray bytes = text().toUtf8();
    if (f.write(bytes) != bytes.size()) {
        const QString why = f.errorString();
        f.cancelWriting();
        return fail(why);
    }
    if (!f.commit())
        return fail(f.errorString());
    if (error)
        error->clear();
    return true;
}

} // namespace tav
