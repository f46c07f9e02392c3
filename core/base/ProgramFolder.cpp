#include "core/base/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tav {

namespace {
QString g_override;
}

QString executableFolder() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget().section(QLatin1Char('/'), 0, -2);
}

QString programFolder() {
    if (!g_override.isEmpty())
        return g_override;
    const QString exe = executableFolder();
    if (QFileInfo(exe + QStringLiteral("/langages")).isDir())
        return exe;
    const QString installed = QDir::cleanPath(exe + QStringLiteral("/../share/travoline"));
    if (QFileInfo(installed).isDir())
        return installed;
    return exe;
}

void setProgramFolder(const QString &folder) {
    g_override = folder;
}

} // namespace tav
