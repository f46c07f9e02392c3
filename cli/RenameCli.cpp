#include "cli/RenameCli.h"

#include "cli/CliOutput.h"
#include "core/base/FrontEnd.h"
#include "core/engine/NameEngine.h"
#include "core/rename/RenameCommand.h"
#include "core/rename/RenameJournal.h"
#include "core/rename/RenameTexts.h"
#include "core/settings/Settings.h"

#include <QSet>

namespace tav {

namespace {

// A reason as one line: the line breaks of a message become spaces (what is
// left of control characters is escaped when the record is written).
QString oneLine(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    return text;
}

QByteArray utf8(const QString &text) { return text.toUtf8(); }

const char *statusWord(RenameStatus s) {
    switch (s) {
    case RenameStatus::Renamed:
        return "renamed";
    case RenameStatus::Failed:
        return "failed";
    default:
        return "blocked";
    }
}

} // namespace

QString notUtf8Reason() {
    return renameText("CliNotUtf8", "left alone: the path is not valid UTF-8");
}

int runCliRename(NameEngine &engine, Settings &settings, const CliRenameOptions &options,
                 const QList<QByteArray> &leftAlone, RecordWriter &out) {
    if (!options.passes.isEmpty())
        engine.setPassCountText(options.passes);
    if (!pendingJournals().isEmpty())
        out.note(renameText("CliPending",
                            "An earlier rename was interrupted; travoline-cli --recover puts its files back."));

    int renamed = 0, blocked = 0, failed = 0;
    bool error = false;
    for (;;) {
        const QString passesBefore = engine.passCountText();
        const RenameReport report = cmdRenommer_Click(engine, settings);
        QList<RenameLine> lines = report.lines;
        if (lines.isEmpty() && report.cancelled) {
            // Declined before the batch was built: every listed file stays.
            for (const FileEntry &e : engine.model()->entries())
                lines.append(
                    {RenameStatus::Blocked, e.fullPath(), QString(), renameText("CliCancelled", "batch cancelled")});
        }
        for (const RenameLine &l : lines) {
            const RenameStatus status = l.status == RenameStatus::Pending ? RenameStatus::Blocked : l.status;
            QString detail = status == RenameStatus::Renamed ? l.newPath : oneLine(l.reason);
            if (detail.isEmpty())
                detail = renameText("CliCancelled", "batch cancelled");
            out.record({statusWord(status), pathBytes(l.oldPath),
                        status == RenameStatus::Renamed ? pathBytes(detail) : utf8(detail)});
            renamed += status == RenameStatus::Renamed;
            blocked += status == RenameStatus::Blocked;
            failed += status == RenameStatus::Failed;
        }
        error = error || !report.error.isEmpty();
        // A further pass put the renamed files back in the list: rename them again.
        const bool anotherPass = report.started && passesBefore != engine.passCountText() && report.renamed > 0 &&
                                 engine.model()->count() > 0;
        if (!anotherPass)
            break;
        // Files that were not renamed stay listed; they were counted already.
        QSet<QString> notRenamed;
        for (const RenameLine &l : report.lines)
            if (l.status != RenameStatus::Renamed)
                notRenamed.insert(l.oldPath);
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

    QString summary = renameText("CliSummary", "%s renamed", QString::number(renamed)) + QStringLiteral(", ") +
                      renameText("CliSummaryOthers", "%s blocked, %s failed", QString::number(blocked),
                                 QString::number(failed));
    if (!leftAlone.isEmpty())
        summary += QStringLiteral(", ") +
                   renameText("CliSummarySkipped", "%s left alone", QString::number(leftAlone.size()));
    out.summary(summary);
    out.flush();
    const bool everyFileRenamed =
        blocked == 0 && failed == 0 && leftAlone.isEmpty() && !error && engine.model()->count() == 0;
    return everyFileRenamed ? 0 : 1;
}

int runCliRecover(RecordWriter &out) {
    const QStringList journals = pendingJournals();
    int restored = 0, problems = 0;
    for (const QString &j : journals) {
        const RecoveryResult r = recoverJournal(j);
        for (const ReviewEntry &e : r.moved)
            out.record({"restored", pathBytes(e.oldPath), pathBytes(e.newPath)});
        for (const ReviewEntry &e : r.problems)
            out.record({"failed", pathBytes(e.oldPath), utf8(oneLine(e.reason))});
        restored += r.restored;
        problems += static_cast<int>(r.problems.size());
    }
    out.summary(renameText("CliRecovered", "%s files put back, %s could not be", QString::number(restored),
                           QString::number(problems)));
    out.flush();
    return problems == 0 ? 0 : 1;
}

} // namespace tav
