#pragma once
// The dialog that edits the comment and the file types of the current rule.

#include <QDialog>

class QLineEdit;
class QPushButton;
class QLabel;

namespace tav {

class frmMemoriseRegle : public QDialog {
    Q_OBJECT
public:
    frmMemoriseRegle(const QString &comment, const QString &fileTypes, QWidget *parent = nullptr);

    // The accepted texts (valid after exec() returns Accepted).
    QString comment() const { return m_comment; }
    QString fileTypes() const { return m_fileTypes; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *txtCommentaire = nullptr;
    QLineEdit *txtExtension = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdAnnuler = nullptr;
    void cmdOK_Click();
    QString m_comment, m_fileTypes;
};

} // namespace tav
