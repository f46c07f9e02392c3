#include "core/i18n/Language.h"

#include "core/base/IniFile.h"
#include "core/base/ProgramFolder.h"
#include "core/base/Trap.h"
#include "core/base/mTavCommon.h"

#include <QDir>
#include <array>
#include <filesystem>
#include <memory>
#include <system_error>

namespace tav::i18n {

namespace {

// Values of 400 characters or more are cut to 399, like the fixed read buffer
// the language files were designed with.
constexpr int ReadBufferSize = 400;
constexpr int MessageSlots = 101;

// The language file is parsed once and kept; it is parsed again when the
// language changes or when the file on disk changes (size or modification
// time), so texts that are never cached still follow the file.
struct FileStamp {
    bool exists = false;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type mtime{};
    bool operator==(const FileStamp &) const = default;
};

struct State {
    QString name = QStringLiteral("Français");
    QString fileName = QStringLiteral("francais");
    IniFile file;
    bool parsed = false;
    QString parsedPath;
    FileStamp stamp;
    int loads = 0;
    std::array<QString, MessageSlots> cache;
};

State &state() {
    static State s;
    return s;
}

FileStamp stampOf(const QString &path) {
    FileStamp st;
    std::error_code ec;
    const std::filesystem::path p(path.toStdU16String());
    st.size = std::filesystem::file_size(p, ec);
    if (ec)
        return {};
    st.mtime = std::filesystem::last_write_time(p, ec);
    if (ec)
        return {};
    st.exists = true;
    return st;
}

const IniFile &currentFile() {
    State &s = state();
    const QString path = languageFilePath();
    const FileStamp now = stampOf(path);
    if (!s.parsed || s.parsedPath != path || !(now == s.stamp)) {
        // A missing or unreadable file leaves an empty document: every look-up
        // then gives its default.
        s.file = IniFile();
        if (now.exists)
            s.file.load(path);
        s.parsed = true;
        s.parsedPath = path;
        s.stamp = now;
        ++s.loads;
    }
    return s.file;
}

QString rawText(const QString &section, const QString &key, const QString &def) {
    return currentFile().read(section, key, def, ReadBufferSize);
}

} // namespace

QString fileNameForLanguage(const QString &displayName) {
    // The only place that derives a language's file name; it goes through
    // Orvalib so the program and its options dialog agree on the rule.
    // Orvalib folds the French accents only; the marks it leaves ("ñ" of
    // Español) are taken off too, so every language file keeps a plain name.
    const QString folded = mTavCommon::TavStringSansAccent(displayName).normalized(QString::NormalizationForm_D);
    QString name;
    name.reserve(folded.size());
    for (const QChar c : folded)
        if (c.category() != QChar::Mark_NonSpacing)
            name += c;
    return name.normalized(QString::NormalizationForm_C);
}

void setLanguage(const QString &displayName) {
    const QString fileName = fileNameForLanguage(displayName);
    State &s = state();
    s.name = displayName;
    s.fileName = fileName;
    s.parsed = false;
    discardMessageCache();
    QLocale::setDefault(interfaceLocale());
}

QLocale interfaceLocale() {
    const QString name = getText(QStringLiteral("LANGUAGE"), QStringLiteral("locale")).trimmed();
    if (name.isEmpty())
        return QLocale::system();
    const QLocale locale(name);
    // An unknown name gives the C locale: the system's is nearer the user.
    return locale.language() == QLocale::C ? QLocale::system() : locale;
}

QString languageName() {
    return state().name;
}

QString languageFileName() {
    return state().fileName;
}

QString languageFilePath() {
    return QDir(programFolder()).filePath(QStringLiteral("langages/") + state().fileName + QStringLiteral(".lng"));
}

QString applyValueConventions(const QString &raw, const QString &p1, const QString &p2) {
    QString text = raw;
    text.replace(QLatin1Char('|'), QStringLiteral("\r\n"));
    if (text.startsWith(QLatin1Char('_')))
        text[0] = QLatin1Char(' ');
    if (text.endsWith(QLatin1Char('_')))
        text[text.size() - 1] = QLatin1Char(' ');

    const QString placeholder = QStringLiteral("%s");
    const qsizetype first = text.indexOf(placeholder);
    if (first < 0)
        return text;
    text.replace(first, placeholder.size(), p1);
    // The second placeholder is looked for after the first parameter, so a
    // parameter that happens to contain "%s" (a file name, a rule) is shown
    // as it is.
    const qsizetype second = text.indexOf(placeholder, first + p1.size());
    if (second >= 0)
        text.replace(second, placeholder.size(), p2);
    return text;
}

QString getText(const QString &section, const QString &key, const QString &def, const QString &p1, const QString &p2) {
    return applyValueConventions(rawText(section, key, def), p1, p2);
}

QString Message(int n, const QString &p1, const QString &p2) {
    if (n < 0 || n >= MessageSlots)
        throw TavError(ErrSubscript, QStringLiteral("Subscript out of range (message %1)").arg(n));
    QString &slot = state().cache[static_cast<std::size_t>(n)];
    if (!slot.isEmpty())
        return slot;
    const QString raw = rawText(QStringLiteral("MSG"), QStringLiteral("m") + QString::number(n), QString());
    const QString text = applyValueConventions(raw, p1, p2);
    if (!raw.contains(QStringLiteral("%s")))
        slot = text;
    return text;
}

void discardMessageCache() {
    for (QString &slot : state().cache)
        slot.clear();
}

QStringList availableLanguages() {
    QStringList names;
    const QDir dir(QDir(programFolder()).filePath(QStringLiteral("langages")));
    const QStringList files = dir.entryList({QStringLiteral("*.lng")}, QDir::Files, QDir::Name);
    for (const QString &f : files) {
        const IniFile ini(dir.filePath(f));
        const QString name =
            ini.read(QStringLiteral("LANGUAGE"), QStringLiteral("language"), QString(), ReadBufferSize);
        if (!name.isEmpty() && !names.contains(name))
            names << name;
    }
    return names;
}

int fileLoadCount() {
    return state().loads;
}

} // namespace tav::i18n
