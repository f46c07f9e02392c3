#include "core/i18n/HelpFile.h"

#include "core/base/Addresses.h"
#include "core/base/ProgramFolder.h"
#include "core/base/Version.h"
#include "core/i18n/Language.h"

#include <QFileInfo>
#include <optional>

namespace tav::help {

QString helpFileForLanguage(const QString &languageFileName) {
    return programFolder() + QStringLiteral("/langages/") + languageFileName + QLatin1Char('/') +
           QString::fromLatin1(ProgramTitle) + QStringLiteral(".html");
}

QString currentHelpFile() {
    return helpFileForLanguage(i18n::languageFileName());
}

Manual manualToOpen(const QString &helpFile) {
    if (QFileInfo::exists(helpFile))
        return {helpFile, false};
    const QString english = helpFileForLanguage(QStringLiteral("english"));
    if (english != helpFile && QFileInfo::exists(english))
        return {english, true};
    return {helpFile, false};
}

QString englishInsteadNote() {
    return i18n::getText(QStringLiteral("Help"), QStringLiteral("EnglishInstead"),
                         QStringLiteral("Ce manuel n'est pas encore traduit dans votre langue : "
                                        "il s'affiche en anglais."));
}

QString topicAnchor(int topic) {
    return QStringLiteral("topic") + QString::number(topic);
}

QString onlineManualUrl(const QString &site) {
    QString base = site.trimmed();
    if (base.isEmpty())
        return {};
    // A web address: the path joins with "/", whatever the platform.
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QLatin1Char('/') + QString::fromLatin1(ProgramTitle) + QStringLiteral("/manuel.html");
}

namespace {
std::optional<QString> &siteOfThisRun() {
    static std::optional<QString> site;
    return site;
}
} // namespace

QString supportSite() {
    return siteOfThisRun().value_or(QString::fromUtf8(addresses::SupportSite));
}

void setSupportSite(const QString &site) {
    siteOfThisRun() = site;
}

void useBuildSupportSite() {
    siteOfThisRun().reset();
}

QString forumUrl() {
    return QString::fromUtf8(addresses::Forum);
}

} // namespace tav::help
