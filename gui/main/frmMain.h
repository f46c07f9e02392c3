#pragma once
// The main window. It shows the controller's state and forwards the user's
// actions to it; the renaming logic lives in the core (MainController).
// Every control carries its name as objectName so that language files can
// translate it; control-array elements carry their index as well.

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <array>

class QMenu;
class TVExplorer;
class LVExplorer;

namespace tav {

class MainController;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(MainController *controller, QWidget *parent = nullptr);
    ~frmMain() override;

    MainController *controller() const { return m_controller; }

    // Controls, by the names the language files use.
    TVExplorer *TreeView1 = nullptr;
    LVExplorer *ListView1 = nullptr;
    QTableView *lstrename = nullptr;
    QComboBox *cboRenommer = nullptr;
    QLabel *lblComment = nullptr;
    QLineEdit *txtDebut = nullptr, *txtPas = nullptr, *txtNbPasse = nullptr, *txtFilter = nullptr,
              *txtExtension = nullptr;
    QCheckBox *chkAutoIncrement = nullptr, *chkExtension = nullptr, *chkInterdit = nullptr, *chkPreview = nullptr,
              *chkRefresh = nullptr, *chkTrim = nullptr, *chkUpperFirstChar = nullptr,
              *chkUpperCaseFirstWord = nullptr;
    std::array<QRadioButton *, 3> optCasse{};
    QListWidget *lstAstuce = nullptr;
    std::array<QGroupBox *, 6> fAstuce{};
    std::array<QLabel *, 33> Label8{};
    // Replace-by-position builder.
    std::array<QRadioButton *, 3> optRepPos{};
    std::array<QLineEdit *, 4> txtRepPos{};
    std::array<QLabel *, 4> lblRepPos{};
    std::array<QRadioButton *, 2> optRepPosDebutFin{};
    QLabel *lblRepPosDebutFin = nullptr;
    QLineEdit *txtRemplacerPos = nullptr;
    QPushButton *cmdRepPos = nullptr;
    // Replace-string builder.
    QLineEdit *txtRechercher = nullptr, *txtRemplacer = nullptr;
    std::array<QRadioButton *, 3> optRepStr{};
    std::array<QLabel *, 3> lblRepStr{};
    QPushButton *cmdRepStr = nullptr;
    // Metadata.
    std::array<QLabel *, 6> lblExif{};
    QLabel *lblExitToolUsed = nullptr;
    QPushButton *cmdEffacerExif = nullptr;
    // Commands.
    QPushButton *cmdAdd = nullptr, *cmdAddAll = nullptr, *cmdDel = nullptr, *cmdClear = nullptr,
                *cmdRefresh = nullptr, *cmdRefreshFolder = nullptr, *cmdUp = nullptr, *cmdDown = nullptr,
                *cmdStopAction = nullptr, *cmdDnD = nullptr;
    QPushButton *cmdPrendrePlus = nullptr, *cmdPrendreMoins = nullptr, *cmdPrendreSupprimer = nullptr;
    QPushButton *cmdRenommer = nullptr, *cmdRenommerStop = nullptr;
    QPushButton *cmdOption = nullptr, *cmdAbout = nullptr, *cmdAide = nullptr, *cmdForum = nullptr,
                *cmdQuitter = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QLabel *Label2 = nullptr, *Label4 = nullptr;
    QLabel *Label5 = nullptr, *Label6 = nullptr, *Label7 = nullptr, *Label9 = nullptr, *Label10 = nullptr,
           *Label15 = nullptr, *lblNbPasse = nullptr, *lblRepStrTitle = nullptr;
    QGroupBox *Frame1 = nullptr, *Frame2 = nullptr, *Frame3 = nullptr, *Frame5 = nullptr;
    QMenu *mnuPopup = nullptr;
    QAction *mnuAddHieriachy = nullptr;

    // Timers of the window.
    QTimer Timer_cboRenommer, Timer_update, Timer_Escape, Timer_ListView1_count;

    // The window's load: fields from the settings, pictures, translation,
    // counters and tips. Names are not computed until the first activation.
    void Form_Load();
    // Copies the window's own state (geometry, builders, tip) into the settings.
    void storeIntoSettings();

    // Switches every command around long operations.
    void objetOnOff(bool enabled, bool stopShown, bool renaming);
    // Shows the token group of the selected tip.
    void lstAstuce_Click();
    void updateTitle();
    // Rows of the rename list selected in the view, in order.
    QList<int> selectedRows() const;
    // Double click on the comment label: the rule-memorising dialog.
    void editComment();
    // The quit button: asks with frmGLQuitter, then closes.
    void cmdQuitter_Click();

signals:
    // The window closed and the settings were saved.
    void quitting();

public:

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildUi();
    QWidget *buildBrowserPane();
    QWidget *buildRenamePane();
    QWidget *buildRulePane();
    QWidget *buildTokenPane();
    QWidget *buildCommandBar();
    void wire();
    void loadFromSettings();
    // Dragging one row of the rename list to another place.
    bool renameListMouse(QEvent *event);

    MainController *m_controller;
    int m_dragFrom = -1;   // row pressed, while the button is down
    bool m_dragging = false;
    QPoint m_dragStart;
    bool m_escapePressed = false;
    bool m_activated = false;
    bool m_quitAsked = false;
};

} // namespace tav
