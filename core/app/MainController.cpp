#include "core/app/MainController.h"

#include "core/base/FrontEnd.h"
#include "core/base/NaturalOrder.h"
#include "core/base/Trap.h"
#include "core/base/Version.h"
#include "core/base/Wildcard.h"
#include "core/engine/NewNamePath.h"
#include "core/engine/Normalise.h"
#include "core/engine/Operators.h"
#include "core/engine/Validation.h"
#include "core/i18n/Language.h"
#include "core/rename/RenameCommand.h"
#include "core/rename/RenameHistory.h"
#include "core/rename/RenameJournal.h"
#include "core/settings/SavedRuleCommands.h"
#include "core/settings/SavedRules.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QQueue>
#include <QSet>

namespace tav {

namespace {
const QString Form = QStringLiteral(" (Feuille frmMain)");
QString proc(const char *name) {
    return QString::fromLatin1(name) + Form;
}
// A numbered message above the first hundred, with its English text where the
// language file lacks it.
QString laterMessage(int n, const char *fallback, const QString &p1 = QString(), const QString &p2 = QString()) {
    return i18n::getText(QStringLiteral("MSG"), QStringLiteral("m%1").arg(n), QString::fromUtf8(fallback), p1, p2);
}
} // namespace

MainController::MainController(Settings &settings, QObject *parent) : QObject(parent), m_settings(settings) {
    connect(&m_list, &RenameList::countLabelChanged, this, &MainController::countLabelChanged);
}

MainController::~MainController() = default;

void MainController::loadFromSettings() {
    const Settings &s = m_settings;
    m_list.setRule(s.regle);
    m_list.options().takeSettings(s);
    m_list.setAutoRefresh(s.MettreAJour != 0);
    m_ruleText = s.regle.Regle;
    m_lastValidated = s.regle.Regle;
    showRuleCheck(patternCheckText(checkPattern(m_ruleText)));
    emit ruleFieldsChanged();
    emit commentLabelChanged(commentLabel());
    emit savedRulesChanged(savedRules::savedRulePatterns(s));
}

void MainController::storeIntoSettings() {
    Settings &s = m_settings;
    s.regle = m_list.rule();
    s.MettreAJour = m_list.autoRefresh() ? 1 : 0;
}

void MainController::applyOptions(bool recompute) {
    m_list.options().takeSettings(m_settings);
    if (recompute)
        trap(proc("update_names"), [&] { m_list.update_names(); });
}

void MainController::languageChanged(const QString &oldNeverRenamed, const QString &oldNotSelected,
                                     const QString &oldNoComment) {
    RenameListModel *list = m_list.model();
    const QString never = i18n::Message(91);
    const QString notSelected = i18n::Message(97);
    for (int i = 0; i < list->count(); ++i) {
        const FileEntry &e = list->entry(i);
        if (!e.newName.isEmpty() && e.newName == oldNeverRenamed)
            list->setNewName(i, never);
        else if (!e.newName.isEmpty() && e.newName == oldNotSelected)
            list->setNewName(i, notSelected);
    }
    if (m_list.rule().Commentaire == oldNoComment)
        m_list.rule().Commentaire = i18n::Message(95);
    m_ruleCheck.clear();
    showRuleCheck(patternCheckText(checkPattern(m_ruleText)));
    // Month names follow the interface language.
    if (m_list.options().locale != QLocale()) {
        m_list.options().locale = QLocale();
        recomputeAll();
    }
    emit list->headerDataChanged(Qt::Horizontal, 0, RenameListModel::ColumnCount - 1);
    emit titleChanged(titleText());
    emit countLabelChanged(countLabelText());
    emit commentLabelChanged(commentLabel());
}

// --- The rule box ----------------------------------------------------------------

void MainController::ruleFocusIn(const QString &text) {
    m_pendingChange = QDateTime();
    m_ruleTextAtFocus = text;
    m_ruleText = text;
}

void MainController::ruleTextChanged(const QString &text) {
    m_ruleText = text;
    m_pendingChange = now();
}

void MainController::ruleKeyTyped(int code) {
    if (code >= 32)
        ++m_caret;
    else if (code == 8 && m_caret > 0)
        --m_caret;
}

void MainController::caretTick(int caretPosition) {
    m_caret = caretPosition;
}

bool MainController::updateTick() {
    if (!m_pendingChange.isValid())
        return false;
    // Whole seconds, absolute difference.
    const qint64 seconds = std::llabs(m_pendingChange.secsTo(now()));
    if (seconds < 1)
        return false;
    m_pendingChange = QDateTime();
    cboRenommer_Change();
    return true;
}

void MainController::ruleFocusOut(const QString &text) {
    m_ruleText = text;
    if (m_pendingChange.isValid() && text != m_ruleTextAtFocus)
        cboRenommer_Change();
    m_pendingChange = QDateTime();
}

void MainController::showRuleCheck(const QString &text) {
    if (text == m_ruleCheck)
        return;
    m_ruleCheck = text;
    emit ruleCheckChanged(text);
}

bool MainController::cboRenommer_Change(Checks checks) {
    if (!m_updatesEnabled)
        return false;
    bool passed = false;
    trap(proc("cboRenommer_Change"), [&] {
        const PatternCheck check = checkPattern(m_ruleText);
        showRuleCheck(patternCheckText(check));
        if (checks == Checks::Boxes)
            showPatternCheck(check);
        if (!check.passes())
            return;
        m_list.setPattern(m_ruleText);
        m_lastValidated = m_ruleText;
        m_list.update_names();
        passed = true;
    });
    return passed;
}

QString MainController::tokenOfCaption(const QString &caption) {
    const int cut = caption.indexOf(QStringLiteral(" :"));
    return cut < 0 ? caption : caption.left(cut);
}

void MainController::insertToken(int labelIndex, const QString &caption) {
    const QString token = tokenOfCaption(caption);
    if (labelIndex == 31) {
        m_ruleText = token;
        m_caret = int(token.size());
    } else {
        const int c = std::clamp(m_caret, 0, int(m_ruleText.size()));
        m_ruleText = m_ruleText.left(c) + token + m_ruleText.mid(c);
        m_caret = c + int(token.size());
    }
    m_pendingChange = QDateTime();
    emit ruleTextSet(m_ruleText, m_caret);
    cboRenommer_Change();
}

void MainController::cmdRepPos_Click(int optRepPos, const QStringList &txtRepPos, int optRepPosDebutFin,
                                     const QString &txtRemplacerPos) {
    trap(proc("cmdRepPos_Click"), [&] {
        m_ruleText = cmdRepPosText(optRepPos, txtRepPos, optRepPosDebutFin, txtRemplacerPos);
        m_caret = int(m_ruleText.size());
        m_pendingChange = QDateTime();
        emit ruleTextSet(m_ruleText, m_caret);
    });
    cboRenommer_Change();
}

void MainController::cmdRepStr_Click(const QString &search, const QString &replacement, int optRepStr) {
    std::optional<QString> text;
    trap(proc("cmdRepStr_Click"), [&] { text = cmdRepStrText(search, replacement, optRepStr); });
    if (text)
        writeRule(*text);
}

void MainController::writeRule(const QString &text) {
    m_ruleText = text;
    m_caret = int(m_ruleText.size());
    m_pendingChange = QDateTime();
    emit ruleTextSet(m_ruleText, m_caret);
    cboRenommer_Change();
}

// --- Rule options ------------------------------------------------------------------

void MainController::recomputeAll() {
    if (m_updatesEnabled && !renameRunning())
        trap(proc("update_names"), [&] { m_list.update_names(); });
}

void MainController::setTrim(bool on) {
    m_list.rule().EffaceEspace = on ? 1 : 0;
    recomputeAll();
}

void MainController::setUpperFirstChar(bool on) {
    m_list.rule().PremierCaractereEnMajuscule = on ? 1 : 0;
    recomputeAll();
}

void MainController::setUpperEachWord(bool on) {
    m_list.rule().PremierCaractereEnMajusculePourChaqueMot = on ? 1 : 0;
    recomputeAll();
}

void MainController::setAutoIncrement(bool on) {
    m_list.rule().IncrementeFichierIdentique = on ? 1 : 0;
    recomputeAll();
}

void MainController::setForbidden(bool on) {
    m_list.rule().RemplacerCaractereInterdit = on ? 1 : 0;
    recomputeAll();
}

void MainController::setExtensionChecked(bool on) {
    m_list.rule().ModifieExtension = on ? 1 : 0;
    recomputeAll();
}

void MainController::setExtensionText(const QString &text) {
    m_list.rule().ModifieExtensionValeur = text;
    if (m_list.rule().ModifieExtension != 0)
        recomputeAll();
}

void MainController::setCaseOption(int index) {
    m_list.options().caseOption = static_cast<CaseOption>(std::clamp(index, 0, 2));
    recomputeAll();
}

void MainController::setAutoRefresh(bool on) {
    m_list.setAutoRefresh(on);
    m_settings.MettreAJour = on ? 1 : 0;
    if (on)
        recomputeAll();
}

QString MainController::txtDebut_LostFocus(const QString &text) {
    QString shown = text;
    trap(proc("txtDebut_LostFocus"), [&] {
        const CounterFieldCheck check = txtDebutLeave(text, m_list.rule().DebutPas);
        shown = check.text;
        m_list.setTxtDebut(check.text);
        if (check.store)
            m_list.rule().DebutPas = static_cast<std::int32_t>(check.value);
        if (check.recompute)
            recomputeAll();
    });
    return shown;
}

QString MainController::txtPas_LostFocus(const QString &text) {
    QString shown = text;
    trap(proc("txtPas_LostFocus"), [&] {
        const CounterFieldCheck check = txtPasLeave(text, m_list.rule().Pas);
        shown = check.text;
        m_list.setTxtPas(check.text);
        if (check.store)
            m_list.rule().Pas = static_cast<std::int16_t>(check.value);
        if (check.recompute)
            recomputeAll();
    });
    return shown;
}

QString MainController::txtNbPasse_LostFocus(const QString &text) {
    QString shown = text;
    trap(proc("txtNbPasse_LostFocus"), [&] {
        const CounterFieldCheck check = txtNbPasseLeave(text);
        shown = check.text;
        m_list.setPassCountText(check.text);
    });
    return shown;
}

// --- The rename list ---------------------------------------------------------------

int MainController::addFiles(const QStringList &paths, Presence presence) {
    if (m_actionRunning || renameRunning())
        return 0;
    int leftOut = 0;
    FrontEnd &fe = frontEnd();
    m_actionRunning = true;
    m_stopAction = false;
    fe.objetOnOff(false, true, false);
    emit actionRunningChanged(true);
    fe.progressStart(int(std::min<qsizetype>(paths.size(), INT_MAX)));
    RenameListModel *list = model();
    m_list.expect(paths);
    trap(QStringLiteral("affiche_nom"), [&] {
        int step = 0;
        for (const QString &path : paths) {
            fe.progressStep(++step);
            fe.processEvents();
            if (m_stopAction)
                break;
            const PathParts parts = splitPath(path);
            const bool present = presence == Presence::SameName ? list->containsOldName(parts.name)
                                                                : list->containsFile(parts.folder, parts.name);
            if (present) {
                ++leftOut;
                continue;
            }
            if (m_list.affiche_nom(path))
                break;
        }
    });
    emit countLabelChanged(m_list.countLabelText());
    fe.progressEnd();
    fe.objetOnOff(true, false, false);
    m_actionRunning = false;
    emit actionRunningChanged(false);
    return leftOut;
}

void MainController::cmdAdd_Click(const QString &folder, const QStringList &selectedNames) {
    QStringList paths;
    paths.reserve(selectedNames.size());
    for (const QString &n : selectedNames)
        paths << folder + QLatin1Char('/') + n;
    addFiles(paths, Presence::SameName);
}

void MainController::cmdAddAll_Click(const QString &folder, const QStringList &allNames) {
    QStringList paths;
    paths.reserve(allNames.size());
    for (const QString &n : allNames)
        paths << folder + QLatin1Char('/') + n;
    addFiles(paths, Presence::SameNameAndFolder);
}

void MainController::setDisplayFilter(const QString &filter) {
    m_settings.FiltreAffichage = filter;
}

namespace {

// The entries of a folder by name in natural order.
void sortEntriesNaturally(QFileInfoList &entries) {
    QStringList names;
    names.reserve(entries.size());
    for (const QFileInfo &e : std::as_const(entries))
        names << e.fileName();
    QFileInfoList sorted;
    sorted.reserve(entries.size());
    for (qsizetype i : naturalOrderOf(names))
        sorted << entries.at(i);
    entries = std::move(sorted);
}

// Walks root and its sub-folders breadth first and calls visit(entry) for
// every entry, each folder's in natural order or else in the order found;
// visit returns false to stop (walkTree then returns false). A folder reached
// through a link is walked like any other, each real folder once, so a
// looping link ends there.
template <class Visit> bool walkTree(const QString &root, bool natural, Visit visit) {
    QQueue<QString> queue;
    QSet<QString> seen;
    queue.enqueue(root);
    while (!queue.isEmpty()) {
        const QString folder = queue.dequeue();
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (real.isEmpty() || seen.contains(real))
            continue;
        seen.insert(real);
        QFileInfoList entries = QDir(folder).entryInfoList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::NoSort);
        if (natural)
            sortEntriesNaturally(entries);
        for (const QFileInfo &e : entries) {
            if (!visit(e))
                return false;
            if (e.isDir())
                queue.enqueue(e.filePath());
        }
    }
    return true;
}

} // namespace

