#include "core/settings/Options.h"

#include "core/base/FrontEnd.h"
#include "core/base/IniFile.h"
#include "core/base/ProgramFolder.h"
#include "core/base/Trap.h"
#include "core/i18n/Language.h"
#include "core/settings/ValueText.h"
#include "core/settings/modIniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace tav::options {

const QList<OptionSwitch> &optionSwitches() {
    static const QList<OptionSwitch> switches = {
        {"chkNFC", "Composer les accents des nouveaux noms (NFC)", 1, &Settings::NormaliserNFC},
        {"chkOrdreNaturel", "Trier les noms dans l'ordre naturel (fichier2 avant fichier10)", 1,
         &Settings::OrdreNaturel},
    };
    return switches;
}

using i18n::Message;

namespace {

const QString kAuthor = QStringLiteral("AUTHOR");

bool askRemoveRow() {
    return frontEnd().msgBox(Message(26), StyleYesNo + StyleQuestion, Message(1)) == AnswerYes;
}

} // namespace

QStringList installedLanguages() {
    QStringList names;
    const QDir dir(QDir(programFolder()).filePath(QStringLiteral("langages")));
    for (const QString &f : dir.entryList({QStringLiteral("*.lng")}, QDir::Files, QDir::Name))
        names << IniFile(dir.filePath(f)).read(QStringLiteral("LANGUAGE"), QStringLiteral("language"));
    return names;
}

Translator translator() {
    Translator t;
    t.shown = i18n::languageName() != QStringLiteral("Français");
    if (t.shown) {
        t.name = i18n::getText(kAuthor, QStringLiteral("name"));
        t.email = i18n::getText(kAuthor, QStringLiteral("email"));
        t.site = i18n::getText(kAuthor, QStringLiteral("site"));
        t.siteMsg = i18n::getText(kAuthor, QStringLiteral("siteMsg"));
    }
    return t;
}

bool pickLanguage(Settings &s, const QString &displayName) {
    if (displayName == i18n::languageName())
        return false;
    const QString file =
        QDir(programFolder())
            .filePath(QStringLiteral("langages/") + i18n::fileNameForLanguage(displayName) + QStringLiteral(".lng"));
    if (displayName.isEmpty() || !QFileInfo::exists(file))
        return false;
    i18n::setLanguage(displayName);
    i18n::discardMessageCache();
    s.LangueUtilisee = displayName;
    if (modIniFile::hooks().languageChanged)
        modIniFile::hooks().languageChanged();
    return true;
}

QStringList yearChoices(QDate day) {
    return {day.toString(QStringLiteral("yyyy")), day.toString(QStringLiteral("yy"))};
}

QStringList monthChoices(QDate day) {
    // Month names in the interface language, as the date tokens write them.
    const QLocale names;
    return {day.toString(QStringLiteral("M")), day.toString(QStringLiteral("MM")),
            names.toString(day, QStringLiteral("MMM")), names.toString(day, QStringLiteral("MMMM"))};
}

CellEdit editForbiddenChars(QList<ForbiddenRow> &rows, int row, const QString &text) {
    if (row < 0 || row >= rows.size())
        return CellEdit::Refused;
    if (text.isEmpty()) {
        if (askRemoveRow()) {
            rows.removeAt(row);
            return CellEdit::Removed;
        }
        frontEnd().msgBox(Message(27), StyleExclamation, Message(1));
        return CellEdit::Refused;
    }
    QString replacement = rows[row].replacement;
    if (!frontEnd().inputBox(Message(28), Message(1), replacement))
        replacement.clear();
    rows[row].chars = text;
    if (replacement.size() == 1) {
        rows[row].replacement = replacement;
        if (row == rows.size() - 1)
            rows.append(ForbiddenRow{});
    } else {
        frontEnd().msgBox(Message(29), StyleExclamation, Message(1));
    }
    return CellEdit::Accepted;
}

CellEdit editNeverRenamed(QStringList &rows, int row, const QString &text) {
    if (row < 0 || row >= rows.size())
        return CellEdit::Refused;
    if (text.isEmpty()) {
        if (askRemoveRow()) {
            rows.removeAt(row);
            return CellEdit::Removed;
        }
        return CellEdit::Refused;
    }
    rows[row] = text;
    if (row == rows.size() - 1)
        rows.append(QString());
    return CellEdit::Accepted;
}

