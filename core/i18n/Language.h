#pragma once
// Language files: one text by section and key, numbered messages with their
// cache, and the current language.

#include <QLocale>
#include <QString>
#include <QStringList>

namespace tav::i18n {

// Current language by display name ("Français"); the file is
// <program folder>/langages/<TavStringSansAccent(name)>.lng. Discards the cache.
void setLanguage(const QString &displayName);
QString languageName();
QString languageFilePath();

// One text of the current language file with the value conventions applied
// ("|" to a line break, "_" at either end to a blank, up to two "%s").
QString getText(const QString &section, const QString &key, const QString &def = QString(),
                const QString &p1 = QString(), const QString &p2 = QString());

// Message n (1..100) of section MSG; above 100 throws TavError.
QString Message(int n, const QString &p1 = QString(), const QString &p2 = QString());

// Empties the message cache (language change).
void discardMessageCache();

// --- additions ---

// The accent-free, lower-case file name of a language ("Français" -> "francais",
// "Español" -> "espanol").
QString languageFileName();
QString fileNameForLanguage(const QString &displayName);

// The value conventions on one raw value: "|" to CR LF, a "_" at either end to
// a blank, then the first "%s" to p1 and the next "%s" after it to p2.
QString applyValueConventions(const QString &raw, const QString &p1 = QString(), const QString &p2 = QString());

// Display names (section LANGUAGE, key "language") of every langages/*.lng
// file of the program folder, in the order of the file names (accent-free).
QStringList availableLanguages();

// The locale of the interface language: dates and month names follow it. Its
// name is the key "locale" of section LANGUAGE ("fr_FR"); a file without it
// takes the system's. setLanguage makes it Qt's default locale.
QLocale interfaceLocale();

// How many times the language file was parsed since start (reload check for tests).
int fileLoadCount();

} // namespace tav::i18n
