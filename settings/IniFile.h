#pragma once
// A sectioned key/value file with profile-string semantics: case-insensitive
// section and key look-up, values trimmed, first match wins, other lines,
// comments and order kept. Read as UTF-8, or as Windows-1252 when the bytes
// are not valid UTF-8; written as UTF-8, whole and atomically.

#include <QString>
#include <QStringList>

namespace tav {

class IniFile {
public:
    IniFile() = default;
    explicit IniFile(const QString &path); // loads the file when it exists

    // Loads path; a missing file gives an empty document. False on read error.
    bool load(const QString &path);
    const QString &path() const;

    // The value of key in section, or def when absent; the result is cut to
    // bufferSize - 1 characters like a fixed platform buffer.
    QString read(const QString &section, const QString &key, const QString &def = QString(),
                 int bufferSize = 512) const;
    bool contains(const QString &section, const QString &key) const;
    void write(const QString &section, const QString &key, const QString &value);
    void remove(const QString &section, const QString &key);
    QStringList sections() const;
    QStringList keys(const QString &section) const;

    // Writes the whole file through a temporary file and a rename. On failure
    // the old file is untouched and error (when given) says why.
    bool save(QString *error = nullptr) const;
    bool saveAs(const QString &path, QString *error = nullptr) const;

private:
    struct Impl;
    // implementation detail owned by settings/IniFile.cpp
};

} // namespace tav