int MainController::countMatchingFiles(const QString &root, bool useFilter) const {
    const NameFilter filter(m_settings.FiltreAffichage);
    int count = 0;
    walkTree(root, false, [&](const QFileInfo &e) {
        if (!e.isDir() && (!useFilter || filter.matches(e.fileName())))
            ++count;
        return true;
    });
    return count;
}

QStringList MainController::collectHierarchy(const QString &root, bool useFilter, bool skipListedNames, bool *stopped) {
    const NameFilter filter(m_settings.FiltreAffichage);
    QStringList candidates;
    walkTree(root, m_settings.OrdreNaturel != 0, [&](const QFileInfo &e) {
        frontEnd().processEvents();
        if (m_stopAction) {
            if (stopped)
                *stopped = true;
            return false;
        }
        if (!e.isDir() && (!useFilter || filter.matches(e.fileName())) &&
            !(skipListedNames && model()->containsOldName(e.fileName())))
            candidates << e.filePath();
        return true;
    });
    return candidates;
}

void MainController::mnuAddHieriachy_Click(const QString &root) {
    trap(QStringLiteral("mnuAddHieriachy_click"), [&] {
        const QString folder = QDir::cleanPath(root);
        // Nothing matches: nothing to ask about.
        const int count = countMatchingFiles(folder, true);
        if (count < 1)
            return;
        const int answer = frontEnd().msgBox(i18n::Message(52, QString::number(count)), 36, QStringLiteral("Message"));
        if (answer != AnswerYes)
            return;
        m_stopAction = false;
        bool stopped = false;
        const QStringList candidates = collectHierarchy(folder, true, false, &stopped);
        if (stopped)
            return;
        const int rowsBefore = model()->count();
        // Files whose name the list holds already (from another folder of
        // the tree, or from before) are left out: the user is told how many.
        const int leftOut = addFiles(candidates, Presence::SameName);
        if (leftOut > 0)
            frontEnd().msgBox(laterMessage(113,
                                           "%s file(s) added. %s file(s) left out: the list already holds a file of "
                                           "the same name.",
                                           QString::number(model()->count() - rowsBefore), QString::number(leftOut)),
                              StyleInformation, i18n::Message(1));
    });
}

