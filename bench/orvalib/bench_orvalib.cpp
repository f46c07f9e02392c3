// Cost of one call through the Orvalib binding: the engine splits every
// file's name with these helpers, so 100,000 rows mean several 100,000 calls.

#include "core/base/mTavCommon.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <functional>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int calls = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    const QString path = QStringLiteral("/home/user/Photos/Vacances 2024/IMG_20240812_153012.jpg");

    const auto measure = [&](const char *name, const std::function<qsizetype()> &call) {
        qsizetype sink = 0;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < calls; ++i)
            sink += call();
        const double ns = double(timer.nsecsElapsed()) / calls;
        out << qSetFieldWidth(22) << Qt::left << name << qSetFieldWidth(0) << QString::number(ns, 'f', 1)
            << " ns/call (" << sink % 7 << ")\n";
    };

    out << calls << " calls each\n";
    measure("TavGetPath", [&] { return mTavCommon::TavGetPath(path).size(); });
    measure("TavGetFileName", [&] { return mTavCommon::TavGetFileName(path).size(); });
    measure("TavGetExtension", [&] { return mTavCommon::TavGetExtension(path).size(); });
    measure("TavStrWithoutExt", [&] { return mTavCommon::TavStrWithoutExt(path).size(); });
    measure("TavStringSansAccent", [&] { return mTavCommon::TavStringSansAccent(path).size(); });
    measure("TavFileExists", [&] { return qsizetype(mTavCommon::TavFileExists(path)); });
    return 0;
}
