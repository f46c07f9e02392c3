#include "core/settings/Settings.h"

namespace tav {

QList<ForbiddenRow> builtInForbiddenTable() {
    return {
        {QStringLiteral("éèêë"), QStringLiteral("e")},       {QStringLiteral("àâ"), QStringLiteral("a")},
        {QStringLiteral("ç"), QStringLiteral("c")},          {QStringLiteral("ïì"), QStringLiteral("i")},
        {QStringLiteral("ùû"), QStringLiteral("u")},         {QStringLiteral("ô"), QStringLiteral("o")},
        {QStringLiteral("/:?\"<>|\\"), QStringLiteral("_")},
    };
}

QStringList builtInNeverRenamed() {
    return {QStringLiteral("desktop.ini"), QStringLiteral("fssort.ini"), QStringLiteral("Thumbs.db")};
}

std::array<QSizeF, 3> defaultThumbnailSizes() {
    return {QSizeF(64, 64), QSizeF(96, 96), QSizeF(128, 128)};
}

Settings &settings() {
    static Settings s;
    return s;
}

} // namespace tav
