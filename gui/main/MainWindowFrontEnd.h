#pragma once
// The front end of the main window: the message box of GuiFrontEnd, plus the
// window's own switches, progress bar, review window and metadata labels.

#include "gui/dialogs/GuiFrontEnd.h"

namespace tav {

class frmMain;

class MainWindowFrontEnd : public GuiFrontEnd {
public:
    explicit MainWindowFrontEnd(frmMain *window) : m_window(window) {}

    // A message takes the focus away; it comes back where it was once the
    // message is answered.
    int msgBox(const QString &message, int style, const QString &title, int delaySeconds = 0,
               const QString &key = QString()) override;
    void objetOnOff(bool enabled, bool stopShown, bool renaming) override;
    void progressStart(int maximum) override;
    void progressStep(int value) override;
    void progressEnd() override;
    void progressText(const QString &text) override;
    bool reviewBlocked(const QList<ReviewEntry> &entries, const QString &captionSuffix) override;
    void showMetadataLabel(int index, const QString &text) override;

private:
    frmMain *m_window;
};

} // namespace tav
