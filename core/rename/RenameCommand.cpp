#include "core/rename/RenameCommand.h"

#include "core/base/FrontEnd.h"
#include "core/base/Trap.h"
#include "core/engine/NewNamePath.h"
#include "core/engine/Normalise.h"
#include "core/filelist/RenameList.h"
#include "core/filelist/RenameListModel.h"
#include "core/i18n/Language.h"
#include "core/rename/FolderRules.h"
#include "core/rename/RenameHistory.h"
#include "core/rename/RenameJournal.h"
#include "core/rename/RenameTexts.h"
#include "core/settings/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <limits>
#include <optional>
#include <utility>

namespace tav {

namespace {

struct Busy {
    bool &flag;
    explicit Busy(bool &f) : flag(f) { flag = true; }
    ~Busy() { flag = false; }
};

bool g_running = false;

class RenameRun {
public:
    RenameRun(RenameList &engine, Settings &settings, const RenameCallbacks &cb, RenameReport &report)
        : m_engine(engine), m_settings(settings), m_cb(cb), m_report(report) {}

    void run();
    bool windowDisabled = false;

private:
    void finish();
    bool askCounterWidth(int n);
    void afterRenameOptions(int n);
    void reportFailures(const RenameBatch &batch);
    void anotherPass(const RenameBatch &batch);
    void removeMarkers();
    QString makeFolder(const QString &folder, QSet<QString> &made, QStringList &createdFolders);
    QList<RenameItem> buildItems(QStringList &createdFolders);
    void switchOff();
    void switchOn();
    bool review(const RenameBatch &batch, const QList<RenameItem> &items);
    bool runBatch(RenameBatch &batch, const QList<RenameItem> &items, QString &journalError);
    void afterBatch(const RenameBatch &batch, int n);
    void tellThumbnails();

