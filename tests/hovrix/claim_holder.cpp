// A second program for the claim tests: one control enters, "claimed" is
// printed, and the program waits for "quit" on its input.

#include "FakePlatform.h"

#include <QApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto platform = std::make_shared<FakePlatform>();
    QWidget window;
    {
        Hovrix control(platform, &window);
        control.ForwardMouseMove(0, 0);
        if (!control.GetIsMouseOver())
            return 1;
        std::puts("claimed");
        std::fflush(stdout);
        char line[64];
        while (std::fgets(line, sizeof line, stdin))
            if (QByteArray(line).trimmed() == "quit")
                break;
    }
    return 0;
}
