#pragma once
// The rename list and the filling of it.
//
// affiche_nom appends one file to the list and gives it its new name from the
// naming options; update_names rebuilds every row in list order. Besides the
// options, the list keeps the window's counter fields as typed (start, step,
// passes), the automatic refresh, the table of identical names, and the busy
// flag that keeps update_names from re-entering itself while pending events run.

#include "core/engine/NameComputer.h"
#include "core/engine/NamingOptions.h"
#include "core/engine/NewNamePath.h"
#include "core/engine/Normalise.h"
#include "core/filelist/RenameListModel.h"

#include <QObject>
#include <QSet>
#include <QStringList>

#include <optional>

namespace tav {

class RenameList : public QObject {
    Q_OBJECT
public:
    explicit RenameList(QObject *parent = nullptr);
    ~RenameList() override;

    RenameListModel *model() const { return m_model; }

    // The naming options. Changing them recomputes nothing: call update_names.
    // A reference they give for a change serves until the next name is made.
    const NamingOptions &options() const { return m_options; }
    NamingOptions &options() {
        m_optionsTouched = true;
        return m_options;
    }
    // Every option; the counter fields take the rule's start ("#" for the
    // continue mode) and step.
    void setOptions(const NamingOptions &options);
    const Rule &rule() const { return m_options.rule; }
    Rule &rule() {
        m_optionsTouched = true;
        return m_options.rule;
    }
    void setRule(const Rule &rule);
    void setPattern(const QString &pattern) {
        m_optionsTouched = true;
        m_options.rule.Regle = pattern;
    }

    // The counter fields as the window shows them.
    const QString &txtDebut() const { return m_txtDebut; }
    void setTxtDebut(const QString &text) {
        m_optionsTouched = true;
        m_txtDebut = text;
    }
    const QString &txtPas() const { return m_txtPas; }
    void setTxtPas(const QString &text) {
        m_optionsTouched = true;
        m_txtPas = text;
    }
    // The counter continues the numbers already in the destination folder.
    bool isContinueMode() const { return tav::isContinueMode(m_txtDebut, m_options.rule.DebutPas); }
    const QString &passCountText() const { return m_passCount; } // txtNbPasse
    void setPassCountText(const QString &text) { m_passCount = text; }
    bool autoRefresh() const { return m_autoRefresh; } // chkRefresh
    void setAutoRefresh(bool on) { m_autoRefresh = on; }

    // Null: every record is empty. Not owned.
    void setMetadataSource(MetadataSource *source) { m_computer.setMetadataSource(source); }
    // The files about to be added, for the metadata source to read in one batch.
    void expect(const QStringList &paths) const { m_computer.expect(paths); }
    // The clock of the current-date tokens.
    void setClock(NameComputer::Clock clock) { m_computer.setClock(std::move(clock)); }

    bool isBusy() const { return m_busy; }

    // Appends a row for the file at path and computes its new name. Returns
    // true only when the replace-by-position operator has no usable position,
    // which tells the caller to stop adding.
    bool affiche_nom(const QString &path);

    // The same for the files of one folder (names without "/"), in order:
    // what affiche_nom would do for each one's path.
    bool addFolderFiles(const QString &folder, const QStringList &names);

    // Recomputes every row in list order; returns at once while a
    // recomputation runs.
    void update_names();

    // Empties the list and forgets the names given so far.
    void clearList();

    // The new names may be older than the options or the list: the automatic
    // refresh was off when they changed, or the options changed since the
    // last recomputation.
    bool namesStale() const;
    // Recomputes every row when the names are stale, even with the automatic
    // refresh off (a rename must never use stale names).
    void refreshStale();

    // Message 19 with the row count.
    QString countLabelText() const;

    // The new name of the file at path as if its row stood at position
    // (1-based), without touching the list or the identical-names table.
    NameComputer::Result computeNewName(const QString &path, int position);

signals:
    void countLabelChanged(const QString &text);
    // No new name could be made for the file at path (its row says why too).
    void nameNotMade(const QString &path, const QString &reason);

private:
    // The options the computer works with: the counter's start and step read
    // from the fields as they are now.
    NamingOptions effectiveOptions() const;
    NameComputer::Result compute(const QString &path, const QString &oldName, const QString &folder, int position);
    // Rebuilds the rows until no change of the options or of the list came
    // while events ran.
    void rebuildUntilSettled();
    // False when the list changed while events ran: the rows keep their names.
    bool rebuildRows();
    void addDeferred();
    // The identical-names step, applied once the result is known to be kept.
    void numberIdentical(NameComputer::Result &c);
    // affiche_nom; split, when given, takes the folder and the name the
    // path helpers cut the path into.
    bool addPath(const QString &path, std::optional<PathParts> *split);
    void noteFirstRow();
    // A null path stands for folder + "/" + oldName.
    bool appendAndCompute(const QString &path, const QString &folder, const QString &oldName);
    // What a row is to show for one file at position (1-based).
    struct RowName {
        enum { Named, Failed, Moved, Stop } outcome = Failed;
        QString newName, problem;
        bool makesFolders = false;
    };
    // Moved when layout is given and the list's layout is no longer it once
    // the name is made (the continue mode lets events run meanwhile).
    RowName nameFile(const QString &path, const QString &folder, const QString &oldName, int position,
                     std::optional<quint64> layout);
    void reportFailure();

    RenameListModel *m_model;
    NamingOptions m_options;
    NameComputer m_computer;
    QString m_txtDebut = QStringLiteral("1");
    QString m_txtPas = QStringLiteral("1");
    bool m_autoRefresh = true;
    QString m_passCount = QStringLiteral("0");

    struct Reading {
        QString text;
        CounterField field;
    };
    mutable Reading m_start, m_step; // the counter fields last read
    // What the computer's options were last made from.
    struct Given {
        NamingOptions options;
        QString start, step;
    };
    std::optional<Given> m_given;
    // The options or the counter fields were handed out for a change, or
    // set, since m_given was last compared with them.
    bool m_optionsTouched = true;

    IdenticalNames m_identical;
    bool m_busy = false;
    // While update_names runs: the errors already shown, so that one fault
    // does not open a box per file.
    QSet<QString> m_reported;
    QStringList m_deferred;      // affiche_nom calls that came during update_names
    bool m_refreshAsked = false; // update_names was called while it ran
    bool m_stale = false;        // a recomputation was skipped (automatic refresh off)
    bool m_forceRefresh = false; // refreshStale runs: the automatic refresh does not matter
    NamingOptions m_namedWith;   // the options of the last recomputation
};

} // namespace tav