void MainController::cmdDnD_Drop(const QStringList &paths) {
    trap(QStringLiteral("cmdDnD_OLEDragDrop"), [&] {
        QStringList files, folders;
        int total = 0;
        for (const QString &p : paths) {
            const QFileInfo info(p);
            if (!info.exists())
                continue;
            if (info.isDir()) {
                folders << QDir::cleanPath(p);
                total += countMatchingFiles(p, true);
            } else {
                files << QDir::cleanPath(p);
            }
        }
        if (!files.isEmpty())
            addFiles(files, Presence::SameNameAndFolder);
        if (folders.isEmpty() || total < 1)
            return;
        const int answer = frontEnd().msgBox(i18n::Message(59, QString::number(total), QString::number(folders.size())),
                                             36, QStringLiteral("Message"));
        if (answer != AnswerYes)
            return;
        m_stopAction = false;
        QStringList candidates;
        bool stopped = false;
        for (const QString &f : folders) {
            candidates += collectHierarchy(f, false, false, &stopped);
            if (stopped)
                return;
        }
        addFiles(candidates, Presence::SameNameAndFolder);
    });
}

QStringList MainController::openPaths(const QStringList &paths) {
    QStringList missing;
    trap(QStringLiteral("openPaths"), [&] {
        QStringList files;
        for (const QString &p : paths) {
            const QFileInfo info(p);
            if (!info.exists()) {
                missing << p;
            } else if (info.isDir()) {
                const QDir dir(p);
                QStringList names;
                if (m_settings.OrdreNaturel != 0) {
                    names = dir.entryList(QDir::Files, QDir::NoSort);
                    sortNaturally(names);
                } else {
                    names = dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
                }
                for (const QString &name : std::as_const(names))
                    files << QDir::cleanPath(dir.absoluteFilePath(name));
            } else {
                files << QDir::cleanPath(info.absoluteFilePath());
            }
        }
        if (!files.isEmpty())
            addFiles(files, Presence::SameNameAndFolder);
    });
    return missing;
}

