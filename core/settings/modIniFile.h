#pragma once
// Reading and writing the settings file, ~/.config/Travoline/Travoline.ini
// (sections Langage, General, Option, RegleRenommage), into and from the
// settings record.

#include "core/settings/Settings.h"

#include <QSettings>
#include <QString>
#include <functional>

namespace tav::modIniFile {

// Services of other parts that reading and saving call when they are set.
struct Hooks {
    // After the language is set from the file (the help file path follows it).
    std::function<void()> languageChanged;
    // Close-time save: close the help window when one is open.
    std::function<void()> closeHelp;
    // Before every save: the window copies its controls into the record.
    std::function<void(Settings &)> beforeSave;
};
Hooks &hooks();

// <user configuration folder>/Travoline and .../Travoline.ini.
QString defaultSettingsFolder();
// The settings file in use: the default one unless set (tests, --settings).
QString settingsFilePath();
void setSettingsFilePath(const QString &path);

// The per-user store beside the settings file, for what the file has no key
// for (view state, answers of the boxes that may stay hidden, the tool mode
// last chosen).
QSettings userStore();

// Reads the settings file in use into the process-wide record; creates the
// settings folder when it is missing. False when reading stopped on an error
// (reported with the step number; later values keep their defaults).
bool ReadIniFile();
bool ReadIniFile(Settings &s, const QString &path);

// Writes every key of the record back (the before-save hook runs first).
// A file that cannot be written is reported once and left as it was.
bool SaveIniFile();
bool SaveIniFile(Settings &s);
bool SaveIniFile(Settings &s, const QString &path);

// The close-time save: closes the help window first when closeHelp is true.
void SaveRegisterBase(bool closeHelp);

// The keys of the file, in the order start-up reads them (an indexed key by
// its name without index).
QStringList keyNames();

// "major.minor.revision" of this program.
QString programVersion();
// True when the stored version's major, minor or revision differs from this
// program's (an empty version differs).
bool versionDiffersFromProgram(const QString &stored);

} // namespace tav::modIniFile
