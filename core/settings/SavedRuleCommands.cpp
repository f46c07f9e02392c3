#include "core/settings/SavedRuleCommands.h"

#include "core/base/FrontEnd.h"
#include "core/i18n/Language.h"
#include "core/settings/SavedRules.h"
#include "core/settings/modIniFile.h"

namespace tav::savedRules {

namespace {

// The comment label goes back to "no comment, every file type".
void resetLabel(Rule &current) {
    current.Commentaire.clear();
    current.Extension = QStringLiteral("*");
}

} // namespace

bool memorise(Settings &s, const Rule &current) {
    if (current.Regle.isEmpty())
        return false;
    // "|" separates the fields of the stored rule: a field holding one would
    // come back cut into pieces.
    if (current.Regle.contains(Separator) || current.ModifieExtensionValeur.contains(Separator)) {
        frontEnd().msgBox(i18n::Message(21, QStringLiteral("|")), StyleInformation, i18n::Message(2));
        return false;
    }
    if (current.Commentaire.contains(Separator) || current.Extension.contains(Separator)) {
        frontEnd().msgBox(i18n::Message(99), StyleInformation, i18n::Message(2));
        return false;
    }
    int i = indexOf(s, current.Regle);
    if (i < 0) {
        s.regles.append(Rule{});
        i = int(s.regles.size() - 1);
    }
    s.regles[i] = current;
    modIniFile::SaveIniFile(s);
    return true;
}

bool forget(Settings &s, Rule &current) {
    if (current.Regle.isEmpty())
        return false;
    if (frontEnd().msgBox(i18n::Message(31, current.Regle), StyleInformation + StyleYesNo, i18n::Message(1)) !=
        AnswerYes)
        return false;
    const int i = indexOf(s, current.Regle);
    resetLabel(current);
    if (i >= 0) {
        s.regles.removeAt(i);
        modIniFile::SaveIniFile(s);
    }
    return true;
}

bool forgetAll(Settings &s, Rule &current) {
    if (frontEnd().msgBox(i18n::Message(30), StyleInformation + StyleYesNo, i18n::Message(1)) != AnswerYes)
        return false;
    s.regles.clear();
    resetLabel(current);
    modIniFile::SaveIniFile(s);
    return true;
}

} // namespace tav::savedRules
