#include "cli/RenameCli.h"

#include "cli/CliOutput.h"
#include "cli/StopSignals.h"
#include "core/base/FrontEnd.h"
#include "core/filelist/RenameList.h"
#include "core/rename/RenameCommand.h"
#include "core/rename/RenameHistory.h"
#include "core/rename/RenameJournal.h"
#include "core/rename/RenameTexts.h"
#include "core/settings/Settings.h"

#include <QSet>

#include <cstring>

namespace tav {

namespace {

// A reason as one line: the line breaks of a message become spaces (what is
// left of control characters is escaped when the record is written).
QString oneLine(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    return text;
}

QByteArray utf8(const QString &text) {
    return text.toUtf8();
}

const char *statusWord(RenameStatus s) {
    switch (s) {
    case RenameStatus::Renamed:
        return "renamed";
    case RenameStatus::Failed:
        return "failed";
    case RenameStatus::Stopped:
        return "stopped";
    default:
        return "blocked";
    }
}

} // namespace

QString notUtf8Reason() {
    return renameText("CliNotUtf8", "left alone: the path is not valid UTF-8");
}

int runCliRename(RenameList &engine, Settings &settings, const CliRenameOptions &options,
                 const QList<QByteArray> &leftAlone, RecordWriter &out) {
    if (!options.passes.isEmpty())
        engine.setPassCountText(options.passes);
    if (!pendingJournals().isEmpty())
        out.note(renameText("CliPending",
                            "An earlier rename was interrupted; travoline-cli --recover puts its files back."));

    // Ctrl+C or SIGTERM stops the batch between files while the files go to
    // their temporary names (they go back); later, the batch ends first.
    const StopSignals stopSignals;
    RenameCallbacks callbacks;
    callbacks.stopRequested = &StopSignals::requested;

    int renamed = 0, blocked = 0, failed = 0, stopped = 0;
    bool error = false, batchStopped = false, batchStarted = false;
    for (;;) {
        const QString passesBefore = engine.passCountText();
        const RenameReport report = cmdRenommer_Click(engine, settings, callbacks);
        batchStopped = batchStopped || report.stopped;
        batchStarted = batchStarted || report.started;
        QList<RenameItem> items = report.items;
        QList<RenameLine> lines = report.lines;
        if (lines.isEmpty() && report.cancelled) {
            // Declined before the batch was built: every listed file stays.
            for (const FileEntry &e : engine.model()->entries()) {
                items.append(RenameItem(e.fullPath(), QString()));
                lines.append({RenameStatus::Blocked, renameText("CliCancelled", "batch cancelled")});
            }
        }
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const RenameLine &l = lines.at(i); // (read only: the lists stay shared with the report)
            const RenameItem &item = items.at(i);
            const RenameStatus status = l.status == RenameStatus::Pending ? RenameStatus::Blocked : l.status;
            if (status == RenameStatus::Renamed) {
                out.record(statusWord(status), {item.oldFolder, item.oldName}, {item.newFolder, item.newName});
            } else {
                QString detail = oneLine(l.reason);
                if (detail.isEmpty())
                    detail = renameText("CliCancelled", "batch cancelled");
                out.record(statusWord(status), {item.oldFolder, item.oldName}, {detail});
            }
            renamed += status == RenameStatus::Renamed;
            blocked += status == RenameStatus::Blocked;
            failed += status == RenameStatus::Failed;
            stopped += status == RenameStatus::Stopped;
        }
        error = error || !report.error.isEmpty();
        if (StopSignals::requested())
            break; // no further pass
        // A further pass put the renamed files back in the list: rename them again.
        const bool anotherPass = report.started && passesBefore != engine.passCountText() && report.renamed > 0 &&
                                 engine.model()->count() > 0;
        if (!anotherPass)
            break;
        // Files that were not renamed stay listed; they were counted already.
        QSet<QString> notRenamed;
        for (qsizetype i = 0; i < report.lines.size(); ++i)
            if (report.lines[i].status != RenameStatus::Renamed)
                notRenamed.insert(report.items[i].oldPath());
        QList<int> stale;
        for (int row = 0; row < engine.model()->count(); ++row)
            if (notRenamed.contains(engine.model()->entry(row).fullPath()))
                stale << row;
        engine.model()->removeRowList(stale);
        if (engine.model()->count() == 0)
            break;
    }
    for (const QByteArray &path : leftAlone)
        out.record({"skipped", path, utf8(notUtf8Reason())});

    QString summary =
        renameText("CliSummary", "%s renamed", QString::number(renamed)) + QStringLiteral(", ") +
        renameText("CliSummaryOthers", "%s blocked, %s failed", QString::number(blocked), QString::number(failed));
    if (!leftAlone.isEmpty())
        summary +=
            QStringLiteral(", ") + renameText("CliSummarySkipped", "%s left alone", QString::number(leftAlone.size()));
    if (stopped > 0)
        summary += QStringLiteral(", ") + renameText("CliSummaryStopped", "%s stopped", QString::number(stopped));
    out.summary(summary);
    if (StopSignals::requested()) {
        const QString name = QString::fromLatin1(sigabbrev_np(StopSignals::received()));
        QString text;
        if (batchStopped)
            text = renameText("CliStopped", "stopped by SIG%s: the files of the batch keep their old names", name);
        else if (batchStarted)
            text =
                renameText("CliStoppedLate",
                           "SIG%s came once the files were taking their new names: the batch was finished first", name);
        else
            text = renameText("CliStoppedEarly", "stopped by SIG%s before anything was renamed", name);
        out.note(QStringLiteral("travoline-cli: ") + text);
        out.flush();
        return StopSignals::exitStatus();
    }
    out.flush();
    const bool everyFileRenamed =
        blocked == 0 && failed == 0 && leftAlone.isEmpty() && !error && engine.model()->count() == 0;
    return everyFileRenamed ? 0 : 1;
}

