#pragma once
// The commands that memorise and forget saved rules: they change the
// settings record and write the settings file at once.

#include "core/base/Rule.h"
#include "core/settings/Settings.h"

namespace tav::savedRules {

// Memorise the current rule (a pattern already saved gets the new options
// and comment). Nothing happens for an empty pattern. The settings file is
// written at once. Returns true when the saved rules changed.
bool memorise(Settings &s, const Rule &current);
// Forget the current rule after message 31. On yes the rule (when saved) is
// removed and the comment label of current is reset; returns true then.
bool forget(Settings &s, Rule &current);
// Forget every saved rule after message 30; on yes the comment label is reset.
bool forgetAll(Settings &s, Rule &current);

} // namespace tav::savedRules
