#include "gui/main/MainWindowFrontEnd.h"

#include "gui/dialogs/frmCheckErreur.h"
#include "gui/main/frmMain.h"

#include <QLabel>
#include <QProgressBar>

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
    m_window->objetOnOff(enabled, stopShown, renaming);
}

void MainWindowFrontEnd::progressStart(int maximum) {
    m_window->ProgressBar1->setRange(0, std::max(maximum, 1));
    m_window->ProgressBar1->setValue(0);
    m_window->ProgressBar1->setVisible(true);
}

// Moving the bar measures its text each time; a step of a thousandth of the
// range is finer than the bar can show, so smaller moves are skipped.
void MainWindowFrontEnd::progressStep(int value) {
    QProgressBar *bar = m_window->ProgressBar1;
    const int shown = std::min(value, bar->maximum());
    const int grain = std::max(1, bar->maximum() / 1000);
    if (shown == bar->maximum() || shown < bar->value() || shown - bar->value() >= grain)
        bar->setValue(shown);
}

void MainWindowFrontEnd::progressEnd() {
    m_window->ProgressBar1->setVisible(false);
}

bool MainWindowFrontEnd::reviewBlocked(const QList<ReviewEntry> &entries, const QString &captionSuffix) {
    return reviewBlockedEntries(entries, captionSuffix, m_window);
}

void MainWindowFrontEnd::showMetadataLabel(int index, const QString &text) {
    if (index >= 0 && index < int(m_window->lblExif.size()) && m_window->lblExif[index])
        m_window->lblExif[index]->setText(text);
}

} // namespace tav