    RenameList &m_engine;
    Settings &m_settings;
    const RenameCallbacks &m_cb;
    RenameReport &m_report;
    RenamedFiles m_renamed;
};

void RenameRun::finish() {
    if (m_cb.updateTitle)
        m_cb.updateTitle();
}

bool RenameRun::askCounterWidth(int n) {
    const QString &rule = m_engine.rule().Regle;
    const int h = static_cast<int>(rule.count(QLatin1Char('#')));
    // In the continue mode the numbers follow the files already in each
    // folder: nothing to foresee here.
    if (h == 0 || m_engine.isContinueMode())
        return true;
    const qint32 start = readCounterStart(m_engine.txtDebut());
    const qint16 step = readCounterStep(m_engine.txtPas());
    const CounterWidth cw = counterWidth(h, n, start, step);
    if (cw.digitsNeeded == 0)
        return true;
    QString largest(h, QLatin1Char('9'));
    const QString text = i18n::Message(32, QString::number(h), largest) +
                         i18n::Message(33, QString::number(cw.lastValue), QString::number(cw.digitsNeeded)) +
                         QStringLiteral("\r\n") + i18n::Message(34);
    return frontEnd().msgBox(text, StyleYesNo + StyleInformation, i18n::Message(1)) == AnswerYes;
}

void RenameRun::afterRenameOptions(int n) {
    Rule &rule = m_engine.rule();
    if (m_settings.RegleApresRenommage == 0) {
        m_engine.setPattern(QString());
        m_settings.regle.Regle.clear();
    }
    if (m_settings.RegleDebutApresRenommage == 0) {
        m_engine.setTxtDebut(QString::number(m_settings.RegleDebutResetRenommage));
    } else if (m_settings.RegleDebutApresRenommage == 2 && !m_engine.isContinueMode()) {
        const qint64 next = qint64(rule.DebutPas) + qint64(rule.Pas) * n;
        m_engine.setTxtDebut(QString::number(next));
    }
    if (m_settings.RegleDebutApresRenommage == 0 ||
        (m_settings.RegleDebutApresRenommage == 2 && !m_engine.isContinueMode())) {
        rule.DebutPas = readCounterStart(m_engine.txtDebut());
        m_settings.regle.DebutPas = rule.DebutPas;
    }
    if (m_settings.ReglePasApresRenommage == 0) {
        m_engine.setTxtPas(QString::number(m_settings.ReglePasResetRenommage));
        rule.Pas = readCounterStep(m_engine.txtPas());
        m_settings.regle.Pas = rule.Pas;
    }
    if (m_cb.fieldsChanged)
        m_cb.fieldsChanged();
}

void RenameRun::reportFailures(const RenameBatch &batch) {
    // Blocked entries were shown in the review; what failed on the way is news.
    QList<ReviewEntry> failed;
    for (qsizetype i = 0; i < batch.size(); ++i)
        if (batch.outcome(i).status == RenameStatus::Failed)
            failed.append({batch.item(i).oldPath(), batch.item(i).newPath(), batch.outcome(i).reason});
    if (failed.isEmpty())
        return;
    constexpr int Shown = 25;
    QString text = renameText("NotRenamed", "%s files could not be renamed and stay in the list:|",
                              QString::number(failed.size()));
    text += describeProblems(failed.mid(0, Shown));
    if (failed.size() > Shown)
        text +=
            QStringLiteral("\r\n") + renameText("AndMore", "... and %s more.", QString::number(failed.size() - Shown));
    frontEnd().msgBox(text, StyleExclamation, i18n::Message(2));
}

void RenameRun::anotherPass(const RenameBatch &batch) {
    const qint32 passes = qint32(readCounterField(m_engine.passCountText(), std::numeric_limits<qint32>::min(),
                                                  std::numeric_limits<qint32>::max()));
    if (passes < 1)
        return;
    m_engine.setPassCountText(QString::number(passes - 1));
    if (m_cb.fieldsChanged)
        m_cb.fieldsChanged();
    RenameListModel *list = m_engine.model();
    for (qsizetype i = 0; i < batch.size(); ++i) {
        // Only a file that now has its new name is back in the list: the
        // others are still listed under their old name.
        if (batch.outcome(i).status != RenameStatus::Renamed)
            continue;
        const RenameItem &item = batch.item(i);
        if (list->containsOldName(item.newName))
            continue;
        if (m_engine.affiche_nom(item.newPath()))
            return;
    }
    if (m_cb.countLabel)
        m_cb.countLabel(m_engine.countLabelText());
}

// Markers: files never renamed and files of a type the rule does not select.
void RenameRun::removeMarkers() {
    RenameListModel *list = m_engine.model();
    const QString never = i18n::Message(91);
    const QString notSelected = i18n::Message(97);
    QList<int> markers;
    for (int i = 0; i < list->count(); ++i) {
        const QString &s = list->entry(i).newName;
        if (!s.isEmpty() && (s == never || s == notSelected))
            markers << i;
    }
    if (!markers.isEmpty())
        list->removeRowList(markers);
}

// The folders a folder pattern asks for, made now (each synced in its parent
// before anything moves into it); they stay even when the user then cancels.
// Empty, or why the folder cannot be made.
QString RenameRun::makeFolder(const QString &folder, QSet<QString> &made, QStringList &createdFolders) {
    if (made.contains(folder))
        return QString();
    const QStringList missing = history::missingFolders(folder);
    QString problem = newFoldersProblem(missing);
    if (problem.isEmpty() && !missing.isEmpty()) {
        const int e = makeFoldersSynced(folder);
        if (e != 0)
            problem = renameText("NoFolder", "The folder %s cannot be created.", folder) + QLatin1Char(' ') +
                      systemErrorText(e);
    }
    if (problem.isEmpty()) {
        made.insert(folder);
        createdFolders += missing;
    }
    return problem;
}

void RenameRun::switchOff() {
    frontEnd().objetOnOff(false, false, true);
    windowDisabled = true;
}

void RenameRun::switchOn() {
    frontEnd().objetOnOff(true, false, false);
    windowDisabled = false;
}

// Old and new paths of the list's entries.
QList<RenameItem> RenameRun::buildItems(QStringList &createdFolders) {
    RenameListModel *list = m_engine.model();
    const int n = list->count();
    QList<RenameItem> items;
    items.reserve(n);
    QSet<QString> folders;
    // The items of a folder share its string (with its "/"); the names are
    // the rows' own strings.
    QString folder, folderText;
    for (int i = 0; i < n; ++i) {
        if ((i & 255) == 0) {
            frontEnd().progressStep(i + 1);
            frontEnd().processEvents();
        }
        const FileEntry &e = list->entry(i);
        if (folder.isNull() || e.folder != folderText) {
            folderText = e.folder;
            folder = e.folder + QLatin1Char('/');
        }
        RenameItem item;
        if (e.makesFolders || e.newName.contains(QLatin1Char('/'))) {
            item = RenameItem(folder + e.oldName, destinationPath(e));
            item.oldFolder = folder;
            if (item.newFolder == folder)
                item.newFolder = folder;
        } else {
            item.oldFolder = folder;
            item.newFolder = folder;
            item.newName = e.newName;
        }
        item.oldName = e.oldName;
        // The engine checks the names it makes; a name set any other way is
        // checked here, so that no "/" or ".." can lead a file elsewhere.
        item.problem = e.nameProblem;
        if (item.problem.isEmpty())
            item.problem = newNameProblem(e.newName, e.makesFolders);
        if (item.problem.isEmpty() && e.makesFolders)
            item.problem = makeFolder(QFileInfo(item.newPath()).path(), folders, createdFolders);
        items.append(item);
    }
    return items;
}

// The review of the blocked entries; false when the user cancels.
bool RenameRun::review(const RenameBatch &batch, const QList<RenameItem> &items) {
    const int blocked = batch.blockedCount();
    if (blocked == 0)
        return true;
    const QString suffix = QStringLiteral(" (%1 / %2)").arg(blocked).arg(batch.size());
    if (frontEnd().reviewBlocked(batch.blockedEntries(), suffix))
        return true;
    m_report.cancelled = true;
    m_report.items = items;
    for (qsizetype i = 0; i < batch.size(); ++i)
        m_report.lines.append(
            {batch.outcome(i).status == RenameStatus::Blocked ? RenameStatus::Blocked : RenameStatus::Pending,
             batch.outcome(i).reason});
    return false;
}

// The two phases, with the window's progress and the rows of the renamed
// files leaving the list together once the batch is over (one removal, not
// one per file), also when a hook failed. False when nothing could start.
bool RenameRun::runBatch(RenameBatch &batch, const QList<RenameItem> &items, QString &journalError) {
    RenameListModel *list = m_engine.model();
    frontEnd().progressStart(2 * int(batch.size()));

    RenameBatch::Hooks hooks;
    hooks.progress = [](int step) { frontEnd().progressStep(step); };
    hooks.events = [] { frontEnd().processEvents(); };
    hooks.stop = m_cb.stopRequested;
    // The files moved are noted by index: the thumbnails take them together
    // once the batch is over.
    m_renamed.items = items;
    hooks.renamed = [&](qsizetype i) {
        m_renamed.moved.append(i);
        if (m_settings.NombreFichierRenomme < std::numeric_limits<qint32>::max())
            ++m_settings.NombreFichierRenomme;
    };
    auto removeRenamedRows = [&] {
        QList<int> rows;
        for (qsizetype i = 0; i < batch.size(); ++i)
            if (batch.outcome(i).status == RenameStatus::Renamed)
                rows.append(static_cast<int>(i));
        list->removeRowList(rows);
    };
    bool ran = false;
    try {
        ran = batch.run(hooks, &journalError);
    } catch (...) {
        removeRenamedRows();
        // The failure of the batch is the one reported.
        try {
            tellThumbnails();
        } catch (...) {
        }
        throw;
    }
    removeRenamedRows();
    frontEnd().processEvents();
    return ran;
}

void RenameRun::run() {
    removeMarkers();
    const QString &rule = m_engine.rule().Regle;
    if (rule.isEmpty()) {
        frontEnd().msgBox(i18n::Message(37), StyleInformation, i18n::Message(2));
        finish();
        return;
    }
    const int n = m_engine.model()->count();
    if (n == 0 || rule.trimmed().isEmpty()) {
        finish();
        return;
    }
    if (!askCounterWidth(n)) {
        m_report.cancelled = true;
        return;
    }

    // The window's commands go off before the batch is built: its events run
    // while the items are made and checked, and nothing may change the list
    // under them meanwhile. The stop button is on from here.
    switchOff();
    frontEnd().progressStart(5 * n);
    frontEnd().progressText(
        i18n::getText(QStringLiteral("MSG"), QStringLiteral("m122"), QStringLiteral("Preparing the rename…")));
    QStringList createdFolders; // for the history: the undo removes them once empty
    const QList<RenameItem> items = buildItems(createdFolders);
    RenameBatch batch(items);
    RenameBatch::Hooks preparing;
    preparing.progress = [n](int step) { frontEnd().progressStep(n + step); };
    preparing.events = [] { frontEnd().processEvents(); };
    batch.prepare(preparing);
    frontEnd().progressText(QString());
    m_report.total = n;
    // A stop asked meanwhile skips the review: the batch stops before its first file.
    const bool stopAsked = m_cb.stopRequested && m_cb.stopRequested();
    if (!stopAsked && !review(batch, items)) {
        frontEnd().progressEnd();
        switchOn();
        finish();
        return;
    }

    // A large batch's history is made on a second thread while it runs.
    std::optional<history::LinesAhead> historyAhead;
    if (m_settings.TailleHistorique > 0 && batch.size() >= RenameBatch::AidedSize)
        historyAhead.emplace(batch);
    QString journalError;
    const bool ran = runBatch(batch, items, journalError);
    m_report.started = ran;
    m_report.items = items;
    m_report.lines.reserve(batch.size());
    for (qsizetype i = 0; i < batch.size(); ++i)
        m_report.lines.append({batch.outcome(i).status, batch.outcome(i).reason});
    m_report.renamed = batch.renamedCount();
    // Each pass is a batch of its own in the history.
    if (m_report.renamed > 0)
        m_report.historyId = history::record(batch, createdFolders, m_settings.TailleHistorique, 0, nullptr,
                                             historyAhead ? &*historyAhead : nullptr);
    frontEnd().processEvents();
    tellThumbnails();

    if (!ran) {
        frontEnd().progressEnd();
        switchOn();
        m_report.error = journalError;
        frontEnd().msgBox(renameText("NothingRenamed", "Nothing was renamed:|%s", journalError), StyleExclamation,
                          i18n::Message(2));
        finish();
        return;
    }
    afterBatch(batch, n);
}

void RenameRun::tellThumbnails() {
    if (m_cb.thumbnailsRenamed && !m_renamed.moved.isEmpty())
        m_cb.thumbnailsRenamed(std::exchange(m_renamed, {}));
}

void RenameRun::afterBatch(const RenameBatch &batch, int n) {
    m_report.stopped = batch.stopped();
    if (!batch.stopped())
        afterRenameOptions(n);

    frontEnd().progressEnd();
    switchOn();
    // What the window does with a large batch's end takes a while: its events
    // run between the steps.
    frontEnd().processEvents();
    if (m_cb.countLabel)
        m_cb.countLabel(m_engine.countLabelText());
    frontEnd().processEvents();
    if (m_cb.refreshFolderList)
        m_cb.refreshFolderList();
    frontEnd().processEvents();
    reportFailures(batch);

    if (!batch.stopped())
        anotherPass(batch);
    finish();
}

} // namespace

CounterWidth counterWidth(int hashes, qint64 files, qint64 start, qint64 step) {
    CounterWidth cw;
    cw.lastValue = start + step * (files - 1);
    if (hashes >= 18)
        return cw;
    qint64 limit = 1;
    for (int i = 0; i < hashes; ++i)
        limit *= 10;
    if (cw.lastValue < limit)
        return cw;
    int w = hashes;
    while (w < 18 && limit <= cw.lastValue) {
        limit *= 10;
        ++w;
    }
    cw.digitsNeeded = w;
    return cw;
}

bool renameRunning() {
    return g_running;
}

RenameReport cmdRenommer_Click(RenameList &engine, Settings &settings, const RenameCallbacks &callbacks) {
    RenameReport report;
    if (g_running)
        return report; // the window's commands are off while a batch runs
    Busy busy(g_running);
    RenameRun run(engine, settings, callbacks, report);
    try {
        run.run();
    } catch (...) {
        int number = 0;
        QString description;
        currentError(number, description);
        if (run.windowDisabled) {
            frontEnd().progressEnd();
            frontEnd().objetOnOff(true, false, false);
        }
        report.error = description;
        reportError(number, description, RenameProcedure);
    }
    return report;
}

} // namespace tav