int runCliRecover(RecordWriter &out) {
    const QStringList journals = pendingJournals();
    int restored = 0, problems = 0, removed = 0;
    for (const QString &j : journals) {
        const RecoveryResult r = recoverJournal(j);
        for (const ReviewEntry &e : r.removedCopies)
            out.record({"removed", pathBytes(e.oldPath), utf8(oneLine(e.reason))});
        for (const ReviewEntry &e : r.moved)
            out.record({"restored", pathBytes(e.oldPath), pathBytes(e.newPath)});
        for (const ReviewEntry &e : r.problems)
            out.record({"failed", pathBytes(e.oldPath), utf8(oneLine(e.reason))});
        restored += r.restored;
        problems += static_cast<int>(r.problems.size());
        removed += static_cast<int>(r.removedCopies.size());
    }
    QString summary = renameText("CliRecovered", "%s files put back, %s could not be", QString::number(restored),
                                 QString::number(problems));
    if (removed > 0)
        summary +=
            QStringLiteral(", ") + renameText("CliRecoveredCopies", "%s copies left by a move to another disk removed",
                                              QString::number(removed));
    out.summary(summary);
    out.flush();
    return problems == 0 ? 0 : 1;
}

int runCliHistory(RecordWriter &out) {
    for (const HistoryBatch &b : history::list())
        out.record({QByteArray::number(b.id), b.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8(),
                    QByteArray::number(b.fileCount), pathBytes(b.firstFolder)});
    out.flush();
    return 0;
}

int runCliUndo(qint64 id, bool doIt, int keep, RecordWriter &out) {
    if (!pendingJournals().isEmpty())
        out.note(renameText("CliPending",
                            "An earlier rename was interrupted; travoline-cli --recover puts its files back."));
    const StopSignals stopSignals;
    UndoOptions options;
    options.id = id;
    options.dryRun = !doIt;
    options.keep = keep;
    options.stopRequested = &StopSignals::requested;
    const UndoReport report = undoBatch(options);
    if (!report.found) {
        out.note(QStringLiteral("travoline-cli: ") +
                 (id == 0 ? historyText("CliNothingToUndo", "the rename history is empty: nothing to undo")
                          : historyText("CliNoSuchBatch", "no batch %s in the rename history (see --history)",
                                        QString::number(id))));
        out.flush();
        return id == 0 ? 1 : 2;
    }
    int moved = 0, blocked = 0, failed = 0, stopped = 0;
    for (const UndoLine &l : report.lines) {
        RenameStatus status = l.status;
        if (status == RenameStatus::Pending && (!doIt || report.cancelled))
            status = doIt ? RenameStatus::Blocked : RenameStatus::Pending;
        const char *word = status == RenameStatus::Pending ? "undo" : statusWord(status);
        const bool toOld = status == RenameStatus::Pending || status == RenameStatus::Renamed;
        QString reason = oneLine(l.reason);
        if (reason.isEmpty())
            reason = renameText("CliCancelled", "batch cancelled");
        out.record({word, pathBytes(l.fromPath), toOld ? pathBytes(l.toPath) : utf8(reason)});
        moved += toOld;
        blocked += status == RenameStatus::Blocked;
        failed += status == RenameStatus::Failed;
        stopped += status == RenameStatus::Stopped;
    }
    for (const QString &folder : report.removedFolders)
        out.record({"removed", pathBytes(folder), utf8(historyText("CliFolderRemoved", "empty folder of the batch"))});
    QString summary = doIt ? historyText("CliUndone", "%s put back", QString::number(moved))
                           : historyText("CliUndoDry", "%s would be put back", QString::number(moved));
    summary += QStringLiteral(", ") + renameText("CliSummaryOthers", "%s blocked, %s failed", QString::number(blocked),
                                                 QString::number(failed));
    if (stopped > 0)
        summary += QStringLiteral(", ") + renameText("CliSummaryStopped", "%s stopped", QString::number(stopped));
    if (!doIt)
        summary +=
            historyText("CliUndoHow", " (nothing moved: --yes undoes batch %s)", QString::number(report.undoneId));
    else if (report.recordedId > 0)
        summary += historyText("CliUndoRecorded", " (recorded as batch %s)", QString::number(report.recordedId));
    out.summary(summary);
    for (const QString &error : {report.error, report.historyError})
        if (!error.isEmpty())
            out.note(QStringLiteral("travoline-cli: ") + oneLine(error));
    if (StopSignals::requested()) {
        const QString name = QString::fromLatin1(sigabbrev_np(StopSignals::received()));
        out.note(
            QStringLiteral("travoline-cli: ") +
            (report.stopped
                 ? renameText("CliStopped", "stopped by SIG%s: the files of the batch keep their old names", name)
                 : renameText("CliStoppedLate",
                              "SIG%s came once the files were taking their new names: the batch was finished first",
                              name)));
        out.flush();
        return StopSignals::exitStatus();
    }
    out.flush();
    return blocked == 0 && failed == 0 && stopped == 0 && report.error.isEmpty() ? 0 : 1;
}

} // namespace tav
