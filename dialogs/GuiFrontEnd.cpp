#include "dialogs/GuiFrontEnd.h"

#include "app/Twips.h"
#include "app/Version.h"
#include "dialogs/KobMesgBox.h"

#include <QApplication>
#include <QScreen>

namespace tav {

void initTwipsFromScreen()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        setTwipsDpi(screen->logicalDotsPerInchY());
}

GuiFrontEnd::GuiFrontEnd() { initTwipsFromScreen(); }

int GuiFrontEnd::msgBox(const QString &message, int style, const QString &title, int delaySeconds,
                        const QString &key)
{
    bool shown = false;
    const int answer = KobMesgBox::show(message, style, title, delaySeconds, key, &shown);
    return shown ? answer : KobMesgBox::escapeAnswer(KobMesgBox::buttonSet(style));
}

void GuiFrontEnd::showPlainError(const QString &text)
{
    msgBox(text, StyleOkOnly, QString::fromLatin1(ProgramTitle));
}

void GuiFrontEnd::processEvents() { QCoreApplication::processEvents(); }

} // namespace tav