QString counterResetLeave(const QString &text) {
    try {
        valueText::toInt16(text);
        return text;
    } catch (const TavError &e) {
        if (e.number() != ErrTypeMismatch)
            throw;
    }
    frontEnd().msgBox(Message(13) + QStringLiteral("\r\n"), StyleExclamation, Message(2));
    return QStringLiteral("1");
}

Form load(const Settings &s) {
    Form f;
    f.year = s.FormatAnnee;
    f.month = s.FormatMois;
    f.forbidden = s.CharactereInterdit;
    f.forbidden.append(ForbiddenRow{});
    f.neverRenamed = s.FileNotRenamed;
    f.neverRenamed.append(QString());
    f.optRegle = s.RegleApresRenommage;
    f.optDebut = s.RegleDebutApresRenommage;
    f.optPas = s.ReglePasApresRenommage;
    f.txtDebut = QString::number(s.RegleDebutResetRenommage);
    f.txtPas = QString::number(s.ReglePasResetRenommage);
    f.thumbnails = s.AfficherVignette != 0;
    for (const OptionSwitch &sw : optionSwitches())
        f.switches[QLatin1String(sw.control)] = s.*sw.field != 0;
    f.thumbnailExtensions = s.FormatExtensionVignette;
    f.thumbnailSize = s.TailleVignette;
    f.startFolder = s.DossierDepart;
    if (s.DossierDepart == 2)
        f.chosenFolder = s.DossierSpecifique;
    f.jheadExtensions = s.ExtensionTraiteAvecJHEAD;
    f.exifToolExtensions = s.ExtensionTraiteAvecEXIFTOOL;
    return f;
}

bool confirm(Settings &s, const Form &form, const QString &documentsFolder) {
    Settings n = s;
    if (form.year >= 0)
        n.FormatAnnee = std::int16_t(form.year);
    if (form.month >= 0)
        n.FormatMois = std::int16_t(form.month);

    // Every row but the trailing one. An empty table would be written as
    // "no table" and come back as the built-in one at the next start: it is
    // kept as one row that replaces nothing, as the names list is.
    n.CharactereInterdit = form.forbidden.mid(0, std::max<qsizetype>(form.forbidden.size() - 1, 0));
    if (n.CharactereInterdit.isEmpty())
        n.CharactereInterdit = {ForbiddenRow{}};
    n.FileNotRenamed = form.neverRenamed.mid(0, std::max<qsizetype>(form.neverRenamed.size() - 1, 0));
    if (n.FileNotRenamed.isEmpty())
        n.FileNotRenamed = {QString()};

    n.RegleApresRenommage = form.optRegle == 0 ? 0 : 1;
    n.RegleDebutApresRenommage = std::int16_t(std::clamp(form.optDebut, 0, 2));
    n.RegleDebutResetRenommage = valueText::toInt16(form.txtDebut);
    n.ReglePasApresRenommage = form.optPas == 0 ? 0 : 1;
    n.ReglePasResetRenommage = valueText::toInt16(form.txtPas);

    for (const OptionSwitch &sw : optionSwitches())
        n.*sw.field = form.switches.value(QLatin1String(sw.control)) ? 1 : 0;
    n.AfficherVignette = form.thumbnails ? 1 : 0;
    n.FormatExtensionVignette = form.thumbnailExtensions;
    if (form.thumbnailSize >= 0 && form.thumbnailSize <= 2)
        n.TailleVignette = std::int16_t(form.thumbnailSize);
    const bool thumbnailsChanged = n.AfficherVignette != s.AfficherVignette ||
                                   n.FormatExtensionVignette != s.FormatExtensionVignette ||
                                   n.TailleVignette != s.TailleVignette;

    n.DossierDepart = std::int16_t(form.startFolder >= 0 && form.startFolder <= 2 ? form.startFolder : 0);
    if (n.DossierDepart == 0)
        n.DossierSpecifique = documentsFolder;
    else if (n.DossierDepart == 2)
        n.DossierSpecifique = form.chosenFolder;

    n.ExtensionTraiteAvecJHEAD = form.jheadExtensions.toUpper();
    n.ExtensionTraiteAvecEXIFTOOL = form.exifToolExtensions.toUpper();
    s = n;
    return thumbnailsChanged;
}

} // namespace tav::options
