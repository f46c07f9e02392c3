#include "gui/main/Startup.h"

#include <exception>

namespace tav {

QString startupProcedure(int line) {
    return QStringLiteral("Main (Module MOD_MAIN) ligne = ") + QString::number(line);
}

void reportEscapedException(std::FILE *err, const char *program) {
    int number = 0;
    QString description;
    currentError(number, description);
    std::fprintf(err, "%s: stopped by an unexpected error: %s (error %d)\n", program,
                 description.toLocal8Bit().constData(), number);
    std::fflush(err);
}

int guardedMain(const char *program, const std::function<int()> &body, std::FILE *err) {
    try {
        return body();
    } catch (...) {
        reportEscapedException(err, program);
        return 2;
    }
}

bool GuardedApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportEscapedException(stderr, "travoline");
        m_failed = true;
        exit(2);
        return false;
    }
}

} // namespace tav
