#pragma once
// The main controller: the state of the main window between commands and
// every command that does more than show something. It runs without a
// window; the window forwards its events here and shows what the signals
// tell it. Questions and progress go through tav::frontEnd().

#include "core/filelist/RenameList.h"
#include "core/rename/RenameCommand.h"
#include "core/rename/RenameHistory.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <functional>

namespace tav {

struct Settings;

class MainController : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit MainController(Settings &settings, QObject *parent = nullptr);
    ~MainController() override;

    RenameList &renameList() { return m_list; }
    RenameListModel *model() const { return m_list.model(); }
    Settings &settings() { return m_settings; }

    // The clock of the deferred recomputation (tests replace it).
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // Copies the settings into the list's naming options (rule, tables,
    // formats) and the automatic refresh.
    void loadFromSettings();
    // Copies the rule and the automatic refresh back into the settings.
    void storeIntoSettings();
    // The options dialog changed the settings: the naming options take the
    // date formats and the two tables over; with recompute every name follows.
    void applyOptions(bool recompute);
    // The interface language changed: the marker texts already in the list
    // and a default comment of the rule (the old language's texts given)
    // take the new texts, and so do the labels.
    void languageChanged(const QString &oldNeverRenamed, const QString &oldNotSelected, const QString &oldNoComment);

    // False from the window load until its first activation; while false a
    // change of the rule text computes nothing.
    void setUpdatesEnabled(bool on) { m_updatesEnabled = on; }

    // --- The rule box -------------------------------------------------------
    void ruleFocusIn(const QString &text);
    void ruleTextChanged(const QString &text);
    void ruleKeyTyped(int code);
    void caretTick(int caretPosition);
    // One tick of Timer_update: validates once at least one whole second has
    // passed since the last change. Returns true when it recomputed.
    bool updateTick();
    void ruleFocusOut(const QString &text);
    int caret() const { return m_caret; }
    bool changePending() const { return m_pendingChange.isValid(); }
    const QString &currentRuleText() const { return m_ruleText; }
    const QString &lastValidatedText() const { return m_lastValidated; }

    // Validates the pattern; a pattern that passes becomes the rule and every
    // name is recomputed. A refused one leaves the last good names in place.
    // While the user types (the deferred recomputation, leaving the box, a
    // token or a builder) what the check finds is shown in place
    // (ruleCheckChanged); the message boxes come only when the user acts on
    // the pattern: renaming or saving it.
    enum class Checks { InPlace, Boxes };
    bool cboRenommer_Change(Checks checks = Checks::InPlace);
    // What the check of the rule box's text found, one line; empty when clean.
    const QString &ruleCheckText() const { return m_ruleCheck; }

    // Clicking token label index with its caption: inserts the token at the
    // caret (label 31 replaces the whole pattern), then validates.
    void insertToken(int labelIndex, const QString &caption);
    // The token a label caption stands for: up to its first " :".
    static QString tokenOfCaption(const QString &caption);

    // The two operator builders write the whole pattern and validate it.
    void cmdRepPos_Click(int optRepPos, const QStringList &txtRepPos, int optRepPosDebutFin,
                         const QString &txtRemplacerPos);
    void cmdRepStr_Click(const QString &search, const QString &replacement, int optRepStr);
    // A builder's rule: the whole pattern, validated at once.
    void writeRule(const QString &text);

    // --- Rule options ---------------------------------------------------------
    void setTrim(bool on);
    void setUpperFirstChar(bool on);
    void setUpperEachWord(bool on);
    void setAutoIncrement(bool on);
    void setForbidden(bool on);
    void setExtensionChecked(bool on);
    void setExtensionText(const QString &text);
    void setCaseOption(int index);
    void setAutoRefresh(bool on);
    // Leaving the counter fields; the returned text is what the field shows.
    QString txtDebut_LostFocus(const QString &text);
    QString txtPas_LostFocus(const QString &text);
    QString txtNbPasse_LostFocus(const QString &text);

