#include "gui/main/frmGLQuitter.h"

#include "gui/i18n/Translate.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tav {

frmGLQuitter::frmGLQuitter(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmGLQuitter"));
    setWindowTitle(QStringLiteral("Quitter"));
    if (parent && parent->isMinimized())
        parent->showNormal();
    auto *v = new QVBoxLayout(this);
    lblQuestion = new QLabel(QStringLiteral("Voulez-vous quitter Travoline ?"));
    lblQuestion->setObjectName(QStringLiteral("lblQuestion"));
    v->addWidget(lblQuestion);
    auto *h = new QHBoxLayout;
    cmdQuitter = new QPushButton(QStringLiteral("Quitter"));
    cmdQuitter->setObjectName(QStringLiteral("cmdQuitter"));
    cmdQuitter->setDefault(true);
    cmdContinuer = new QPushButton(QStringLiteral("Continuer"));
    cmdContinuer->setObjectName(QStringLiteral("cmdContinuer"));
    h->addStretch(1);
    h->addWidget(cmdQuitter);
    h->addWidget(cmdContinuer);
    v->addLayout(h);
    if (i18n::buttonPicturesEnabled()) {
        i18n::setButtonPictures(cmdQuitter, QStringLiteral("oui"));
        i18n::setButtonPictures(cmdContinuer, QStringLiteral("annuler"));
    }
    i18n::translateForm(this);
    connect(cmdQuitter, &QPushButton::clicked, this, [this] {
        m_quit = true;
        accept();
    });
    connect(cmdContinuer, &QPushButton::clicked, this, [this] {
        m_quit = false;
        reject();
    });
}

} // namespace tav
