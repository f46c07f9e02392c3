#include "core/engine/NewNamePath.h"

#include "core/i18n/Language.h"

#include <QDir>

namespace tav {

namespace {

constexpr int MaxNameBytes = 255;
constexpr int MaxPathBytes = 4095;

QString problemText(const char *key, const char *english)
{
    return i18n::getText(QStringLiteral("NameProblem"), QLatin1String(key), QLatin1String(english));
}

// Length in UTF-8 without building the bytes.
qsizetype utf8Length(QStringView s)
{
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

QString componentProblem(const QString &part, bool isFileName)
{
    if (part.isEmpty())
        return problemText("empty", "the new name is empty");
    if (isFileName && (part == QLatin1String(".") || part == QLatin1String("..")))
        return problemText("dots", "\".\" and \"..\" cannot be file names");
    if (part.contains(QLatin1Char('/')))
        return problemText("slash", "a name cannot hold \"/\"");
    if (part.contains(QChar(0)))
        return problemText("nul", "a name cannot hold the NUL character");
    if (utf8Length(part) > MaxNameBytes)
        return problemText("long", "a name cannot be longer than 255 bytes");
    return QString();
}

} // namespace

QString destinationPath(const QString &folder, const QString &newName, bool makesFolders)
{
    if (!makesFolders)
        return folder + QLatin1Char('/') + newName;
    QString converted = newName;
    converted.replace(NameFolderSeparator, QLatin1Char('/'));
    if (converted.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(converted);
    return QDir::cleanPath(folder + QLatin1Char('/') + converted);
}

QString destinationPath(const FileEntry &entry)
{
    return destinationPath(entry.folder, entry.newName, entry.makesFolders);
}

QString destinationFolder(const QString &folder, const QString &newName, bool makesFolders)
{
    const QString path = destinationPath(folder, newName, makesFolders);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0)
        return slash == 0 ? QStringLiteral("/") : QString();
    return path.left(slash);
}

QString newNameProblem(const QString &newName, bool makesFolders)
{
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
        return problemText("path", "the new path is too long");
    return QString();
}

} // namespace tav