    // --- The rename list --------------------------------------------------------
    enum class Presence { SameName, SameNameAndFolder };
    // The long adding frame over full paths, in order. Returns how many
    // files were left out because the list holds them (or a file of the same
    // name) already.
    int addFiles(const QStringList &paths, Presence presence);
    // cmdAdd: the selected names of folder; cmdAddAll: every name of folder.
    void cmdAdd_Click(const QString &folder, const QStringList &selectedNames);
    void cmdAddAll_Click(const QString &folder, const QStringList &allNames);
    // mnuAddHieriachy: every file under root matching the display filter.
    void mnuAddHieriachy_Click(const QString &root);
    // Files and folders dropped from another program.
    void cmdDnD_Drop(const QStringList &paths);
    // Paths handed to the program (its command line, or a second start): files
    // join the list, a folder adds its own files, without a question. Returns
    // the paths that name nothing.
    QStringList openPaths(const QStringList &paths);
    // Removing and ordering; each returns the rows to select afterwards.
    void cmdDel_Click(const QList<int> &selectedRows);
    void cmdClear_Click();
    QList<int> cmdUp_Click(const QList<int> &selectedRows);
    QList<int> cmdDown_Click(const QList<int> &selectedRows);
    int dragRow(int from, int to);
    // The stop of long operations (button or Escape): asks message 20.
    void cmdStopAction_Click();
    bool stopRequested() const { return m_stopAction; }
    bool actionRunning() const { return m_actionRunning; }

    // Display filter of the folder contents list.
    void setDisplayFilter(const QString &filter);
    // Files under root matching the display filter, breadth first.
    QStringList collectHierarchy(const QString &root, bool useFilter, bool skipListedNames, bool *stopped);
    int countMatchingFiles(const QString &root, bool useFilter) const;

    // --- Saved rules --------------------------------------------------------------
    void cmdPrendrePlus_Click();
    void cmdPrendreMoins_Click();
    void cmdPrendreSupprimer_Click();
    void chooseSavedRule(const QString &pattern);
    QString commentLabel() const;
    void setComment(const QString &comment, const QString &fileTypes);

    // --- Rename ---------------------------------------------------------------
    void cmdRenommer_Click();
    // Asks for confirmation (message 20); a batch already moving files runs
    // to its end, so the request only marks that the user wanted to stop.
    void cmdRenommerStop_Click();
    bool renameStopRequested() const { return m_stopRename; }
    const RenameReport &lastRename() const { return m_lastRename; }
    // The thumbnails' hook: files renamed together, by a rename or its undo.
    void setThumbnailsRenamed(std::function<void(const RenamedFiles &)> hook) { m_thumbnailsRenamed = std::move(hook); }

    // --- Undo -------------------------------------------------------------------
    // Asks first (the number of files and the date), then puts the files of the
    // last batch of the rename history back under their old names.
    void cmdAnnulerRenommage_Click();
    // The rename history holds a batch to undo.
    bool canUndo() const;
    const UndoReport &lastUndo() const { return m_lastUndo; }

    // --- Window title and quitting -----------------------------------------------------
    QString titleText() const;
    QString countLabelText() const { return m_list.countLabelText(); }
    void quit(bool confirmed);
    bool quitConfirmed() const { return m_quitConfirmed; }

signals:
    // What the check of the rule box's text found changed (empty: nothing).
    void ruleCheckChanged(const QString &text);
    // The rule box's text was set by a command (token, builder, saved rule).
    void ruleTextSet(const QString &text, int caret);
    void countLabelChanged(const QString &text);
    void titleChanged(const QString &text);
    // Fields the window shows (after a saved rule is chosen or settings load).
    void ruleFieldsChanged();
    void commentLabelChanged(const QString &text);
    void savedRulesChanged(const QStringList &patterns);
    // A long adding operation runs: the window hides the list and polls Escape.
    void actionRunningChanged(bool running);
    void selectRows(const QList<int> &rows);
    // The folder contents list must be listed again (files were renamed).
    void folderListChanged();
    void renameFinished();
    void undoFinished();

private:
    void recomputeAll();
    void showRuleCheck(const QString &text);
    QDateTime now() const { return m_clock ? m_clock() : QDateTime::currentDateTime(); }

    Settings &m_settings;
    RenameList m_list;
    Clock m_clock;

    bool m_updatesEnabled = false;
    QDateTime m_pendingChange;
    QString m_ruleTextAtFocus;
    QString m_ruleText;
    QString m_lastValidated;
    QString m_ruleCheck;
    int m_caret = 0;
    bool m_stopAction = false;
    bool m_stopRename = false;
    bool m_actionRunning = false;
    bool m_quitConfirmed = false;
    RenameReport m_lastRename;
    UndoReport m_lastUndo;
    std::function<void(const RenamedFiles &)> m_thumbnailsRenamed;
    // The counter's start before the last batch this session renamed, which
    // its undo puts back.
    struct CounterBefore {
        qint64 batch = 0;
        QString txtDebut;
        qint32 debutPas = 0;
    } m_counterBefore;
};

} // namespace tav
