// Handing a web address or a mail address to the desktop's default program
// through xdg-open. The text is checked first and then passed as the one
// argument of xdg-open, started detached without a shell, so nothing in it
// is ever interpreted. Results follow the shell's launch convention: above
// 32 when the program was started, a small failure number otherwise.

#include "orvalib/Abi.h"

#include <QProcess>
#include <QStandardPaths>

using namespace orva;

namespace {

constexpr int32_t Started = 42;
// The text is no address this export opens.
constexpr int32_t NotAnAddress = 2;
// No program to open it with (xdg-open missing or not startable).
constexpr int32_t NoAssociation = 31;

bool hasControlCharacters(const QString &text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    return false;
}

bool isWebAddress(const QString &text) {
    if (hasControlCharacters(text))
        return false;
    for (const QLatin1String scheme : {QLatin1String("http://"), QLatin1String("https://")})
        if (text.startsWith(scheme, Qt::CaseInsensitive))
            return text.size() > scheme.size() && text.at(scheme.size()) != QLatin1Char('/');
    return text.startsWith(QLatin1String("file:/"), Qt::CaseInsensitive);
}

// "mailto:" and recipients, optionally followed by "?" and header fields; or
// a bare address, which gets the "mailto:". Empty when it is neither.
QString mailAddress(const QString &text) {
    if (hasControlCharacters(text))
        return QString();
    const QLatin1String scheme("mailto:");
    const bool hasScheme = text.startsWith(scheme, Qt::CaseInsensitive);
    const QString rest = hasScheme ? text.mid(scheme.size()) : text;
    const QString recipients = rest.section(QLatin1Char('?'), 0, 0);
    if (recipients.isEmpty())
        return QString();
    for (const QString &recipient : recipients.split(QLatin1Char(','))) {
        const qsizetype at = recipient.indexOf(QLatin1Char('@'));
        if (at <= 0 || at == recipient.size() - 1 || recipient.indexOf(QLatin1Char('@'), at + 1) >= 0)
            return QString();
        for (const QChar c : recipient)
            if (c.isSpace() || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('"'))
                return QString();
    }
    return hasScheme ? text : scheme + text;
}

int32_t openWithDesktop(const QString &address) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return NoAssociation;
    return QProcess::startDetached(opener, {address}) ? Started : NoAssociation;
}

} // namespace

extern "C" {

TAV_API int32_t TavOpenUrl(const TavChar *address, int32_t length) {
    return guarded<int32_t>(0, [&] {
        const QString text = argText(address, length);
        return isWebAddress(text) ? openWithDesktop(text) : NotAnAddress;
    });
}

TAV_API int32_t TavOpenMail(const TavChar *address, int32_t length) {
    return guarded<int32_t>(0, [&] {
        const QString mail = mailAddress(argText(address, length));
        return mail.isEmpty() ? NotAnAddress : openWithDesktop(mail);
    });
}

} // extern "C"
