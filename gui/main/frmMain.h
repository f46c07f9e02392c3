#pragma once
// The main window. It shows the controller's state and forwards the user's
// actions to it; the renaming logic lives in the core (MainController).
// Every control carries its name as objectName so that language files can
// translate it (and tests find it); control-array elements carry their index
// as well. The controls are the window's own: nothing outside reaches them.

#include <QMainWindow>
#include <QPointer>

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QShortcut;
class QTableView;
class QTimer;
class TVExplorer;
class LVExplorer;
class ThumbnailList;
class Hovrix;

namespace tav {

class ExifReader;
class MainController;
struct RenameReport;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(MainController *controller, QWidget *parent = nullptr);
    ~frmMain() override;

    MainController *controller() const { return m_controller; }

    // The window's load: fields from the settings, pictures, translation,
    // counters and tips. Names are not computed until the first activation.
    void Form_Load();
    // The folder browser at its start folder (documents, the last folder or
    // a chosen one, from the settings), listing with the display filter.
    void openStartFolder();
    // The folder tree goes to path (a folder or a file's folder).
    // Paths handed to the program: they join the rename list (a folder as its
    // files), the first one's folder is shown in the tree, message 88 names
    // each path that names nothing.
    void openPaths(const QStringList &paths);
    void openPath(const QString &path);
    // The metadata reader behind the clear-cache button and the tool label.
    void setMetadataReader(ExifReader *reader);
    // A second start of the program: this window comes forward.
    void comeForward();
    // Copies the window's own state (geometry, builders, tip) into the settings.
    void storeIntoSettings();

    // Switches every command around long operations. The focus and the
    // rule box's caret come back where they were once the commands are on.
    void objetOnOff(bool enabled, bool stopShown, bool renaming);
    // Rows of the rename list selected in the view, in order.
    QList<int> selectedRows() const;
    // The quit button: asks with frmGLQuitter, then closes.
    void cmdQuitter_Click();
    // The options dialog, modal.
    void cmdOption_Click();
    // Every text of the window again from the current language file (the
    // language changed while the window is open).
    void retranslate();
    // The preview of the folder list's selected file (when the preview is on).
    void ListView1_Click();
    // The folder as thumbnails or as details, by the state of chkVignette.
    void chkVignette_Click();

signals:
    // The window closed and the settings were saved.
    void quitting();
    // The options dialog changed a thumbnail setting: the thumbnails are
    // drawn again where they are shown.
    void thumbnailSettingsChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class MainWindowFrontEnd;

    void buildUi();
    void hostHoverControl(int index);
    void restoreViewState();
    void cmdAbout_Click();
    void saveViewState() const;
    QWidget *buildBrowserPane();
    QWidget *buildRenamePane();
    QWidget *buildRulePane();
    QWidget *buildTokenPane();
    QWidget *buildCommandBar();
    void wire();
    void loadFromSettings();
    // Shows the token group of the selected tip.
    void lstAstuce_Click();
    void updateTitle();
    // Double click on the comment label: the rule-memorising dialog.
    void editComment();
    // Dragging one row of the rename list to another place.
    bool renameListMouse(QEvent *event);
    void ruleBoxEvent(QEvent *event);
    void showFolderCount();
    // The preview pane shows path, upright; errors are reported under procedure.
    void previewFile(const QString &path, const QString &procedure);
    void chkPreview_Click(bool on);
    // Builds the thumbnails when the folder or its names changed since the last build.
    void showThumbnails();
    // The token pane at one size for every group (after translation).
    void fitTokenPane();
    void showToolInUse();
    // The status line: what the last rename did, until the next change.
    void showRenameOutcome(const RenameReport &report);
    void clearStatus();
    // The undo command is on when the rename history holds a batch.
    void updateUndoCommand();
    // Where the focus was before the commands went off or a message opened,
    // and back there afterwards, with the rule box's caret and selection.
    struct FocusMemo {
        QPointer<QWidget> widget;
        QPointer<QWidget> movedTo; // where Qt put it when the commands went off
        bool wasActive = false;
        QString ruleText;
        int caret = -1, selectionStart = -1, selectionLength = 0;
    };
    FocusMemo rememberFocus() const;
    void saveFocus();
    void restoreFocus(const FocusMemo &memo);

