#include "cli/RenameCli.h"

#include "cli/StopSignals.h"
#include "core/base/FrontEnd.h"
#include "core/engine/NameEngine.h"
#include "core/rename/RenameCommand.h"
#include "core/rename/RenameJournal.h"
#include "core/rename/RenameTexts.h"
#include "core/settings/Settings.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTextStream>

#include <cstring>
#include <cstdio>
#include <unistd.h>

namespace tav {

namespace {

QString oneLine(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return text;
}

// Questions on standard error. With --yes every question is answered yes;
// without it, a terminal on standard input is asked, and when there is none
// the answer is no, so nothing changes without someone saying so.
class CliRenameFrontEnd : public FrontEnd {
public:
    CliRenameFrontEnd(FrontEnd &outer, bool yes, QTextStream &err) : m_outer(outer), m_yes(yes), m_err(err) {}

    int msgBox(const QString &message, int style, const QString &title, int, const QString &) override {
        QString text = message;
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        m_err << (title.isEmpty() ? QString() : title + QLatin1String(": ")) << text << '\n';
        const int buttons = style & 7;
        if (buttons != StyleYesNo && buttons != StyleYesNoCancel) {
            m_err.flush();
            return buttons == StyleOkCancel ? AnswerCancel : AnswerOk;
        }
        return ask() ? AnswerYes : AnswerNo;
    }

    void showPlainError(const QString &text) override {
        m_err << text << '\n';
        m_err.flush();
    }

    bool reviewBlocked(const QList<ReviewEntry> &entries, const QString &captionSuffix) override {
        m_err << renameText("CliReview", "These files cannot be renamed%s:", captionSuffix) << '\n';
        for (const ReviewEntry &e : entries)
            m_err << "  " << e.oldPath << ": " << oneLine(e.reason) << '\n';
        m_err << renameText("CliContinue", "Rename the other files?") << '\n';
        return ask();
    }

    // Nothing on the command line needs the event loop while files move:
    // it runs now and then, not once per file.
    void processEvents() override {
        if (m_sinceEvents.isValid() && m_sinceEvents.elapsed() < 50)
            return;
        m_sinceEvents.start();
        m_outer.processEvents();
    }

private:
    bool ask() {
        if (m_yes) {
            m_err << "yes\n";
            m_err.flush();
            return true;
        }
        if (!::isatty(STDIN_FILENO)) {
            m_err << "no\n";
            m_err.flush();
            return false;
        }
        m_err << "[y/N] ";
        m_err.flush();
        char buf[64] = {};
        if (!std::fgets(buf, sizeof buf, stdin))
            return false;
        const QString answer = QString::fromLocal8Bit(buf).trimmed().toLower();
        return answer == QLatin1String("y") || answer == QLatin1String("yes") || answer == QLatin1String("o") ||
               answer == QLatin1String("oui");
    }

    FrontEnd &m_outer;
    bool m_yes;
    QTextStream &m_err;
    QElapsedTimer m_sinceEvents;
};

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

CliRenameOptions &cliRenameOptions() {
    static CliRenameOptions options;
    return options;
}

int runCliRename(NameEngine &engine, Settings &settings, QTextStream &out, QTextStream &err) {
    const CliRenameOptions &options = cliRenameOptions();
    if (!options.passes.isEmpty())
        engine.setPassCountText(options.passes);
    if (!pendingJournals().isEmpty())
        err << renameText("CliPending",
                          "An earlier rename was interrupted; travoline-cli --recover puts its files back.")
            << '\n';

    FrontEnd &outer = frontEnd();
    CliRenameFrontEnd ui(outer, options.yes, err);
    setFrontEnd(&ui);
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
            out << statusWord(status) << '\t' << l.oldPath << '\t' << detail << '\n';
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
    setFrontEnd(&outer);

    out << renameText("CliSummary", "%s renamed", QString::number(renamed)) << ", "
        << renameText("CliSummaryOthers", "%s blocked, %s failed", QString::number(blocked), QString::number(failed));
    if (stopped > 0)
        out << ", " << renameText("CliSummaryStopped", "%s stopped", QString::number(stopped));
    out << '\n';
    out.flush();
    if (StopSignals::requested()) {
        const QString name = QString::fromLatin1(sigabbrev_np(StopSignals::received()));
        QString text;
        if (batchStopped)
            text = renameText("CliStopped", "stopped by SIG%s: the files of the batch keep their old names", name);
        else if (batchStarted)
            text = renameText("CliStoppedLate",
                              "SIG%s came once the files were taking their new names: the batch was finished first",
                              name);
        else
            text = renameText("CliStoppedEarly", "stopped by SIG%s before anything was renamed", name);
        err << "travoline-cli: " << text << '\n';
        err.flush();
        return StopSignals::exitStatus();
    }
    err.flush();
    const bool everyFileRenamed = blocked == 0 && failed == 0 && !error && engine.model()->count() == 0;
    return everyFileRenamed ? 0 : 1;
}

int runCliRecover(QTextStream &out, QTextStream &err) {
    const QStringList journals = pendingJournals();
    int restored = 0, problems = 0, removed = 0;
    for (const QString &j : journals) {
        const RecoveryResult r = recoverJournal(j);
        for (const ReviewEntry &e : r.removedCopies)
            out << "removed\t" << e.oldPath << '\t' << oneLine(e.reason) << '\n';
        for (const ReviewEntry &e : r.moved)
            out << "restored\t" << e.oldPath << '\t' << e.newPath << '\n';
        for (const ReviewEntry &e : r.problems)
            out << "failed\t" << e.oldPath << '\t' << oneLine(e.reason) << '\n';
        restored += r.restored;
        problems += static_cast<int>(r.problems.size());
        removed += static_cast<int>(r.removedCopies.size());
    }
    out << renameText("CliRecovered", "%s files put back, %s could not be", QString::number(restored),
                      QString::number(problems));
    if (removed > 0)
        out << ", " << renameText("CliRecoveredCopies", "%s copies left by a move to another disk removed",
                                  QString::number(removed));
    out << '\n';
    out.flush();
    err.flush();
    return problems == 0 ? 0 : 1;
}

} // namespace tav
