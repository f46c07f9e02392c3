#include "gui/dialogs/frmMiseAJour.h"

#include "core/base/FrontEnd.h"
#include "core/base/Trap.h"
#include "core/base/mTavCommon.h"
#include "core/i18n/Language.h"
#include "core/update/InstallerDownload.h"
#include "core/update/UpdateCheck.h"
#include "gui/i18n/Translate.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <sys/stat.h>
#include <unistd.h>

namespace tav {

using i18n::Message;

namespace {

// Runs body; a failure goes to the common error reporter as
// "... in procedure NAME of Feuille frmMiseAJour".
template <class Body> void trapForm(const char *name, Body &&body) {
    try {
        body();
    } catch (...) {
        int number = 0;
        QString description;
        currentError(number, description);
        reportPlainError(number, description, QLatin1String(name), QStringLiteral("frmMiseAJour"));
    }
}

} // namespace

frmMiseAJour::frmMiseAJour(QWidget *parent)
    : QDialog(parent), m_download(new update::InstallerDownload(this)),
      m_open([](const QString &address) { return mTavCommon::TavOpenUrl(address); }) {
    build();
    Form_Load();
    connect(m_download, &update::InstallerDownload::progress, this, [this](qint64 received, qint64 expected) {
        lbltelechargement->setText(update::progressText(m_prefix, received, expected));
        ProgressBar1->setValue(update::progressPercent(received, expected));
    });
    connect(m_download, &update::InstallerDownload::finished, this,
            [this](bool complete) { trapForm("cmdSuivant_Click", [&] { downloadEnded(complete); }); });
}

frmMiseAJour::~frmMiseAJour() = default;

void frmMiseAJour::build() {
    setObjectName(QStringLiteral("frmMiseAJour"));
    setWindowTitle(QStringLiteral("maj du logiciel"));
    setModal(true);

    Label0 = new QLabel(QStringLiteral("une nouvelle version de logiciel est dispo : xx.yy.zz"), this);
    i18n::setControlIndex(Label0, QStringLiteral("Label"), 0);
    QFont bold = Label0->font();
    bold.setBold(true);
    Label0->setFont(bold);
    Label1 = new QLabel(QStringLiteral("quoi de neuf "), this);
    i18n::setControlIndex(Label1, QStringLiteral("Label"), 1);
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    lbltelechargement = new QLabel(QStringLiteral("telecharge 0 %"), this);
    lbltelechargement->setObjectName(QStringLiteral("lbltelechargement"));
    lbltelechargement->hide();
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();

    cmdSuivant = new QPushButton(QStringLiteral("Télécharger"), this);
    cmdSuivant->setObjectName(QStringLiteral("cmdSuivant"));
    cmdSuivant->setDefault(true);
    cmdAnnuler = new QPushButton(QStringLiteral("Annuler"), this);
    cmdAnnuler->setObjectName(QStringLiteral("cmdAnnuler"));
    cmdAide = new QPushButton(QStringLiteral("Aide"), this);
    cmdAide->setObjectName(QStringLiteral("cmdAide"));
    cmdAide->hide();
    connect(cmdSuivant, &QPushButton::clicked, this, &frmMiseAJour::cmdSuivant_Click);
    connect(cmdAnnuler, &QPushButton::clicked, this, &frmMiseAJour::cmdAnnuler_Click);
    connect(cmdAide, &QPushButton::clicked, this, &frmMiseAJour::cmdAide_Click);

    auto *progress = new QHBoxLayout;
    progress->addWidget(lbltelechargement);
    progress->addWidget(ProgressBar1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdAide);
    buttons->addStretch(1);
    buttons->addWidget(cmdSuivant);
    buttons->addWidget(cmdAnnuler);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label0);
    layout->addSpacing(6);
    layout->addWidget(Label1);
    layout->addWidget(Text1, 1);
    layout->addLayout(progress);
    layout->addLayout(buttons);
    resize(520, 360);
}

