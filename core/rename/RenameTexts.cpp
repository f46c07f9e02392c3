#include "core/rename/RenameTexts.h"

#include "core/i18n/Language.h"

namespace tav {

QString renameText(const char *key, const char *fallback, const QString &p1, const QString &p2) {
    return i18n::getText(QStringLiteral("Renommer"), QString::fromLatin1(key), QString::fromUtf8(fallback), p1, p2);
}

} // namespace tav
