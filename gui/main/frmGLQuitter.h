#pragma once
// The quit dialog: Quit or Continue.

#include <QDialog>

class QPushButton;
class QLabel;

namespace tav {

class frmGLQuitter : public QDialog {
    Q_OBJECT
public:
    explicit frmGLQuitter(QWidget *parent = nullptr);
    bool quitConfirmed() const { return m_quit; }

private:
    QLabel *lblQuestion = nullptr;
    QPushButton *cmdQuitter = nullptr;
    QPushButton *cmdContinuer = nullptr;
    bool m_quit = false;
};

} // namespace tav