void MainController::cmdDel_Click(const QList<int> &selectedRows) {
    if (selectedRows.isEmpty() || renameRunning())
        return;
    model()->removeRowList(selectedRows);
    recomputeAll();
    emit countLabelChanged(m_list.countLabelText());
}

void MainController::cmdClear_Click() {
    if (renameRunning())
        return;
    m_list.clearList();
    emit countLabelChanged(i18n::Message(19, QStringLiteral("0")));
}

QList<int> MainController::cmdUp_Click(const QList<int> &selectedRows) {
    QList<int> rows = selectedRows;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty() || rows.first() <= 0 || renameRunning())
        return rows;
    for (int &r : rows) {
        model()->swapRows(r, r - 1);
        --r;
    }
    recomputeAll();
    emit selectRows(rows);
    return rows;
}

QList<int> MainController::cmdDown_Click(const QList<int> &selectedRows) {
    QList<int> rows = selectedRows;
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty() || rows.first() >= model()->count() - 1 || renameRunning())
        return rows;
    for (int &r : rows) {
        model()->swapRows(r, r + 1);
        ++r;
    }
    recomputeAll();
    std::sort(rows.begin(), rows.end());
    emit selectRows(rows);
    return rows;
}

int MainController::dragRow(int from, int to) {
    const int n = model()->count();
    if (from < 0 || from >= n || to < 0 || from == to || renameRunning())
        return from;
    to = std::min(to, n - 1);
    model()->moveRow(from, to);
    recomputeAll();
    emit selectRows({to});
    return to;
}

