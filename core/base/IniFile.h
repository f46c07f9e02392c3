#pragma once
// A sectioned key/value file with profile-string semantics: case-insensitive
// section and key look-up, values trimmed, first match wins, other lines,
// comments and order kept. Read as UTF-8, or as Windows-1252 when the bytes
// are not valid UTF-8; written as UTF-8, whole and atomically.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace tav {

class IniFile {
public:
    IniFile() = default;
    explicit IniFile(const QString &path); // loads the file when it exists

    // Loads path; a missing file gives an empty document. False on read error
    // (the document is then empty; lastError() says why).
    bool load(const QString &path);
    const QString &path() const;
    const QString &lastError() const { return m_error; }

    // The value of key in section, or def when absent; the result is cut to
    // bufferSize - 1 characters like a fixed platform buffer.
    QString read(const QString &section, const QString &key, const QString &def = QString(),
                 int bufferSize = 512) const;
    bool contains(const QString &section, const QString &key) const;
    void write(const QString &section, const QString &key, const QString &value);
    void remove(const QString &section, const QString &key);
    QStringList sections() const;
    QStringList keys(const QString &section) const;

    // The document as it would be written (lines joined by "\n").
    QString text() const;

    // Writes the whole file through a temporary file and a rename. On failure
    // the old file is untouched and error (when given) says why.
    bool save(QString *error = nullptr) const;
    bool saveAs(const QString &path, QString *error = nullptr) const;

    // Decodes file bytes: a UTF-8 or UTF-16 byte-order mark decides, else
    // UTF-8 when the bytes are valid UTF-8, else Windows-1252.
    static QString decode(const QByteArray &bytes);

private:
    struct Line {
        QString raw;       // the line as it stands in the file
        QString key;       // non-empty for a key line
        QString value;     // trimmed value of a key line
        bool dead = false; // removed: kept as a hole so positions stay valid
    };
    struct Section {
        bool hasHeader = false; // false only for the lines before the first header
        QString name;
        QString header; // raw header line
        QList<Line> lines;
        qsizetype insertAt = 0; // after the last key line: where new keys go
    };
    struct Where {
        int section = -1;
        int line = -1;
    };

    void parse(const QString &text);
    void indexLine(int section, int line);

    QString m_path;
    QString m_error;
    QList<Section> m_sections;
    // Every copy of a key in file order, by folded "section\nkey"; new keys are
    // inserted after the last key line of their section and removed lines
    // become holes, so positions never shift and the index stays exact.
    QHash<QString, QList<Where>> m_index;
    QHash<QString, int> m_firstSection; // folded name -> first section with it
};

} // namespace tav