void frmMiseAJour::Form_Load() {
    for (int i = 0; i < 4; ++i)
        m_texts[i] = Message(82 + i);
    if (i18n::buttonPicturesEnabled()) {
        i18n::setButtonPictures(cmdAnnuler, QStringLiteral("annuler"));
        i18n::setButtonPictures(cmdSuivant, QStringLiteral("oui"));
        i18n::setButtonPictures(cmdAide, QStringLiteral("aide"));
    }
    i18n::translateForm(this);
}

void frmMiseAJour::showNewVersion(const QString &version, const QStringList &notes) {
    Label0->setText(Label0->text() + version);
    QString text;
    for (const QString &line : notes)
        text += line + QLatin1Char('\n');
    Text1->setPlainText(text);
}

void frmMiseAJour::setHelpHandler(std::function<void(int)> onHelp) {
    m_onHelp = std::move(onHelp);
    cmdAide->setVisible(bool(m_onHelp));
}

QString frmMiseAJour::localPath() const {
    const QString folder = update::downloadFolder();
    if (folder.isEmpty())
        return QString();
    return folder + QLatin1Char('/') + m_installer.mid(m_installer.lastIndexOf(QLatin1Char('/')) + 1);
}

namespace {
// A file that this user downloaded earlier (not a link, nor another account's).
bool isOwnEarlierCopy(const QString &path) {
    struct stat st {};
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           st.st_uid == ::geteuid();
}
} // namespace

void frmMiseAJour::cmdSuivant_Click() {
    trapForm("cmdSuivant_Click", [&] {
        cmdSuivant->setEnabled(false);
        const QString path = localPath();
        // A copy from an earlier attempt, whole or cut short: replaced only when asked.
        if (isOwnEarlierCopy(path) &&
            frontEnd().msgBox(m_texts[1], StyleYesNo + StyleQuestion, Message(1)) != AnswerYes) {
            cmdSuivant->setEnabled(true);
            return;
        }
        setCursor(Qt::BusyCursor);
        ProgressBar1->setRange(0, 100);
        ProgressBar1->setValue(0);
        ProgressBar1->show();
        lbltelechargement->show();
        m_prefix = update::progressPrefix(lbltelechargement->text());
        m_download->start(m_installer, path);
    });
}

void frmMiseAJour::downloadEnded(bool complete) {
    unsetCursor();
    if (!complete) {
        // A package that is not the one published was deleted: the user is told why.
        using Failure = update::InstallerDownload::Failure;
        const Failure why = m_download->failure();
        const QString checksum = update::checksumAddress(m_installer);
        frontEnd().msgBox(why == Failure::ChecksumMissing
                              ? i18n::getText(objectName(), QStringLiteral("SommeAbsente"),
                                              QStringLiteral("Le téléchargement de la nouvelle version a échoué : sa "
                                                             "somme de contrôle %s est introuvable. Le fichier "
                                                             "téléchargé a été effacé."),
                                              checksum)
                          : why == Failure::ChecksumWrong
                              ? i18n::getText(objectName(), QStringLiteral("SommeFausse"),
                                              QStringLiteral("Le téléchargement de la nouvelle version a échoué : le "
                                                             "fichier reçu ne correspond pas à sa somme de contrôle "
                                                             "%s. Il a été effacé."),
                                              checksum)
                              : m_texts[0],
                          StyleExclamation, Message(1));
        if (frontEnd().msgBox(m_texts[2], StyleYesNo + StyleQuestion, Message(1)) == AnswerYes)
            m_open(m_base);
    }
    ProgressBar1->hide();
    lbltelechargement->hide();
    if (!complete)
        return;
    m_open(update::updatePageAddress(m_base));
    // The desktop's package installer asks the user; the program closes only
    // once the package was handed over, else the user is told where it is.
    m_quit = m_open(QUrl::fromLocalFile(localPath()).toString()) > 32;
    if (!m_quit)
        frontEnd().msgBox(i18n::getText(objectName(), QStringLiteral("PaquetNonOuvert"),
                                        QStringLiteral("Aucun programme n'a pu ouvrir le paquet %s."), localPath()),
                          StyleExclamation, Message(1));
    accept();
}

