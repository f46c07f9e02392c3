#pragma once
// Where the manual of a language is, and which part of it each help button
// opens. The manual is one HTML file per language, beside its language file.

#include <QString>

namespace tav::help {

// The topics of the manual, one per window that has a help button.
enum Topic : int {
    TopicMainWindow = 10000,
    TopicOptions = 10001,
    TopicWhatIsNew = 10002,
    TopicToolChoice = 10003,
    TopicUpdate = 10004,
    TopicDependencies = 10005,
};

// <program folder>/langages/<language file name>/Travoline.html
QString helpFileForLanguage(const QString &languageFileName);
// The manual of the language in use. It is derived from the current language
// each time, so it follows every change of language without being told.
QString currentHelpFile();

// What a help button opens for a manual: the manual itself, or the English
// one when that language has none (not yet translated), with a note to say so.
struct Manual {
    QString file;
    bool englishInstead = false;
};
Manual manualToOpen(const QString &helpFile);
// The note shown above the English manual, in the language in use.
QString englishInsteadNote();

// The anchor that starts a topic in the manual ("topic10000").
QString topicAnchor(int topic);

// The online manual under a support site ("<site>/Travoline/manuel.html"),
// empty when no site is given.
QString onlineManualUrl(const QString &supportSite);
// The support site of this build (empty unless configured), or the one set
// for this run by setSupportSite until useBuildSupportSite.
QString supportSite();
void setSupportSite(const QString &site);
void useBuildSupportSite();
// The forum page of this build (empty unless configured).
QString forumUrl();

} // namespace tav::help
