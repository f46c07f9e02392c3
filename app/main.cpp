#include "app/Version.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tav::ProgramTitle));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("%1 v%2").arg(QString::fromLatin1(tav::ProgramTitle),
                                                       QString::fromLatin1(tav::VersionText)));
    window.resize(1016, 707);
    window.show();
    return app.exec();
}