void MainController::cmdStopAction_Click() {
    if (frontEnd().msgBox(i18n::Message(20), 36, QStringLiteral("Message")) == AnswerYes)
        m_stopAction = true;
}

// --- Saved rules -------------------------------------------------------------------

QString MainController::commentLabel() const {
    const Rule &r = m_list.rule();
    return savedRules::ecrireCommentaire(r.Commentaire, r.Extension);
}

void MainController::setComment(const QString &comment, const QString &fileTypes) {
    m_list.rule().Commentaire = comment;
    m_list.rule().Extension = fileTypes;
    emit commentLabelChanged(commentLabel());
    recomputeAll();
}

void MainController::cmdPrendrePlus_Click() {
    trap(proc("cmdPrendrePlus_Click"), [&] {
        // Saving acts on the pattern: what its check finds is told in a box,
        // and a pattern no file name can take is not saved.
        const PatternCheck check = checkPattern(m_ruleText);
        showPatternCheck(check);
        if (!check.passes())
            return;
        Rule current = m_list.rule();
        current.Regle = m_ruleText;
        if (savedRules::memorise(m_settings, current))
            emit savedRulesChanged(savedRules::savedRulePatterns(m_settings));
    });
}

void MainController::cmdPrendreMoins_Click() {
    trap(proc("cmdPrendreMoins_Click"), [&] {
        Rule current = m_list.rule();
        current.Regle = m_ruleText;
        if (savedRules::forget(m_settings, current)) {
            m_list.rule().Commentaire = current.Commentaire;
            m_list.rule().Extension = current.Extension;
            emit savedRulesChanged(savedRules::savedRulePatterns(m_settings));
            emit commentLabelChanged(commentLabel());
        }
    });
}

