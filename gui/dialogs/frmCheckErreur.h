#pragma once
// The review shown before a rename when some files cannot be renamed: their
// old paths (a list that scrolls horizontally, so long paths can be read
// whole), the reason for the selected one, and the choice to go on without
// them or to cancel the whole batch. Closing the window in any other way
// (title bar, Escape) cancels.

#include "core/base/FrontEnd.h"
#include "gui/widgets/CLBHScroll.h"

#include <QDialog>
#include <QList>
#include <QSize>

class QLabel;
class QListWidget;
class QPushButton;

namespace tav {

class frmCheckErreur : public QDialog {
    Q_OBJECT
public:
    static inline const QString CancelMark = QStringLiteral("ANNULER");

    explicit frmCheckErreur(QWidget *parent = nullptr);

    // One line per entry (its old path); the caption gets the suffix, such as " (3 / 20)".
    void setEntries(const QList<ReviewEntry> &entries, const QString &captionSuffix);

    // "ANNULER" to cancel, the empty text to go on. Cancel until a button says otherwise.
    const QString &cancelMark() const { return m_cancelMark; }
    bool continueChosen() const { return m_cancelMark.isEmpty(); }

public slots:
    void cmdContinuer_Click();
    void cmdAnnuler_Click();
    void reject() override; // Escape and the title bar's close button

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QListWidget *lsterreur = nullptr;
    QPushButton *cmdContinuer = nullptr;
    QPushButton *cmdAnnuler = nullptr;
    QLabel *lblRaison = nullptr;

    void layoutControls();
    void showReason(int row);

    CLBHScroll m_scroll;
    QList<ReviewEntry> m_entries;
    QString m_cancelMark = CancelMark;
    QSize m_minimum;
};

// Shows the review modally over parent; true to continue, false to cancel.
bool reviewBlockedEntries(const QList<ReviewEntry> &entries, const QString &captionSuffix, QWidget *parent);

} // namespace tav
