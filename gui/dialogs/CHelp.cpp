#include "gui/dialogs/CHelp.h"

#include "core/base/FrontEnd.h"
#include "core/base/mTavCommon.h"
#include "core/i18n/HelpFile.h"
#include "core/i18n/Language.h"
#include "core/settings/modIniFile.h"
#include "gui/dialogs/frmHelp.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace tav {

namespace {

QPointer<frmHelp> &helpWindow() {
    static QPointer<frmHelp> w;
    return w;
}

// The main window, beside which the help window opens.
QWidget *mainWindow() {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("frmMain") && w->isVisible())
            return w;
    return QApplication::activeWindow();
}

// While a dialog is modal, a window outside it takes no input: the help
// window becomes the dialog's child window for that time and a window of
// its own again when the dialog hides.
class ModalGuest : public QObject {
public:
    ModalGuest(QWidget *dialog, frmHelp *help) : QObject(help), m_help(help) { dialog->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Hide && watched == m_help->parentWidget()) {
            watched->removeEventFilter(this);
            const QRect place = m_help->geometry();
            const bool shown = m_help->isVisible();
            m_help->setParent(nullptr, Qt::Window);
            m_help->setGeometry(place);
            if (shown)
                m_help->show();
            deleteLater();
        }
        return false;
    }

private:
    frmHelp *m_help;
};

void openBesideModal(frmHelp *help) {
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || help->parentWidget() == modal)
        return;
    const QRect place = help->geometry();
    help->setParent(modal, Qt::Window);
    help->setGeometry(place);
    new ModalGuest(modal, help);
}

} // namespace

void CHelp::ShowHelp(const QString &helpFile, int topic) {
    // A language not yet given a manual of its own reads the English one.
    const help::Manual manual = help::manualToOpen(helpFile);
    if (!QFileInfo::exists(manual.file)) {
        const QString online = help::onlineManualUrl(help::supportSite());
        if (online.isEmpty()) {
            // Nothing to offer instead: say so, with the file looked for.
            frontEnd().msgBox(i18n::getText(QStringLiteral("Help"), QStringLiteral("NotInstalled"),
                                            QStringLiteral("Le manuel de cette langue n'est pas installé.|"
                                                           "Fichier attendu : %s"),
                                            QDir::toNativeSeparators(helpFile)),
                              StyleInformation, i18n::Message(1));
            return;
        }
        if (frontEnd().msgBox(i18n::Message(53), StyleYesNo + StyleInformation, i18n::Message(1)) == AnswerYes)
            urlOpener()(online);
        return;
    }
    QPointer<frmHelp> &w = helpWindow();
    const bool fresh = !w;
    if (fresh)
        w = new frmHelp;
    openBesideModal(w);
    w->open(manual.file, topic);
    w->setNote(manual.englishInstead ? help::englishInsteadNote() : QString());
    if (fresh || !w->isVisible())
        w->placeBeside(mainWindow());
    w->show();
    w->raise();
    w->activateWindow();
}

void CHelp::show(int topic) {
    CHelp().ShowHelp(help::currentHelpFile(), topic);
}

frmHelp *CHelp::window() {
    return helpWindow();
}

void CHelp::closeWindow() {
    QPointer<frmHelp> &w = helpWindow();
    if (!w)
        return;
    w->close();
    delete w.data();
}

void CHelp::install() {
    modIniFile::hooks().closeHelp = &CHelp::closeWindow;
}

std::function<void(const QString &)> &CHelp::urlOpener() {
    static std::function<void(const QString &)> open = [](const QString &url) { mTavCommon::TavOpenUrl(url); };
    return open;
}

} // namespace tav
