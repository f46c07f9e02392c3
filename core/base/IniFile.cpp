#include "core/base/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace tav {

namespace {

QString fold(const QString &s) {
    return s.trimmed().toCaseFolded();
}

QString indexKey(const QString &section, const QString &key) {
    return fold(section) + QChar(u'\n') + fold(key);
}

// Windows-1252 code points of the bytes 0x80..0x9F; the five undefined bytes
// keep their C1 control value, as the platform's conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString fromWindows1252(const QByteArray &bytes) {
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
QString singleLine(QString s) {
    s.replace(QLatin1String("\r\n"), QLatin1String(" "));
    s.replace(QChar(u'\r'), QChar(u' '));
    s.replace(QChar(u'\n'), QChar(u' '));
    return s;
}

} // namespace

IniFile::IniFile(const QString &path) {
    load(path);
}

const QString &IniFile::path() const {
    return m_path;
}

QString IniFile::decode(const QByteArray &bytes) {
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

bool IniFile::load(const QString &path) {
    m_path = path;
    m_error.clear();
    m_sections.clear();
    m_index.clear();
    m_firstSection.clear();

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

void IniFile::parse(const QString &text) {
    m_sections.clear();
    m_index.clear();
    m_firstSection.clear();
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
            m_firstSection.insert(fold(s.name), int(m_sections.size()));
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
        Section &sec = m_sections.last();
        sec.lines.append(line);
        if (!line.key.isEmpty()) {
            sec.insertAt = sec.lines.size();
            indexLine(int(m_sections.size() - 1), int(sec.lines.size() - 1));
        }
    }
    // m_firstSection must name the first of duplicate sections.
    m_firstSection.clear();
    for (int s = int(m_sections.size()) - 1; s >= 1; --s)
        m_firstSection.insert(fold(m_sections[s].name), s);
}

void IniFile::indexLine(int section, int line) {
    const Section &sec = m_sections[section];
    if (!sec.hasHeader)
        return; // keys before any header belong to no section
    m_index[indexKey(sec.name, sec.lines[line].key)].append(Where{section, line});
}

QString IniFile::read(const QString &section, const QString &key, const QString &def, int bufferSize) const {
    const auto it = m_index.constFind(indexKey(section, key));
    QString v = it != m_index.cend() ? m_sections[it->first().section].lines[it->first().line].value : def;
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

bool IniFile::contains(const QString &section, const QString &key) const {
    return m_index.contains(indexKey(section, key));
}

void IniFile::write(const QString &section, const QString &key, const QString &value) {
    const QString v = singleLine(value);
    const QString k = indexKey(section, key);
    const auto it = m_index.constFind(k);
    if (it != m_index.cend()) {
        Line &line = m_sections[it->first().section].lines[it->first().line];
        line.raw = line.key + QChar(u'=') + v;
        line.value = v.trimmed();
        return;
    }

    const Line line{key.trimmed() + QChar(u'=') + v, key.trimmed(), v.trimmed()};
    const auto sit = m_firstSection.constFind(fold(section));
    if (sit != m_firstSection.cend()) {
        // After the section's last key, so blank lines and comments that
        // separate it from the next section stay where they are. Only such
        // lines (never a key) follow, so no indexed position moves.
        Section &sec = m_sections[*sit];
        sec.lines.insert(sec.insertAt, line);
        indexLine(*sit, int(sec.insertAt));
        ++sec.insertAt;
        return;
    }

    // A new section at the end, set off by a blank line.
    if (m_sections.isEmpty())
        m_sections.append(Section{});
    Section &last = m_sections.last();
    bool blank = false;
    if (last.hasHeader) {
        blank = true;
        for (qsizetype i = last.lines.size() - 1; i >= 0; --i) {
            if (!last.lines[i].dead) {
                blank = !last.lines[i].raw.trimmed().isEmpty();
                break;
            }
        }
    } else {
        for (const Line &l : last.lines)
            blank = blank || !l.dead;
        if (blank) {
            for (qsizetype i = last.lines.size() - 1; i >= 0; --i) {
                if (!last.lines[i].dead) {
                    blank = !last.lines[i].raw.trimmed().isEmpty();
                    break;
                }
            }
        }
    }
    if (blank)
        last.lines.append(Line{});
    Section sec;
    sec.hasHeader = true;
    sec.name = section.trimmed();
    sec.header = QChar(u'[') + sec.name + QChar(u']');
    sec.lines.append(line);
    sec.insertAt = 1;
    m_sections.append(sec);
    const int s = int(m_sections.size() - 1);
    m_firstSection.insert(fold(sec.name), s);
    indexLine(s, 0);
}

void IniFile::remove(const QString &section, const QString &key) {
    // Every copy goes, so that a duplicate further down cannot take its place.
    const auto it = m_index.constFind(indexKey(section, key));
    if (it == m_index.cend())
        return;
    for (const Where &w : *it) {
        Line &line = m_sections[w.section].lines[w.line];
        line = Line{};
        line.dead = true;
    }
    m_index.erase(it);
}

QStringList IniFile::sections() const {
    QStringList out;
    for (int s = 1; s < m_sections.size(); ++s)
        if (m_firstSection.value(fold(m_sections[s].name)) == s)
            out << m_sections[s].name;
    return out;
}

QStringList IniFile::keys(const QString &section) const {
    QStringList out;
    const QString fs = fold(section);
    for (int s = 0; s < m_sections.size(); ++s) {
        const Section &sec = m_sections[s];
        if (!sec.hasHeader || fold(sec.name) != fs)
            continue;
        for (int l = 0; l < sec.lines.size(); ++l) {
            const Line &line = sec.lines[l];
            if (line.key.isEmpty())
                continue;
            const QList<Where> where = m_index.value(indexKey(section, line.key));
            if (!where.isEmpty() && where.first().section == s && where.first().line == l)
                out << line.key;
        }
    }
    return out;
}

QString IniFile::text() const {
    QString out;
    for (const Section &sec : m_sections) {
        if (sec.hasHeader)
            out += sec.header + QChar(u'\n');
        for (const Line &line : sec.lines)
            if (!line.dead)
                out += line.raw + QChar(u'\n');
    }
    return out;
}

bool IniFile::save(QString *error) const {
    return saveAs(m_path, error);
}

bool IniFile::saveAs(const QString &path, QString *error) const {
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
