#pragma once
// Texts of the rename and of crash recovery that have no message number: read
// from section "Renommer" of the language file, with a built-in default.

#include <QString>

namespace tav {

QString renameText(const char *key, const char *fallback, const QString &p1 = QString(), const QString &p2 = QString());

} // namespace tav
