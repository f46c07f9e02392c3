#include "gui/main/frmMemoriseRegle.h"

#include "core/i18n/Language.h"
#include "core/settings/SavedRules.h"
#include "gui/i18n/Translate.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tav {

frmMemoriseRegle::frmMemoriseRegle(const QString &comment, const QString &fileTypes, QWidget *parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmMemoriseRegle"));
    setWindowTitle(QStringLiteral("Mémoriser la règle"));
    auto *g = new QGridLayout(this);
    auto *Label1 = new QLabel(QStringLiteral("Commentaire :"));
    Label1->setObjectName(QStringLiteral("Label1"));
    auto *Label2 = new QLabel(QStringLiteral("Types de fichiers (par exemple jpg png) :"));
    Label2->setObjectName(QStringLiteral("Label2"));
    txtCommentaire = new QLineEdit(comment);
    txtCommentaire->setObjectName(QStringLiteral("txtCommentaire"));
    txtCommentaire->setMinimumWidth(320);
    if (comment.isEmpty())
        txtCommentaire->setText(i18n::Message(93));
    txtCommentaire->installEventFilter(this);
    txtExtension = new QLineEdit(fileTypes);
    txtExtension->setObjectName(QStringLiteral("txtExtension"));
    cmdOK = new QPushButton(QStringLiteral("OK"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdAnnuler = new QPushButton(QStringLiteral("Annuler"));
    cmdAnnuler->setObjectName(QStringLiteral("cmdAnnuler"));
    g->addWidget(Label1, 0, 0);
    g->addWidget(txtCommentaire, 0, 1);
    g->addWidget(Label2, 1, 0);
    g->addWidget(txtExtension, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdAnnuler);
    g->addLayout(buttons, 2, 0, 1, 2);
    connect(cmdOK, &QPushButton::clicked, this, &frmMemoriseRegle::cmdOK_Click);
    connect(cmdAnnuler, &QPushButton::clicked, this, &QDialog::reject);
    if (i18n::buttonPicturesEnabled()) {
        i18n::setButtonPictures(cmdOK, QStringLiteral("oui"));
        i18n::setButtonPictures(cmdAnnuler, QStringLiteral("annuler"));
    }
    i18n::translateForm(this);
}

bool frmMemoriseRegle::eventFilter(QObject *watched, QEvent *event) {
    if (watched == txtCommentaire && event->type() == QEvent::FocusIn &&
        savedRules::isCommentPrompt(txtCommentaire->text()))
        txtCommentaire->clear();
    return QDialog::eventFilter(watched, event);
}

void frmMemoriseRegle::cmdOK_Click() {
    const auto parts = savedRules::acceptCommentDialog(txtCommentaire->text(), txtExtension->text());
    if (!parts)
        return; // refused with a message; the dialog stays open
    m_comment = parts->comment;
    m_fileTypes = parts->fileTypes;
    accept();
}

} // namespace tav
