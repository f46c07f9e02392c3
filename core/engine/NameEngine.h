#pragma once
// The computation of new names and the rename list it fills.
//
// affiche_nom appends one file to the list and computes its new name from the
// current rule; update_names rebuilds every row in list order. The engine
// holds the rule and the window state that goes with it (counter texts, case
// option, automatic refresh, pass count), the settings the pattern language
// reads, the table of identical names, and the busy flag that keeps
// update_names from re-entering itself while pending events run.

#include "core/base/MetadataRecord.h"
#include "core/base/Rule.h"
#include "core/base/Wildcard.h"
#include "core/engine/Normalise.h"
#include "core/filelist/RenameListModel.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <functional>

namespace tav {

class NameEngine : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit NameEngine(QObject *parent = nullptr);
    ~NameEngine() override;

    RenameListModel *model() const { return m_model; }

    // The current rule. Changing it recomputes nothing: call update_names.
    const Rule &rule() const { return m_rule; }
    Rule &rule() { return m_rule; }
    // Sets every field; txtDebut and txtPas take the rule's start ("#" for
    // the continue mode) and step.
    void setRule(const Rule &rule);
    void setPattern(const QString &pattern) { m_rule.Regle = pattern; }

    // Window state that goes with the rule.
    const QString &txtDebut() const { return m_txtDebut; }
    void setTxtDebut(const QString &text) { m_txtDebut = text; }
    const QString &txtPas() const { return m_txtPas; }
    void setTxtPas(const QString &text) { m_txtPas = text; }
    bool extensionChecked() const { return m_rule.ModifieExtension != 0; } // chkExtension
    void setExtensionChecked(bool on) { m_rule.ModifieExtension = on ? 1 : 0; }
    const QString &extensionText() const { return m_rule.ModifieExtensionValeur; } // txtExtension
    void setExtensionText(const QString &text) { m_rule.ModifieExtensionValeur = text; }
    CaseOption caseOption() const { return m_case; } // optCasse
    void setCaseOption(CaseOption option) { m_case = option; }
    bool autoRefresh() const { return m_autoRefresh; } // chkRefresh
    void setAutoRefresh(bool on) { m_autoRefresh = on; }
    // The counter continues the numbers already in the destination folder.
    bool isContinueMode() const { return tav::isContinueMode(m_txtDebut, m_rule.DebutPas); }
    const QString &passCountText() const { return m_passCount; } // txtNbPasse
    void setPassCountText(const QString &text) { m_passCount = text; }

    // Settings read by the pattern language.
    int yearFormat() const { return m_yearFormat; } // 0 "yyyy", 1 "yy"
    void setYearFormat(int index) { m_yearFormat = index; }
    int monthFormat() const { return m_monthFormat; } // 0 "m", 1 "mm", 2 "mmm", 3 "mmmm"
    void setMonthFormat(int index) { m_monthFormat = index; }
    void setLocale(const QLocale &locale) { m_locale = locale; } // month names
    const QList<ForbiddenRow> &forbiddenTable() const { return m_forbidden; }
    void setForbiddenTable(const QList<ForbiddenRow> &table);
    const QStringList &neverRenamed() const { return m_neverRenamed; }
    void setNeverRenamed(const QStringList &names);
    // New names composed to NFC, after the forbidden characters.
    bool composeNfc() const { return m_composeNfc; }
    void setComposeNfc(bool on) { m_composeNfc = on; }
    // Null: every record is empty. Not owned.
    void setMetadataSource(MetadataSource *source) { m_metadata = source; }
    MetadataSource *metadataSource() const { return m_metadata; }
    // The clock of the current-date tokens (read once per file).
    void setClock(Clock clock);

    bool isBusy() const { return m_busy; }

    // Appends a row for the file at path and computes its new name. Returns
    // true only when the replace-by-position operator has no usable position,
    // which tells the caller to stop adding.
    bool affiche_nom(const QString &path);

    // Recomputes every row in list order; returns at once while a
    // recomputation runs.
    void update_names();

    // Empties the list and forgets the names given so far.
    void clearList();
    void resetIdenticalNames() { m_identical.reset(); }