    MainController *m_controller;
    ExifReader *m_exif = nullptr;

    // Controls, by the names the language files use.
    TVExplorer *TreeView1 = nullptr;
    LVExplorer *ListView1 = nullptr;
    ThumbnailList *ListView2 = nullptr;
    QTableView *lstrename = nullptr;
    QComboBox *cboRenommer = nullptr;
    QLabel *lblComment = nullptr;
    QLineEdit *txtDebut = nullptr, *txtPas = nullptr, *txtNbPasse = nullptr, *txtFilter = nullptr,
              *txtExtension = nullptr;
    QCheckBox *chkAutoIncrement = nullptr, *chkExtension = nullptr, *chkInterdit = nullptr, *chkPreview = nullptr,
              *chkVignette = nullptr, *chkRefresh = nullptr, *chkTrim = nullptr, *chkUpperFirstChar = nullptr,
              *chkUpperCaseFirstWord = nullptr;
    std::array<QRadioButton *, 3> optCasse{};
    QListWidget *lstAstuce = nullptr;
    std::array<QGroupBox *, 6> fAstuce{};
    std::array<QLabel *, 33> Label8{};
    std::array<Hovrix *, 33> Hovrix1{};
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
    QPushButton *cmdAdd = nullptr, *cmdAddAll = nullptr, *cmdDel = nullptr, *cmdClear = nullptr, *cmdRefresh = nullptr,
                *cmdRefreshFolder = nullptr, *cmdUp = nullptr, *cmdDown = nullptr, *cmdStopAction = nullptr,
                *cmdDnD = nullptr;
    QPushButton *cmdPrendrePlus = nullptr, *cmdPrendreMoins = nullptr, *cmdPrendreSupprimer = nullptr;
    QPushButton *cmdRenommer = nullptr, *cmdRenommerStop = nullptr;
    QPushButton *cmdAnnulerRenommage = nullptr; // undo of the last batch of the rename history
    QPushButton *cmdOption = nullptr, *cmdAbout = nullptr, *cmdAide = nullptr, *cmdForum = nullptr,
                *cmdQuitter = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QLabel *lblStatus = nullptr;
    QLabel *Label2 = nullptr, *Label4 = nullptr;
    QLabel *picturePreview = nullptr;
    QLabel *Label5 = nullptr, *Label6 = nullptr, *Label7 = nullptr, *Label9 = nullptr, *Label10 = nullptr,
           *Label15 = nullptr, *lblNbPasse = nullptr, *lblRepStrTitle = nullptr;
    QWidget *m_tokenGroups = nullptr; // where the six groups take turns
    QGroupBox *Frame1 = nullptr, *Frame2 = nullptr, *Frame3 = nullptr, *Frame5 = nullptr;
    QMenu *mnuPopup = nullptr;
    QAction *mnuAddHieriachy = nullptr;
    // Escape during a long adding operation, wherever the focus is in the window.
    QShortcut *m_escape = nullptr;

    // Timers of the window (children named after them).
    QTimer *Timer_update = nullptr, *Timer_Escape = nullptr, *Timer_ListView1_count = nullptr;

    int m_dragFrom = -1; // row pressed, while the button is down
    bool m_dragging = false;
    QPoint m_dragStart;
    bool m_escapePressed = false;
    bool m_activated = false;
    bool m_quitAsked = false;
    // The commands are off (a recomputation, an adding or a rename runs).
    bool m_commandsOff = false;
    // The start folder as the settings gave it, and the folder shown for it
    // (another one when it is missing): an untouched tree keeps the stored one.
    QString m_startFolderStored, m_startFolderShown;
    FocusMemo m_focus; // while the commands are off
};

} // namespace tav
