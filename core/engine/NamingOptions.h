#pragma once
// Everything besides the file that decides a new name: the rule and the
// settings the pattern language reads. Built once from the settings (or
// from the command line's options) and handed to the name computer.

#include "core/base/Rule.h"
#include "core/engine/Normalise.h"

#include <QList>
#include <QLocale>
#include <QStringList>

namespace tav {

struct Settings;

struct NamingOptions {
    // The pattern, the counter (DebutPas is ContinueModeStart for the
    // continue mode) and the rule's options.
    Rule rule;
    CaseOption caseOption = CaseOption::Preserve;
    int yearFormat = 0;  // 0 "yyyy", 1 "yy"
    int monthFormat = 1; // 0 "m", 1 "mm", 2 "mmm", 3 "mmmm"
    QLocale locale;      // month names: the interface language's
    QList<ForbiddenRow> forbidden;
    QStringList neverRenamed;
    bool composeNfc = false; // new names composed to NFC, after the forbidden characters
    // A counter field that does not read (not a number, out of range): a
    // name that uses the counter fails as reading that field does.
    CounterField::Status startReading = CounterField::Ok;
    CounterField::Status stepReading = CounterField::Ok;

    // The settings' defaults for the tables.
    NamingOptions();
    // The rule and every naming setting of s.
    static NamingOptions fromSettings(const Settings &s);
    // The naming settings of s (formats and tables), the rule left alone:
    // what the options dialog changes.
    void takeSettings(const Settings &s);

    bool continueMode() const { return rule.DebutPas == ContinueModeStart; }
    bool operator==(const NamingOptions &) const = default;
};

} // namespace tav
