#pragma once
// What the options dialog does without its widgets: the installed languages,
// the switch of language, the editing rules of the two tables, the check of
// the counter reset fields, and taking the dialog's values over into the
// settings record when the user confirms.

#include "core/settings/Settings.h"

#include <QDate>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace tav::options {

// Display names (key "language" of section "LANGUAGE") of every
// langages/*.lng of the program folder, in the order of the file names. A
// file without the key gives an empty entry.
QStringList installedLanguages();

// The translator of the current language, from its section "AUTHOR"; not
// shown for the design language.
struct Translator {
    bool shown = false;
    QString name, email, site, siteMsg;
};
Translator translator();

// Picks the interface language by display name. Nothing happens when it is
// the current one or when its accent-free file is not installed. Otherwise
// the language and the settings' language name change at once, the message
// cache is discarded and the language hook runs (the help follows).
// Returns whether the language changed.
bool pickLanguage(Settings &s, const QString &displayName);

// The year and month choices, as the given day shows in each format.
QStringList yearChoices(QDate day);
QStringList monthChoices(QDate day);

// The two editable tables end with an empty row for adding one.
enum class CellEdit {
    Accepted, // the new text stays
    Refused,  // the cell keeps its previous text
    Removed,  // the row was removed
};
// The user finished editing the characters cell of row: an empty text asks
// whether to remove the row; a filled one asks for the one-character
// replacement (a new trailing row follows when the trailing row was filled).
CellEdit editForbiddenChars(QList<ForbiddenRow> &rows, int row, const QString &text);
// The same for a name of the never-renamed list.
CellEdit editNeverRenamed(QStringList &rows, int row, const QString &text);

// Leaving the counter reset fields: a text that is no number becomes "1"
// after message 13. A number outside the 16-bit range throws (overflow) and
// changes nothing.
QString counterResetLeave(const QString &text);

// The dialog's plain check boxes, each standing for one 0/1 setting: adding
// such an option is a row here, its key in the settings file and its
// caption in the language files.
struct OptionSwitch {
    const char *control; // the check box's object name, its language-file key
    const char *caption; // its French caption
    int page;            // the dialog page that shows it
    std::int32_t Settings::*field;
};
const QList<OptionSwitch> &optionSwitches();

// The values of the dialog, control by control.
struct Form {
    int year = -1, month = -1;     // selected entries (-1: none)
    QList<ForbiddenRow> forbidden; // with its trailing empty row
    QStringList neverRenamed;      // with its trailing empty row
    int optRegle = 1, optDebut = 1, optPas = 1;
    QString txtDebut, txtPas;
    bool thumbnails = true;
    QMap<QString, bool> switches; // the check boxes of optionSwitches(), by control name
    QString thumbnailExtensions;
    int thumbnailSize = 0;
    int startFolder = 1;
    QString chosenFolder;
    QString jheadExtensions, exifToolExtensions;
};

// The dialog as it loads from the settings.
Form load(const Settings &s);

// Takes the form over into the settings. Every value is converted first, so
// that a value out of range (it throws) leaves the settings untouched.
// Returns whether a thumbnail setting changed. documentsFolder is where
// choice 0 of the start folder points.
bool confirm(Settings &s, const Form &form, const QString &documentsFolder);

} // namespace tav::options
