#include "gui/dialogs/GuiFrontEnd.h"

#include "core/base/Twips.h"
#include "core/base/Version.h"
#include "core/i18n/Language.h"
#include "gui/dialogs/KobMesgBox.h"

#include <QApplication>
#include <QInputDialog>
#include <QScreen>

namespace tav {

void initTwipsFromScreen() {
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        setTwipsDpi(screen->logicalDotsPerInchY());
}

GuiFrontEnd::GuiFrontEnd() {
    initTwipsFromScreen();
}

int GuiFrontEnd::msgBox(const QString &message, int style, const QString &title, int delaySeconds, const QString &key) {
    bool answered = false;
    const int answer = KobMesgBox::show(message, style, title, delaySeconds, key, &answered);
    return answered ? answer : msgEscapeAnswer(style);
}

bool GuiFrontEnd::inputBox(const QString &prompt, const QString &title, QString &text) {
    QInputDialog box(QApplication::activeWindow());
    box.setObjectName(QStringLiteral("InputBox"));
    box.setWindowTitle(title);
    box.setLabelText(prompt);
    box.setTextValue(text);
    const QString section = QStringLiteral("frmKobMsgBox");
    box.setOkButtonText(i18n::getText(section, QStringLiteral("cmdOK.Caption"), QStringLiteral("OK")));
    box.setCancelButtonText(i18n::getText(section, QStringLiteral("cmdAnnuler.Caption"), QStringLiteral("Annuler")));
    if (box.exec() != QDialog::Accepted)
        return false;
    text = box.textValue();
    return true;
}

void GuiFrontEnd::showPlainError(const QString &text) {
    msgBox(text, StyleOkOnly, QString::fromLatin1(ProgramTitle));
}

// Long loops call this once per file; running the event loop every time would
// cost more than the work itself, so events run at most every 15 ms, which
// still paints the window smoothly and lets a click on Stop through.
void GuiFrontEnd::processEvents() {
    if (m_sinceEvents.isValid() && m_sinceEvents.elapsed() < 15)
        return;
    QCoreApplication::processEvents(m_inputHeld ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents);
    m_sinceEvents.start();
}

} // namespace tav
