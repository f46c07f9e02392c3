#pragma once
// The main window. It puts its panes together, shows the controller's state
// and forwards the user's actions to it; the renaming logic lives in the core
// (MainController). Every control carries its name as objectName so that
// language files can translate it (and tests find it); control-array elements
// carry their index as well. The controls are the panes' own: nothing outside
// reaches them.

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QShortcut;
class QTimer;

namespace tav {

class BrowserPane;
class ExifReader;
class MainController;
class RenamePane;
class RulePane;
class TokenPane;
struct RenameReport;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(MainController *controller, QWidget *parent = nullptr);
    ~frmMain() override;

    // The window's load: fields from the settings, pictures, translation,
    // counters and tips. Names are not computed until the first activation.
    void Form_Load();
    // The folder browser at its start folder (documents, the last folder or
    // a chosen one, from the settings), listing with the display filter.
    void openStartFolder();
    // Paths handed to the program: they join the rename list (a folder as its
    // files), the first one's folder is shown in the tree, message 88 names
    // each path that names nothing.
    void openPaths(const QStringList &paths);
    // The folder tree goes to path (a folder or a file's folder).
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
    // The progress bar of long operations.
    void progressStart(int maximum);
    void progressStep(int value);
    void progressEnd();
    void progressText(const QString &text);
    // A value of the current photo in the metadata group.
    void showMetadataValue(int index, const QString &text);
    // Rows of the rename list selected in the view, in order.
    QList<int> selectedRows() const;
    // The quit button: asks with frmGLQuitter, then closes.
    void cmdQuitter_Click();
    // The options dialog, modal.
    void cmdOption_Click();
    // Every text of the window again from the current language file (the
    // language changed while the window is open).
    void retranslate();

    // Where the focus was, to put it back after a message, with the rule
    // box's caret and selection.
    struct FocusMemo {
        QPointer<QWidget> widget;
        QPointer<QWidget> movedTo; // where Qt put it when the commands went off
        bool wasActive = false;
        QString ruleText;
        int caret = -1, selectionStart = -1, selectionLength = 0;
    };
    FocusMemo rememberFocus() const;
    void restoreFocus(const FocusMemo &memo);

signals:
    // The window closed and the settings were saved.
    void quitting();
    // The options dialog changed a thumbnail setting: the thumbnails are
    // drawn again where they are shown.
    void thumbnailSettingsChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildUi();
    QGroupBox *buildCommandBar();
    void wire();
    void wireRulePane();
    void wireRuleOptions();
    void wireTokenPane();
    void wireRenamePane();
    void wireBrowserPane();
    void wireCommandBar();
    void wireLongOperations();
    void loadFromSettings();
    void loadPictures();
    void restoreGeometryFromSettings();
    // The frame's top-left corner and the window's size out of the maximised
    // state (what the settings keep).
    QRect normalPlace() const;
    void noteNormalPlace();
    void fitFrameOnScreen();
    void restoreViewState();
    void saveViewState() const;
    void cmdAbout_Click();
    void updateTitle();
    // Double click on the comment: the rule-memorising dialog.
    void editComment();
    void previewRow(int row);
    void showToolInUse();
    // The status line: what the last rename did, until the next change.
    void showRenameOutcome(const RenameReport &report);
    void clearStatus();
    // The undo command is on when the rename history holds a batch.
    void updateUndoCommand();
    void translateUndoCommand();
    void nameStatusLine();
    void switchCommandBar(bool enabled, bool stopShown, bool renaming);

    MainController *m_controller;
    ExifReader *m_exif = nullptr;

    BrowserPane *m_browser = nullptr;
    RenamePane *m_rename = nullptr;
    RulePane *m_rule = nullptr;
    TokenPane *m_tokens = nullptr;
    // The command bar, by the names the language files use.
    QGroupBox *Frame5 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QElapsedTimer m_progressMoved; // since the bar last moved
    int m_progressCheckAt = 0;     // the value from which a move is considered again
    QLabel *lblStatus = nullptr;
    QPushButton *cmdStopAction = nullptr, *cmdRenommer = nullptr, *cmdRenommerStop = nullptr;
    QPushButton *cmdAnnulerRenommage = nullptr; // undo of the last batch of the rename history
    QPushButton *cmdOption = nullptr, *cmdAbout = nullptr, *cmdAide = nullptr, *cmdForum = nullptr,
                *cmdQuitter = nullptr;
    // Escape during a long adding operation, wherever the focus is in the window.
    QShortcut *m_escape = nullptr;

    // Timers of the window (children named after them).
    QTimer *Timer_update = nullptr, *Timer_Escape = nullptr;

    bool m_escapePressed = false;
    bool m_activated = false;
    // The commands are off (a recomputation, an adding or a rename runs).
    bool m_commandsOff = false;
    // The start folder as the settings gave it, and the folder shown for it
    // (another one when it is missing): an untouched tree keeps the stored one.
    QString m_startFolderStored, m_startFolderShown;
    FocusMemo m_focus; // while the commands are off
    // The place out of the maximised state, and how far the window's inside
    // stands from its frame's corner.
    QRect m_normalPlace;
    QPoint m_frameOffset;
    bool m_fitFramePending = false;
};

} // namespace tav
