#include "core/engine/NewNamePath.h"

#include "core/i18n/Language.h"

#include <QDir>

#include <cstring>

namespace tav {

namespace {

constexpr int MaxNameBytes = 255;
constexpr int MaxPathBytes = 4095;

const QLatin1String ProblemSection("NameProblem");

// The reasons a new name is refused: key of the language file, English text
// used when the file lacks the key.
enum Problem { Empty, Dots, Slash, Nul, Long, PathLong, ProblemCount };
constexpr const char *ProblemTexts[ProblemCount][2] = {
    {"empty", "The new name is empty."},
    {"dots", "\".\" and \"..\" cannot be file names."},
    {"slash", "A name cannot hold \"/\"."},
    {"nul", "A name cannot hold the NUL character."},
    {"long", "A name cannot be longer than 255 bytes."},
    {"path", "The new path is too long (more than 4095 bytes)."},
};

QString problemText(Problem p) {
    return i18n::getText(ProblemSection, QLatin1String(ProblemTexts[p][0]), QLatin1String(ProblemTexts[p][1]));
}

// Length in UTF-8 without building the bytes.
qsizetype utf8Length(QStringView s) {
    qsizetype n = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c < 0x80)
            n += 1;
        else if (c < 0x800)
            n += 2;
        else if (QChar::isHighSurrogate(c) && i + 1 < s.size() && QChar::isLowSurrogate(s[i + 1].unicode())) {
            n += 4;
            ++i;
        } else
            n += 3;
    }
    return n;
}

QString componentProblem(QStringView part, bool isFileName) {
    if (part.isEmpty())
        return problemText(Empty);
    const char16_t *const s = part.utf16();
    const qsizetype n = part.size();
    if (isFileName && n <= 2 && s[0] == u'.' && (n == 1 || s[1] == u'.'))
        return problemText(Dots);
    // Most names: ASCII without "/" nor NUL, one byte a character; looked
    // at four characters at a time (a lane is zero, or "/", when the borrow
    // of subtracting one reaches its top bit).
    constexpr quint64 Ones = 0x0001000100010001ULL, Tops = 0x8000800080008000ULL;
    qsizetype ascii = 0;
    for (; ascii + 4 <= n; ascii += 4) {
        quint64 x;
        std::memcpy(&x, s + ascii, sizeof x);
        const quint64 slash = x ^ (Ones * u'/');
        if ((x & 0xFF80FF80FF80FF80ULL) || ((x - Ones) & ~x & Tops) || ((slash - Ones) & ~slash & Tops))
            break;
    }
    while (ascii < n && char16_t(s[ascii] - 1) < 0x7F && s[ascii] != u'/')
        ++ascii;
    if (ascii == n)
        return n > MaxNameBytes ? problemText(Long) : QString();
    // Otherwise one look at each character tells the "/", the NUL and the length.
    bool slash = false, nul = false;
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x80) {
            bytes += 1;
            slash |= c == u'/';
            nul |= c == 0;
        } else if (c < 0x800) {
            bytes += 2;
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            bytes += 4;
            ++i;
        } else {
            bytes += 3;
        }
    }
    if (slash)
        return problemText(Slash);
    if (nul)
        return problemText(Nul);
    if (bytes > MaxNameBytes)
        return problemText(Long);
    return QString();
}

} // namespace

PathParts splitPath(const QString &path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return {QString(), path};
    return {path.left(slash), path.mid(slash + 1)};
}

QString destinationPath(const QString &folder, const QString &newName, bool makesFolders) {
    if (!makesFolders)
        return folder + QLatin1Char('/') + newName;
    QString converted = newName;
    converted.replace(NameFolderSeparator, QLatin1Char('/'));
    if (converted.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(converted);
    return QDir::cleanPath(folder + QLatin1Char('/') + converted);
}

QString destinationPath(const FileEntry &entry) {
    return destinationPath(entry.folder, entry.newName, entry.makesFolders);
}

QString destinationFolder(const QString &folder, const QString &newName, bool makesFolders) {
    const QString path = destinationPath(folder, newName, makesFolders);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0)
        return slash == 0 ? QStringLiteral("/") : QString();
    return path.left(slash);
}

QString nameProblemSection() {
    return ProblemSection;
}

QStringList nameProblemKeys() {
    QStringList keys;
    for (const auto &entry : ProblemTexts)
        keys << QLatin1String(entry[0]);
    return keys;
}

QString newNameProblem(const QString &newName, bool makesFolders) {
    if (!makesFolders)
        return componentProblem(newName, true);
    const QStringList parts = newName.split(NameFolderSeparator);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const bool last = i == parts.size() - 1;
        // Empty folder levels ("a\\b", a leading "\" for the root) are harmless.
        if (!last && parts[i].isEmpty())
            continue;
        const QString problem = componentProblem(parts[i], last);
        if (!problem.isEmpty())
            return problem;
    }
    if (utf8Length(newName) > MaxPathBytes)
        return problemText(PathLong);
    return QString();
}

} // namespace tav
