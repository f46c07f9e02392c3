#pragma once
// Every test process gets its own empty configuration, state and cache
// folders, so that no test reads or writes the user's own files and no test
// sees what an earlier one left behind.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace test {

inline void usePrivateHome() {
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/travoline-test-home-XXXXXX"));
    if (!home.isValid())
        return;
    for (const char *var : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        const QString folder = home.path() + QLatin1Char('/') + QString::fromLatin1(var).toLower();
        QDir().mkpath(folder);
        qputenv(var, QFile::encodeName(folder));
    }
}

} // namespace test
