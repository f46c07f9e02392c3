#include "gui/main/MainWindowFrontEnd.h"

#include "gui/dialogs/frmCheckErreur.h"
#include "gui/main/frmMain.h"

namespace tav {

int MainWindowFrontEnd::msgBox(const QString &message, int style, const QString &title, int delaySeconds,
                               const QString &key) {
    const frmMain::FocusMemo focus = m_window->rememberFocus();
    const int answer = GuiFrontEnd::msgBox(message, style, title, delaySeconds, key);
    if (m_window->isVisible())
        m_window->restoreFocus(focus);
    return answer;
}

void MainWindowFrontEnd::objetOnOff(bool enabled, bool stopShown, bool renaming) {
    // A recomputation of the names has neither a stop button nor anything
    // else to click: what the user does meanwhile comes once it is over, so
    // that a click on Rename, say, is neither lost on a switched-off button
    // nor taken before the names it is to use are shown.
    holdUserInput(!enabled && !stopShown && !renaming);
    m_window->objetOnOff(enabled, stopShown, renaming);
}

void MainWindowFrontEnd::progressStart(int maximum) {
    m_window->progressStart(maximum);
}

void MainWindowFrontEnd::progressStep(int value) {
    m_window->progressStep(value);
}

void MainWindowFrontEnd::progressEnd() {
    m_window->progressEnd();
}

void MainWindowFrontEnd::progressText(const QString &text) {
    m_window->progressText(text);
}

bool MainWindowFrontEnd::reviewBlocked(const QList<ReviewEntry> &entries, const QString &captionSuffix) {
    return reviewBlockedEntries(entries, captionSuffix, m_window);
}

void MainWindowFrontEnd::showMetadataLabel(int index, const QString &text) {
    m_window->showMetadataValue(index, text);
}

} // namespace tav