void frmMiseAJour::cmdAnnuler_Click() {
    reject();
}

void frmMiseAJour::reject() {
    // The part received so far stays, to be offered again.
    m_download->abort();
    QDialog::reject();
}

void frmMiseAJour::cmdAide_Click() {
    if (m_onHelp)
        m_onHelp(HelpTopic);
}

// ---- The checks ----

namespace {

void deliverStartup(QPointer<QWidget> mainWindow, const update::StartupResult &result, const QString &base,
                    const std::function<bool()> &busy, const std::function<void(int)> &onHelp) {
    if (!mainWindow)
        return;
    // A rename or another modal window first: the answer waits for its end.
    if ((busy && busy()) || QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        QTimer::singleShot(500, mainWindow.data(), [=] { deliverStartup(mainWindow, result, base, busy, onHelp); });
        return;
    }
    mainWindow->unsetCursor();
    trap(QStringLiteral("checkVersion_Click (module Fichier)"), [&] {
        switch (result.kind) {
        case update::StartupResult::Failed:
            throw TavError(result.errorNumber, result.errorText);
        case update::StartupResult::Unreachable:
            frontEnd().msgBox(Message(7), StyleInformation, Message(1));
            break;
        case update::StartupResult::NewVersion: {
            bool quit = false;
            {
                frmMiseAJour dialog(mainWindow);
                dialog.setServer(base);
                dialog.setInstallerAddress(result.installer);
                dialog.showNewVersion(result.version, result.notes);
                if (onHelp)
                    dialog.setHelpHandler(onHelp);
                dialog.exec();
                quit = dialog.quitRequested();
            }
            // The installer replaces the program: the normal close saves the
            // settings, then every other window goes.
            if (quit && mainWindow) {
                mainWindow->close();
                QApplication::closeAllWindows();
            }
            break;
        }
        default:
            break;
        }
    });
}

} // namespace

void checkVersion_Click(QWidget *mainWindow, std::function<bool()> busy, std::function<void(int)> onHelp) {
    const QString base = update::serverAddress();
    if (base.isEmpty() || !mainWindow)
        return;
    // The window stays usable: the pointer says work goes on in the background.
    mainWindow->setCursor(Qt::BusyCursor);
    QPointer<QWidget> window(mainWindow);
    update::runInBackground<update::StartupResult>(
        mainWindow, [base] { return update::startupCheck(base); },
        [window, base, busy = std::move(busy), onHelp = std::move(onHelp)](const update::StartupResult &result) {
            deliverStartup(window, result, base, busy, onHelp);
        });
}

void manualVersionCheck(QWidget *box, QLabel *status, std::function<void()> done) {
    const QString base = update::serverAddress();
    if (base.isEmpty() || !box) {
        if (done)
            done();
        return;
    }
    const QString saved = status ? status->text() : QString();
    if (status)
        status->setText(Message(4));
    QPointer<QLabel> label(status);
    update::runInBackground<update::ManualResult>(
        box, [base] { return update::manualCheck(base); },
        [label, saved, base, done = std::move(done)](const update::ManualResult &result) {
            if (label)
                label->setText(saved);
            trap(QStringLiteral("cmdControleVersion_Click (Feuille frmAbout)"), [&] {
                switch (result.kind) {
                case update::ManualResult::Failed:
                    throw TavError(result.errorNumber, result.errorText);
                case update::ManualResult::Unreachable:
                    frontEnd().msgBox(Message(7), StyleInformation, Message(1));
                    break;
                case update::ManualResult::UpToDate:
                    frontEnd().msgBox(Message(6), StyleInformation, Message(1));
                    break;
                case update::ManualResult::NewVersion:
                    if (frontEnd().msgBox(Message(5, result.version, base), StyleYesNo + StyleInformation,
                                          Message(1)) == AnswerYes)
                        mTavCommon::TavOpenUrl(base);
                    break;
                default:
                    break;
                }
            });
            if (done)
                done();
        });
}

} // namespace tav
