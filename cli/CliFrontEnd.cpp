#include "cli/CliFrontEnd.h"

#include "core/base/Version.h"
#include "core/i18n/Language.h"

#include <QCoreApplication>
#include <QStringList>
#include <unistd.h>

namespace tav {

namespace {

struct Choice {
    int answer;
    const char *control;
    const char *designed;
    const char *english;
};

// The buttons of each set, in the message box's order and with its captions.
QList<Choice> choicesOf(int set)
{
    const Choice ok{AnswerOk, "cmdOK", "OK", "ok"};
    const Choice cancel{AnswerCancel, "cmdAnnuler", "Annuler", "cancel"};
    const Choice yes{AnswerYes, "cmdOui", "Oui", "yes"};
    const Choice no{AnswerNo, "cmdNon", "Non", "no"};
    const Choice modify{AnswerModify, "cmdModifier", "Modifier", "modify"};
    switch (set) {
    case 1:
        return {ok, cancel};
    case 3:
        return {yes, no, cancel};
    case 4:
        return {yes, no};
    case 6:
        return {yes, no, modify};
    default:
        return {ok};
    }
}

int escapeAnswerOf(int set)
{
    const QList<Choice> choices = choicesOf(set);
    return set == 4 ? AnswerNo : choices.last().answer;
}

QString captionOf(const Choice &c)
{
    return i18n::getText(QStringLiteral("frmKobMsgBox"), QString::fromLatin1(c.control) + QStringLiteral(".Caption"),
                         QString::fromLatin1(c.designed))
        .trimmed();
}

} // namespace

CliFrontEnd::CliFrontEnd(std::FILE *in, std::FILE *err) : m_in(in), m_err(err)
{
    m_interactive = in && ::isatty(::fileno(in));
    m_progressOnTerminal = err && ::isatty(::fileno(err));
}

int CliFrontEnd::buttonSet(int style)
{
    for (int icon : {64, 48, 32, 16})
        if (style >= icon)
            style -= icon;
    return style;
}

void CliFrontEnd::write(const QString &text)
{
    if (!m_err)
        return;
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QByteArray bytes = t.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_err);
    std::fflush(m_err);
}

int CliFrontEnd::msgBox(const QString &message, int style, const QString &title, int, const QString &)
{
    const QString heading = title.isEmpty() ? QString::fromLatin1(ProgramTitle) : title;
    write(heading + QStringLiteral(": ") + message + QLatin1Char('\n'));
    return ask(buttonSet(style));
}

int CliFrontEnd::ask(int set)
{
    const QList<Choice> choices = choicesOf(set);
    if (choices.size() == 1)
        return choices.first().answer;
    const auto chosen = [&](int answer) {
        for (const Choice &c : choices)
            if (c.answer == answer)
                write(QStringLiteral("-> ") + captionOf(c) + QLatin1Char('\n'));
        return answer;
    };
    if (m_preset == Preset::Yes)
        return chosen(set == 1 ? AnswerOk : AnswerYes);
    if (m_preset == Preset::No)
        return chosen(set == 1 ? AnswerCancel : AnswerNo);
    if (!m_interactive || !m_in)
        return chosen(escapeAnswerOf(set));

    QStringList captions;
    for (const Choice &c : choices)
        captions << captionOf(c);
    for (;;) {
        write(QStringLiteral("[") + captions.join(QLatin1Char('/')) + QStringLiteral("] ? "));
        char line[256];
        if (!std::fgets(line, sizeof line, m_in))
            return chosen(escapeAnswerOf(set)); // end of input: decline
        const QString reply = QString::fromUtf8(line).trimmed();
        if (reply.isEmpty())
            continue;
        // A reply names a button by its caption, its first letter, or its
        // English name; a letter shared by two captions matches neither.
        int match = 0, matches = 0;
        for (const Choice &c : choices) {
            const QString caption = captionOf(c);
            const QString english = QString::fromLatin1(c.english);
            if (reply.compare(caption, Qt::CaseInsensitive) == 0 || reply.compare(english, Qt::CaseInsensitive) == 0) {
                match = c.answer;
                matches = 1;
                break;
            }
            if (reply.size() == 1 && (caption.startsWith(reply, Qt::CaseInsensitive) ||
                                      english.startsWith(reply, Qt::CaseInsensitive))) {
                match = c.answer;
                ++matches;
            }
        }
        if (matches == 1)
            return match;
    }
}

void CliFrontEnd::showPlainError(const QString &text) { write(text + QLatin1Char('\n')); }

void CliFrontEnd::progressStart(int maximum) { m_progressMax = maximum; }

void CliFrontEnd::progressStep(int value)
{
    if (m_progressOnTerminal && m_progressMax > 0)
        write(QStringLiteral("\r%1/%2").arg(value).arg(m_progressMax));
}

void CliFrontEnd::progressEnd()
{
    if (m_progressOnTerminal && m_progressMax > 0)
        write(QStringLiteral("\n"));
    m_progressMax = 0;
}

void CliFrontEnd::processEvents() { QCoreApplication::processEvents(); }

bool CliFrontEnd::reviewBlocked(const QList<ReviewEntry> &entries, const QString &captionSuffix)
{
    const QString section = QStringLiteral("frmCheckErreur");
    QString text = i18n::getText(section, section + QStringLiteral(".Caption"), QStringLiteral("Erreurs")) +
                   captionSuffix + QLatin1Char('\n');
    for (const ReviewEntry &e : entries) {
        text += QStringLiteral("  ") + e.oldPath;
        if (!e.reason.isEmpty())
            text += QStringLiteral(" (") + e.reason + QLatin1Char(')');
        text += QLatin1Char('\n');
    }
    text += i18n::getText(section, QStringLiteral("cmdContinuer.Caption"), QStringLiteral("Continuer")).trimmed() +
            QStringLiteral(" ?\n");
    write(text);
    return ask(StyleYesNo) == AnswerYes;
}

} // namespace tav