void MainController::cmdPrendreSupprimer_Click() {
    trap(proc("cmdPrendreSupprimer_Click"), [&] {
        Rule current = m_list.rule();
        if (savedRules::forgetAll(m_settings, current)) {
            m_list.rule().Commentaire = current.Commentaire;
            m_list.rule().Extension = current.Extension;
            emit savedRulesChanged(savedRules::savedRulePatterns(m_settings));
            emit commentLabelChanged(commentLabel());
        }
    });
}

void MainController::chooseSavedRule(const QString &pattern) {
    trap(proc("cboRenommer_Click"), [&] {
        Rule current = m_list.rule();
        const bool found = savedRules::chooseSavedRule(
            m_settings, pattern, current, [this](bool on) { m_updatesEnabled = on; },
            [this, &current, &pattern] {
                Rule applied = current;
                applied.Regle = m_list.rule().Regle;
                m_list.setRule(applied);
                m_ruleText = pattern;
                emit ruleFieldsChanged();
                emit commentLabelChanged(commentLabel());
                emit ruleTextSet(pattern, int(pattern.size()));
                // Counts as a change of the pattern: recomputed after the usual delay.
                m_pendingChange = now();
            });
        Q_UNUSED(found);
    });
}

// --- Rename -------------------------------------------------------------------------

void MainController::cmdRenommer_Click() {
    // A click let through while names are being computed would rename with
    // the names shown before the computation.
    if (m_actionRunning || m_list.isBusy())
        return;
    // A pattern still being typed is checked first: the batch must use what
    // the box shows, and a refused pattern renames nothing. What the check
    // found while the user typed is told now, in a box.
    m_pendingChange = {};
    if (m_ruleText != m_lastValidated) {
        if (!cboRenommer_Change(Checks::Boxes))
            return;
    } else {
        const PatternCheck check = checkPattern(m_ruleText);
        showPatternCheck(check);
        if (!check.passes())
            return;
    }
    // Names older than the rule, the options or the list (the automatic
    // refresh is off) are computed again before anything is reviewed.
    trap(proc("update_names"), [&] { m_list.refreshStale(); });
    if (m_list.namesStale())
        return;
    m_stopRename = false;
    const CounterBefore counter{0, m_list.txtDebut(), m_list.rule().DebutPas};
    RenameCallbacks callbacks;
    callbacks.updateTitle = [this] { emit titleChanged(titleText()); };
    callbacks.countLabel = [this](const QString &text) { emit countLabelChanged(text); };
    callbacks.fieldsChanged = [this] {
        m_ruleText = m_list.rule().Regle;
        m_lastValidated = m_ruleText;
        emit ruleFieldsChanged();
        emit ruleTextSet(m_ruleText, int(m_ruleText.size()));
    };
    callbacks.refreshFolderList = [this] { emit folderListChanged(); };
    callbacks.thumbnailsRenamed = m_thumbnailsRenamed;
    // The stop button (reachable while the batch lets window events run) sets the flag.
    callbacks.stopRequested = [this] { return m_stopRename; };
    m_lastRename = tav::cmdRenommer_Click(m_list, m_settings, callbacks);
    if (m_lastRename.historyId != 0) {
        m_counterBefore = counter;
        m_counterBefore.batch = m_lastRename.historyId;
    }
    emit renameFinished();
}

void MainController::cmdRenommerStop_Click() {
    if (frontEnd().msgBox(i18n::Message(20), 36, i18n::Message(1)) == AnswerYes)
        m_stopRename = true;
}

// --- Undo ---------------------------------------------------------------------------------

bool MainController::canUndo() const {
    return !history::list().isEmpty();
}

