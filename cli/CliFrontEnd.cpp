#include "cli/CliFrontEnd.h"

#include "cli/CliOutput.h"
#include "core/base/Version.h"
#include "core/i18n/Language.h"
#include "core/rename/RenameTexts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <unistd.h>

namespace tav {

namespace {

QString captionOf(const MsgButton &b) {
    return i18n::getText(QStringLiteral("frmKobMsgBox"), QString::fromLatin1(b.control) + QStringLiteral(".Caption"),
                         QString::fromLatin1(b.caption))
        .trimmed();
}

} // namespace

CliFrontEnd::CliFrontEnd(std::FILE *in, std::FILE *err) : m_in(in), m_err(err) {
    m_interactive = in && ::isatty(::fileno(in));
    m_progressOnTerminal = err && ::isatty(::fileno(err));
}

void CliFrontEnd::write(const QString &text) {
    if (!m_err)
        return;
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QByteArray bytes = t.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_err);
    std::fflush(m_err);
}

int CliFrontEnd::msgBox(const QString &message, int style, const QString &title, int, const QString &) {
    const QString heading = title.isEmpty() ? QString::fromLatin1(ProgramTitle) : title;
    write(heading + QStringLiteral(": ") + message + QLatin1Char('\n'));
    return ask(style);
}

int CliFrontEnd::ask(int style) {
    const MsgButtonSet &set = msgButtonSet(style);
    const QList<MsgButton> &choices = set.buttons;
    if (choices.size() == 1)
        return choices.first().answer;
    const auto chosen = [&](int answer) {
        for (const MsgButton &c : choices)
            if (c.answer == answer)
                write(QStringLiteral("-> ") + captionOf(c) + QLatin1Char('\n'));
        return answer;
    };
    // The preset answers as the first button (OK or Yes), or as Escape.
    if (m_preset == Preset::Yes)
        return chosen(set.enterAnswer);
    if (m_preset == Preset::No)
        return chosen(msgButtonSetValue(style) == StyleOkCancel ? AnswerCancel : AnswerNo);
    if (!m_interactive || !m_in)
        return chosen(set.escapeAnswer);

    QStringList captions;
    for (const MsgButton &c : choices)
        captions << captionOf(c);
    for (;;) {
        write(QStringLiteral("[") + captions.join(QLatin1Char('/')) + QStringLiteral("] ? "));
        char line[256];
        if (!std::fgets(line, sizeof line, m_in))
            return chosen(set.escapeAnswer); // end of input: decline
        const QString reply = QString::fromUtf8(line).trimmed();
        if (reply.isEmpty())
            continue;
        // A reply names a button by its caption, its first letter, or its
        // English name; a letter shared by two captions matches neither.
        int match = 0, matches = 0;
        for (const MsgButton &c : choices) {
            const QString caption = captionOf(c);
            const QString english = QString::fromLatin1(c.english);
            if (reply.compare(caption, Qt::CaseInsensitive) == 0 || reply.compare(english, Qt::CaseInsensitive) == 0) {
                match = c.answer;
                matches = 1;
                break;
            }
            if (reply.size() == 1 &&
                (caption.startsWith(reply, Qt::CaseInsensitive) || english.startsWith(reply, Qt::CaseInsensitive))) {
                match = c.answer;
                ++matches;
            }
        }
        if (matches == 1)
            return match;
    }
}

void CliFrontEnd::showPlainError(const QString &text) {
    ++m_errorsReported;
    write(text + QLatin1Char('\n'));
}

void CliFrontEnd::progressStart(int maximum) {
    // A progress line of the stage before (the preparation) is ended first.
    if (m_progressOnTerminal && m_progressMax > 0 && m_progressShown.isValid())
        write(QStringLiteral("\n"));
    m_progressMax = maximum;
    m_progressShown.invalidate();
}

void CliFrontEnd::progressStep(int value) {
    if (!m_progressOnTerminal || m_progressMax <= 0)
        return;
    // A terminal line redrawn ten times a second, and at the end: not one
    // write per step of a batch of thousands of files.
    if (value < m_progressMax && m_progressShown.isValid() && m_progressShown.elapsed() < 100)
        return;
    m_progressShown.start();
    const QString prefix = m_progressText.isEmpty() ? QString() : m_progressText + QLatin1Char(' ');
    write(QStringLiteral("\r%1%2/%3").arg(prefix).arg(value).arg(m_progressMax));
}

void CliFrontEnd::progressEnd() {
    if (m_progressOnTerminal && m_progressMax > 0)
        write(QStringLiteral("\n"));
    m_progressMax = 0;
    m_progressText.clear();
}

void CliFrontEnd::processEvents() {
    // Nothing on the command line needs the event loop while files move: it
    // runs now and then, not once per file.
    static QElapsedTimer since;
    if (since.isValid() && since.elapsed() < 50)
        return;
    since.start();
    QCoreApplication::processEvents();
}

bool CliFrontEnd::reviewBlocked(const QList<ReviewEntry> &entries, const QString &captionSuffix) {
    QString text = renameText("CliReview", "These files cannot be renamed%s:", captionSuffix) + QLatin1Char('\n');
    for (const ReviewEntry &e : entries) {
        // Paths escaped as on standard output: a name cannot forge a line.
        text += QStringLiteral("  ") + QString::fromUtf8(escapeText(e.oldPath));
        if (!e.reason.isEmpty())
            text += QStringLiteral(": ") + QString::fromUtf8(escapeText(QString(e.reason).replace("\r\n", " ")));
        text += QLatin1Char('\n');
    }
    text += renameText("CliContinue", "Rename the other files?") + QLatin1Char('\n');
    write(text);
    return ask(StyleYesNo) == AnswerYes;
}

} // namespace tav
