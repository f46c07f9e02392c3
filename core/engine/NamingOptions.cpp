#include "core/engine/NamingOptions.h"

#include "core/settings/Settings.h"

namespace tav {

NamingOptions::NamingOptions() : forbidden(builtInForbiddenTable()), neverRenamed(builtInNeverRenamed()) {}

NamingOptions NamingOptions::fromSettings(const Settings &s) {
    NamingOptions o;
    o.rule = s.regle;
    o.takeSettings(s);
    return o;
}

void NamingOptions::takeSettings(const Settings &s) {
    yearFormat = s.FormatAnnee;
    monthFormat = s.FormatMois;
    forbidden = s.CharactereInterdit;
    neverRenamed = s.FileNotRenamed;
    composeNfc = s.NormaliserNFC != 0;
    locale = QLocale(); // the interface language's
}

} // namespace tav
