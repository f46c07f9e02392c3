#include "app/Version.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList args = app.arguments().mid(1);
    if (args.contains(QStringLiteral("--version"))) {
        out << tav::ProgramTitle << ' ' << tav::VersionText << '\n';
        return 0;
    }
    out << "Usage: travoline-cli [OPTIONS] PATH...\n"
           "  --version   print the version and exit\n"
           "  --help      print this help and exit\n";
    return args.contains(QStringLiteral("--help")) ? 0 : 2;
}