    // Message 19 with the row count.
    QString countLabelText() const;

    // The new name of the file at path as if its row stood at position
    // (1-based), without touching the list or the identical-names table.
    struct Computed {
        QString newName;
        bool makesFolders = false;
        bool stop = false;   // replace-by-position without a usable position
        bool marker = false; // newName is a marker text (never renamed, type not selected)
    };
    Computed computeNewName(const QString &path, int position);

signals:
    void countLabelChanged(const QString &text);
    // A row got its new name; the view may scroll to it (not sent per row
    // while update_names rebuilds the whole list).
    void rowComputed(int row);

private:
    // Everything besides the file that decides a new name, to tell whether
    // it changed while a refresh let events run.
    struct Inputs {
        Rule rule;
        QString txtDebut, txtPas;
        CaseOption caseOption;
        int yearFormat, monthFormat;
        QList<ForbiddenRow> forbidden;
        QStringList neverRenamed;
        bool operator==(const Inputs &) const = default;
    };
    Inputs inputs() const;
    void rebuildRows();
    // The identical-names step, applied once the result is known to be kept.
    void numberIdentical(Computed &c);
    bool appendAndCompute(const QString &path, const QString &folder, const QString &oldName);
    // One new name, step by step, in the order the pattern language fixes.
    struct NameBuild {
        QString path, oldName, folder;
        QString name; // the name being built, from the pattern
        QString base, ext;
        bool folderPattern = false; // $MKDIR: name holds folder-level marks
        bool absolute = false;      // a folder pattern from the root
    };
    Computed compute(const QString &path, const QString &oldName, const QString &folder, int position);
    // Files never renamed and types the rule does not select get a marker
    // text (true); otherwise prepares the folder pattern, base name and extension.
    bool markerName(NameBuild &b, Computed &out);
    void replaceOldNameTokens(NameBuild &b) const;      // $N$, *
    void replaceClockTokens(NameBuild &b) const;        // $A$ $M$ $J$ $h$ $m$ $s$
    void replaceFileTokens(NameBuild &b) const;         // $P$, $t$, the modification date
    void replaceMetadataTokens(NameBuild &b) const;     // the Exif record
    bool applyOperators(NameBuild &b) const;            // $REPC, $REPP; true: no usable position
    void finishName(NameBuild &b, Computed &out) const; // options, extension, forbidden characters, levels
    QString applyCounter(const QString &name, const QString &folder, int position, bool folderPattern, bool absolute);
    qint64 continueModeHighest(const QString &folder, const QString &prefix, int width, const QString &suffix);
    // The Qt date formats of the year and month settings.
    QString yearPattern() const;
    QString monthPattern() const;
    // Digits in plain ASCII, month names in the locale's language.
    QString dateText(QDate date, const QString &pattern) const;
    QString yearText(const QString &year) const;
    QString monthText(const QString &month) const;
    void reportFailure();

    RenameListModel *m_model;
    Rule m_rule;
    QString m_txtDebut = QStringLiteral("1");
    QString m_txtPas = QStringLiteral("1");
    CaseOption m_case = CaseOption::Preserve;
    bool m_autoRefresh = true;
    QString m_passCount = QStringLiteral("0");

    int m_yearFormat = 0;
    int m_monthFormat = 1;
    QLocale m_locale;
    QList<ForbiddenRow> m_forbidden;
    ForbiddenCharReplacer m_replacer;
    bool m_composeNfc = false;
    QStringList m_neverRenamed;
    QSet<QString> m_neverRenamedSet;
    MetadataSource *m_metadata = nullptr;
    Clock m_clock;
    WildcardList m_typeFilter;

    std::pair<QString, qint64> m_parsedDebut, m_parsedPas; // last counter fields read
    IdenticalNames m_identical;
    bool m_busy = false;
    // While update_names runs: folder listings of the continue mode (the disk
    // does not change under one recomputation) and the errors already shown,
    // so that one fault does not open a box per file.
    QHash<QString, QStringList> m_folderCache;
    QSet<QString> m_reported;
    QStringList m_deferred;      // affiche_nom calls that came during update_names
    bool m_refreshAsked = false; // update_names was called while it ran
};

} // namespace tav
