#include "gui/dialogs/frmCheckErreur.h"

#include "core/base/Twips.h"
#include "gui/i18n/Translate.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>

namespace tav {

namespace {

// Geometry in twips, as the window was drawn.
constexpr int LoadWidth = 9000;
constexpr int LoadHeight = 5200;
constexpr int Margin = 120;
constexpr int ButtonWidth = 1500;
constexpr int ButtonHeight = 375;
constexpr int ButtonGap = 120;
constexpr int BottomMargin = 150;    // below the buttons
constexpr int ListBottomSpace = 730; // from the list's bottom to the window's

} // namespace

frmCheckErreur::frmCheckErreur(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmCheckErreur"));
    setWindowTitle(QStringLiteral("Fichiers qui ne seront pas renommés"));
    setModal(true);

    lsterreur = new QListWidget(this);
    lsterreur->setObjectName(QStringLiteral("lsterreur"));
    lblRaison = new QLabel(this);
    lblRaison->setObjectName(QStringLiteral("lblRaison"));
    lblRaison->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cmdContinuer = new QPushButton(QStringLiteral("Continuer"), this);
    cmdContinuer->setObjectName(QStringLiteral("cmdContinuer"));
    cmdAnnuler = new QPushButton(QStringLiteral("Annuler"), this);
    cmdAnnuler->setObjectName(QStringLiteral("cmdAnnuler"));
    // Enter must not rename by accident: the safe choice is the default.
    cmdAnnuler->setDefault(true);
    cmdContinuer->setAutoDefault(false);

    connect(cmdContinuer, &QPushButton::clicked, this, &frmCheckErreur::cmdContinuer_Click);
    connect(cmdAnnuler, &QPushButton::clicked, this, &frmCheckErreur::cmdAnnuler_Click);
    connect(lsterreur, &QListWidget::currentRowChanged, this, &frmCheckErreur::showReason);

    // The size at load is also the smallest the window may take.
    resize(twipsToPixels(LoadWidth), twipsToPixels(LoadHeight));
    m_minimum = size();
    setMinimumSize(m_minimum);

    m_scroll.attach(lsterreur);
    if (i18n::buttonPicturesEnabled()) {
        i18n::setButtonPictures(cmdContinuer, QStringLiteral("oui"));
        i18n::setButtonPictures(cmdAnnuler, QStringLiteral("annuler"));
    }
    i18n::translateForm(this);
    layoutControls();
}

void frmCheckErreur::setEntries(const QList<ReviewEntry> &entries, const QString &captionSuffix) {
    m_entries = entries;
    m_scroll.clear();
    for (const ReviewEntry &e : entries) {
        m_scroll.add(e.oldPath);
        QListWidgetItem *item = lsterreur->item(lsterreur->count() - 1);
        item->setToolTip(e.newPath.isEmpty() ? e.reason : e.newPath + QStringLiteral("\n") + e.reason);
    }
    setWindowTitle(windowTitle() + captionSuffix);
    if (!entries.isEmpty())
        lsterreur->setCurrentRow(0);
    // setCurrentRow scrolls to the line; the paths are read from their start.
    lsterreur->horizontalScrollBar()->setValue(0);
}

void frmCheckErreur::showReason(int row) {
    lblRaison->setText(row >= 0 && row < m_entries.size() ? m_entries[row].reason : QString());
    lblRaison->setToolTip(lblRaison->text());
}

void frmCheckErreur::cmdContinuer_Click() {
    m_cancelMark.clear();
    QDialog::accept();
}

void frmCheckErreur::cmdAnnuler_Click() {
    m_cancelMark = CancelMark;
    QDialog::reject();
}

void frmCheckErreur::reject() {
    cmdAnnuler_Click();
}

void frmCheckErreur::resizeEvent(QResizeEvent *event) {
    QDialog::resizeEvent(event);
    layoutControls();
}

void frmCheckErreur::layoutControls() {
    const int w = width(), h = height();
    const int margin = twipsToPixels(Margin);
    const int bw = twipsToPixels(ButtonWidth), bh = twipsToPixels(ButtonHeight), gap = twipsToPixels(ButtonGap);
    lsterreur->setGeometry(margin, margin, qMax(0, w - 2 * margin),
                           qMax(0, h - margin - twipsToPixels(ListBottomSpace)));
    // The buttons stay at the bottom right; the reason of the selected line to their left.
    const int top = h - bh - twipsToPixels(BottomMargin);
    cmdAnnuler->setGeometry(w - margin - bw, top, bw, bh);
    cmdContinuer->setGeometry(w - margin - 2 * bw - gap, top, bw, bh);
    lblRaison->setGeometry(margin, top, qMax(0, w - 2 * margin - 2 * bw - 2 * gap), bh);
}

bool reviewBlockedEntries(const QList<ReviewEntry> &entries, const QString &captionSuffix, QWidget *parent) {
    frmCheckErreur form(parent);
    form.setEntries(entries, captionSuffix);
    form.exec();
    return form.continueChosen();
}

} // namespace tav
