#include "core/rename/StateFolder.h"

#include <QDir>
#include <QFile>

namespace tav {

QString stateFolder() {
    QString base = QFile::decodeName(qgetenv("XDG_STATE_HOME"));
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(base) + QStringLiteral("/Travoline");
}

} // namespace tav
