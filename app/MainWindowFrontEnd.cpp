#include "app/MainWindowFrontEnd.h"

#include "app/frmMain.h"
#include "dialogs/frmCheckErreur.h"

namespace tav {

void MainWindowFrontEnd::objetOnOff(bool enabled, bool stopShown, bool renaming)
{
    m_window->objetOnOff(enabled, stopShown, renaming);
}

void MainWindowFrontEnd::progressStart(int maximum)
{
    m_window->ProgressBar1->setRange(0, std::max(maximum, 1));
    m_window->ProgressBar1->setValue(0);
    m_window->ProgressBar1->setVisible(true);
}

void MainWindowFrontEnd::progressStep(int value)
{
    QProgressBar *bar = m_window->ProgressBar1;
    bar->setValue(std::min(value, bar->maximum()));
}

void MainWindowFrontEnd::progressEnd() { m_window->ProgressBar1->setVisible(false); }

bool MainWindowFrontEnd::reviewBlocked(const QList<ReviewEntry> &entries, const QString &captionSuffix)
{
    return reviewBlockedEntries(entries, captionSuffix, m_window);
}

void MainWindowFrontEnd::showMetadataLabel(int index, const QString &text)
{
    if (index >= 0 && index < int(m_window->lblExif.size()) && m_window->lblExif[index])
        m_window->lblExif[index]->setText(text);
}

} // namespace tav