void MainController::cmdAnnulerRenommage_Click() {
    if (m_actionRunning || renameRunning())
        return;
    const QList<HistoryBatch> batches = history::list();
    if (batches.isEmpty()) {
        frontEnd().msgBox(undoMessage(MsgUndoNothing, "No rename to undo."), StyleInformation, i18n::Message(1));
        emit undoFinished();
        return;
    }
    const HistoryBatch &last = batches.last();
    const QString question =
        undoMessage(MsgUndoQuestion, "Put the %s files of the last rename (%s) back under their old names?",
                    QString::number(last.fileCount), QLocale().toString(last.time, QLocale::ShortFormat));
    if (frontEnd().msgBox(question, StyleYesNo + StyleQuestion, i18n::Message(1)) != AnswerYes)
        return;
    m_stopRename = false;
    UndoOptions options;
    options.id = last.id;
    options.keep = m_settings.TailleHistorique;
    options.stopRequested = [this] { return m_stopRename; };
    m_lastUndo = UndoReport();
    trap(proc("cmdAnnulerRenommage_Click"), [&] { m_lastUndo = undoBatch(options); });
    // Rows of the rename list for files the undo moved name files that are gone;
    // their thumbnails follow them back, as they followed the rename.
    QSet<QString> moved;
    RenamedFiles back;
    for (const UndoLine &l : m_lastUndo.lines)
        if (l.status == RenameStatus::Renamed) {
            moved.insert(l.fromPath);
            back.append(l.fromPath, l.toPath);
        }
    if (m_thumbnailsRenamed && !back.moved.isEmpty())
        m_thumbnailsRenamed(back);
    QList<int> gone;
    for (int row = 0; row < m_list.model()->count(); ++row)
        if (moved.contains(m_list.model()->entry(row).fullPath()))
            gone << row;
    if (!gone.isEmpty()) {
        m_list.model()->removeRowList(gone);
        emit countLabelChanged(countLabelText());
    }
    if (m_lastUndo.renamed > 0 && last.undoes == 0) {
        // The counter starts where it started for the rename undone, and the
        // files put back are in the list again, ready for another rule.
        if (m_counterBefore.batch == last.id) {
            m_list.setTxtDebut(m_counterBefore.txtDebut);
            m_list.rule().DebutPas = m_counterBefore.debutPas;
            m_settings.regle.DebutPas = m_counterBefore.debutPas;
            m_counterBefore = {};
            emit ruleFieldsChanged();
        }
        QStringList back;
        for (const UndoLine &l : m_lastUndo.lines)
            if (l.status == RenameStatus::Renamed)
                back << l.toPath;
        addFiles(back, Presence::SameNameAndFolder);
        recomputeAll(); // the rows already listed follow the counter put back
    }
    if (m_lastUndo.started && !m_lastUndo.stopped) {
        QList<ReviewEntry> failed;
        for (const UndoLine &l : m_lastUndo.lines)
            if (l.status == RenameStatus::Failed)
                failed.append({l.fromPath, l.toPath, l.reason});
        const QString done =
            undoMessage(MsgUndoDone, "%s file(s) put back under their old name.", QString::number(m_lastUndo.renamed));
        if (failed.isEmpty())
            frontEnd().msgBox(done, StyleInformation, i18n::Message(1));
        else
            frontEnd().msgBox(
                done + QStringLiteral("\r\n") +
                    undoMessage(MsgUndoPartly, "%s file(s) could not be put back:|", QString::number(failed.size())) +
                    describeProblems(failed),
                StyleExclamation, i18n::Message(2));
    } else if (!m_lastUndo.error.isEmpty()) {
        frontEnd().msgBox(m_lastUndo.error, StyleExclamation, i18n::Message(2));
    }
    emit folderListChanged();
    emit undoFinished();
}

// --- Window title and quitting ------------------------------------------------------------

QString MainController::titleText() const {
    return QStringLiteral("%1 v%2.%3.%4 - %5")
        .arg(QString::fromLatin1(ProgramTitle))
        .arg(VersionMajor)
        .arg(VersionMinor)
        .arg(VersionRevision)
        .arg(i18n::Message(77, QString::number(m_settings.NombreFichierRenomme)));
}

void MainController::quit(bool confirmed) {
    m_quitConfirmed = confirmed;
    if (!confirmed)
        return;
    storeIntoSettings();
    if (&m_settings == &tav::settings()) {
        modIniFile::SaveRegisterBase(true);
    } else {
        if (modIniFile::hooks().closeHelp)
            modIniFile::hooks().closeHelp();
        modIniFile::SaveIniFile(m_settings);
    }
}

} // namespace tav
