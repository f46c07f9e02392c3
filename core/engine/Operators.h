#pragma once
// The two operators that rebuild a name from the file's base name:
//   $REPC/search/replacement$ and $REPC/search/replacement/mode$ (mode -1 or 1)
//   $REPP/a/b/direction/replacement$ (direction 1 = from the start)
// and the text assembly of the main window's two operator builders.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace tav {

// Where what first stands in text at or after from, as QStringView::indexOf
// finds it; a short what in a name is looked for directly, without the set-up
// of a general search.
qsizetype findText(QStringView text, QStringView what, qsizetype from = 0);

// Fields of $REPC as the field scan finds them in a name.
struct RepcFields {
    QString search;
    QString replacement;
    QString mode; // empty, "-1", "1" or anything the user typed
};

// Fields of $REPP as the field scan finds them in a name.
struct ReppFields {
    QString a = QStringLiteral("1");
    QString b = QStringLiteral("1");
    bool fromStart = false;
    QString replacement;
};

// Field scans. The scan starts after the operator's first "/" and runs to the
// end of the name: every later "/" and "$" counts, not only those up to the
// first "$". A name without the operator gives the defaults.
RepcFields scanRepcFields(const QString &name);
ReppFields scanReppFields(const QString &name);

// $REPC applied to base (the old name without its extension). Returns the new
// whole name; an unknown mode returns name unchanged.
QString applyRepc(const QString &name, const QString &base);
// The same, written into out (emptied first, its room kept).
void applyRepc(QStringView name, QStringView base, QString &out);

// Result of $REPP: stop is true when neither position is usable (message 45
// has then been shown once and the caller must stop recomputing the list).
struct ReppResult {
    QString name;
    bool stop = false;
};

// $REPP applied to base. Throws TavError(ErrOverflow) when a position does not
// fit in 16 bits; shows message 45 (warning, title message 2) and returns
// stop when neither position is a number.
ReppResult applyRepp(const QString &name, const QString &base);

// A $REPP position: its whole-number value when the text is a number (rounded
// half to even), nullopt otherwise. Throws TavError(ErrOverflow) beyond 16 bits.
std::optional<std::int16_t> readPosition(const QString &text);

// cmdRepPos_Click: the $REPP text built from the builder's fields.
// optRepPos: 0 between (txtRepPos 0 and 1), 1 before (txtRepPos 2), 2 after
// (txtRepPos 3); optRepPosDebutFin: 0 from the start, 1 from the end.
// txtRepPos must hold the four field texts (missing ones count as empty).
QString cmdRepPosText(int optRepPos, const QStringList &txtRepPos, int optRepPosDebutFin,
                      const QString &txtRemplacerPos);

// cmdRepStr_Click: the $REPC text; optRepStr 0 the text itself, 1 before it,
// 2 after it. An empty search text shows message 51 (information box titled
// "Message") and returns nullopt: the pattern must not change.
std::optional<QString> cmdRepStrText(const QString &txtRechercher, const QString &txtRemplacer, int optRepStr);

// Leaving a txtRepPos field: a number becomes its whole value as plain
// digits (half to even); below 1 or not a number becomes "1"; above 32767,
// the largest 16-bit position, becomes "32767".
QString txtRepPosLeaveText(const QString &text);

} // namespace tav
