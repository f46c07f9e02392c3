#include "core/engine/TokenTable.h"

#include "core/base/MetadataRecord.h"

#include <algorithm>

namespace tav {

namespace {

using K = TokenKind;
using V = TokenValue;
using P = DatePart;
using F = MetadataRecord;

QList<TokenRow> makeTable() {
    auto row = [](const char *text, K kind, V value, P part, int field, int group, int place, int label,
                  const char *french) {
        return TokenRow{QString::fromUtf8(text),  kind, value, part, field, group, place, label,
                        QString::fromUtf8(french)};
    };
    // Groups: 0 current date, 1 file date, 2 miscellaneous, 3 photo, 4 replace
    // a text, 5 replace by position, 6 regular expression.
    return {
        row("#", K::Counter, V::Counter, P::None, -1, 2, 0, 0, "# : chiffre d'une suite"),
        // The counter's own placeholder: typed, it takes the counter too.
        row("$Z$", K::Counter, V::Counter, P::None, -1, -1, -1, -1, ""),

        row("$N$", K::File, V::NameDigits, P::None, -1, 2, 2, 22, "$N$ : numéro du nom"),
        row("*", K::File, V::BaseName, P::None, -1, 2, 1, 1, "* : nom d'origine"),

        row("$A$", K::Clock, V::ClockDate, P::Year, -1, 0, 0, 2, "$A$ : année"),
        row("$M$", K::Clock, V::ClockDate, P::Month, -1, 0, 1, 3, "$M$ : mois"),
        row("$J$", K::Clock, V::ClockDate, P::Day, -1, 0, 2, 4, "$J$ : jour"),
        row("$h$", K::Clock, V::ClockDate, P::Hour, -1, 0, 3, 5, "$h$ : heure"),
        row("$m$", K::Clock, V::ClockDate, P::Minute, -1, 0, 4, 6, "$m$ : minute"),
        row("$s$", K::Clock, V::ClockDate, P::Second, -1, 0, 5, 7, "$s$ : seconde"),

        row("$P$", K::File, V::ParentFolder, P::None, -1, 2, 3, 15, "$P$ : dossier parent"),
        row("$t$", K::File, V::SizeBytes, P::None, -1, 2, 4, 32, "$t$ : taille en octets"),
        row("$D$", K::File, V::FileDate, P::Full, -1, 1, 0, 8, "$D$ : date du fichier"),
        row("$DA$", K::File, V::FileDate, P::Year, -1, 1, 1, 23, "$DA$ : année du fichier"),
        row("$DM$", K::File, V::FileDate, P::Month, -1, 1, 2, 24, "$DM$ : mois du fichier"),
        row("$DJ$", K::File, V::FileDate, P::Day, -1, 1, 3, 25, "$DJ$ : jour du fichier"),
        row("$Dh$", K::File, V::FileDate, P::Hour, -1, 1, 4, 26, "$Dh$ : heure du fichier"),
        row("$Dm$", K::File, V::FileDate, P::Minute, -1, 1, 5, 27, "$Dm$ : minute du fichier"),
        row("$Ds$", K::File, V::FileDate, P::Second, -1, 1, 6, 28, "$Ds$ : seconde du fichier"),

        row("$T$", K::Photo, V::PhotoField, P::None, F::FileSize, 3, 7, 10, "$T$ : taille (Exif)"),
        row("$d$", K::Photo, V::PhotoField, P::None, F::DateTime, 3, 0, 9, "$d$ : date de la prise"),
        row("$dA$", K::Photo, V::PhotoField, P::Year, F::Year, 3, 1, 16, "$dA$ : année de la prise"),
        row("$dM$", K::Photo, V::PhotoField, P::Month, F::Month, 3, 2, 17, "$dM$ : mois de la prise"),
        row("$dJ$", K::Photo, V::PhotoField, P::None, F::Day, 3, 3, 18, "$dJ$ : jour de la prise"),
        row("$dh$", K::Photo, V::PhotoField, P::None, F::Hour, 3, 4, 19, "$dh$ : heure de la prise"),
        row("$dm$", K::Photo, V::PhotoField, P::None, F::Minute, 3, 5, 20, "$dm$ : minute de la prise"),
        row("$ds$", K::Photo, V::PhotoField, P::None, F::Second, 3, 6, 21, "$ds$ : seconde de la prise"),
        row("$K$", K::Photo, V::PhotoField, P::None, F::CameraModel, 3, 10, 13, "$K$ : appareil"),
        row("$R$", K::Photo, V::PhotoField, P::None, F::Resolution, 3, 8, 11, "$R$ : résolution"),
        row("$O$", K::Photo, V::PhotoField, P::None, F::Orientation, 3, 9, 12, "$O$ : orientation"),
        row("$C$", K::Photo, V::PhotoField, P::None, F::Comment, 3, 11, 14, "$C$ : commentaire"),

        row("$REPC", K::Operator, V::ReplaceText, P::None, -1, 4, 0, 29, "$REPC/texte/remplacement$"),
        row("$REPP", K::Operator, V::ReplaceAt, P::None, -1, 5, 0, 30, "$REPP/1/2/1/remplacement$"),
        row("$MKDIR", K::Operator, V::MakeFolders, P::None, -1, 2, 5, 31, "$MKDIR$ : ranger dans des dossiers"),
        row("$REGEX", K::Operator, V::ReplaceRegex, P::None, -1, 6, 0, 33, "$REGEX/motif/remplacement$"),
    };
}

} // namespace

const QList<TokenRow> &tokenTable() {
    static const QList<TokenRow> table = makeTable();
    return table;
}

QString tokenText(TokenValue value) {
    for (const TokenRow &r : tokenTable())
        if (r.value == value)
            return r.text;
    return QString();
}

int tokenLabelCount() {
    int count = 0;
    for (const TokenRow &r : tokenTable())
        count = std::max(count, r.label + 1);
    return count;
}

const TokenRow *tokenOfLabel(int label) {
    if (label < 0)
        return nullptr;
    for (const TokenRow &r : tokenTable())
        if (r.label == label)
            return &r;
    return nullptr;
}

QList<int> labelsOfGroup(int group) {
    QList<const TokenRow *> rows;
    for (const TokenRow &r : tokenTable())
        if (r.group == group && group >= 0)
            rows.append(&r);
    std::stable_sort(rows.begin(), rows.end(),
                     [](const TokenRow *a, const TokenRow *b) { return a->place < b->place; });
    QList<int> labels;
    for (const TokenRow *r : rows)
        labels.append(r->label);
    return labels;
}

int tokenGroupCount() {
    int count = 0;
    for (const TokenRow &r : tokenTable())
        count = std::max(count, r.group + 1);
    return count;
}

QStringList dollarTokens() {
    QStringList out;
    for (const TokenRow &r : tokenTable())
        if (r.text.startsWith(QLatin1Char('$')))
            out.append(r.text);
    return out;
}

bool patternUses(const QString &pattern, TokenKind kind) {
    if (!pattern.contains(QLatin1Char('$')))
        return false;
    for (const TokenRow &r : tokenTable())
        if (r.kind == kind && r.text.startsWith(QLatin1Char('$')) && pattern.contains(r.text))
            return true;
    return false;
}

bool patternUsesMetadata(const QString &pattern) {
    return patternUses(pattern, TokenKind::Photo);
}

} // namespace tav
