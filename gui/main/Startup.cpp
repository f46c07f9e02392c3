#include "gui/main/Startup.h"

#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QWidget>

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

namespace {

class FirstPaintReport : public QObject {
public:
    FirstPaintReport(QWidget *window, QString file) : QObject(window), m_file(std::move(file)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QFile out(m_file);
            if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
                out.write(QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + '\n');
            deleteLater();
        }
        return false;
    }

private:
    QString m_file;
};

} // namespace

void reportWhenUsable(QWidget *window) {
    const QString file = qEnvironmentVariable("TRAVOLINE_STARTUP_REPORT");
    if (!file.isEmpty())
        new FirstPaintReport(window, file);
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
