#pragma once
// The settings record: every value of the settings file, process-wide.
// Read once at start-up (modIniFile::ReadIniFile), written at close and after
// the user saves something (modIniFile::SaveIniFile). Members are named after
// the keys without their section prefix (Option_FormatMois -> FormatMois).
// The window reads the record when it loads and keeps it current (or copies
// its controls into it from the before-save hook of modIniFile).

#include "core/base/Rule.h"

#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

namespace tav {

// The forbidden-character table used when the file has none.
QList<ForbiddenRow> builtInForbiddenTable();
// The names never renamed when the file has no list.
QStringList builtInNeverRenamed();
// The thumbnail sizes used when a language message does not hold one.
std::array<QSizeF, 3> defaultThumbnailSizes();

struct Settings {
    // [Langage]
    QString LangueUtilisee = QStringLiteral("Français");

    // [General]
    QString VersionCourante; // as read; the file is always written with this program's version
    std::int32_t NombreFichierRenomme = 0;
    std::int32_t AfficherImageBouton = 1;
    QString FiltreAffichage = QStringLiteral("*.*");
    std::int32_t VisualiserImage = 0; // chkPreview
    std::int32_t MettreAJour = 1;     // chkRefresh
    // Main window geometry, in twips.
    float PositionFenetreTop = 100;
    float PositionFenetreLeft = 100;
    float FenetreHauteur = 9525;
    float FenetreLargeur = 15250;
    // Saved rules, in memorisation order; entries with an empty pattern are
    // placeholders that are never shown nor written.
    QList<Rule> regles;

    // [Option]
    QList<ForbiddenRow> CharactereInterdit = builtInForbiddenTable();
    QStringList FileNotRenamed = builtInNeverRenamed();
    std::int16_t RegleApresRenommage = 1;      // 0 clear the pattern, 1 keep it
    std::int16_t RegleDebutApresRenommage = 1; // 0 reset, 1 keep, 2 continue
    std::int16_t RegleDebutResetRenommage = 1;
    std::int16_t ReglePasApresRenommage = 1; // 0 reset, 1 keep
    std::int16_t ReglePasResetRenommage = 1;
    std::int32_t OutilExifChoisi = 0; // 0 = not chosen yet
    QString ExtensionTraiteAvecJHEAD = QStringLiteral("JPG JPEG");
    QString ExtensionTraiteAvecEXIFTOOL =
        QStringLiteral("3GP ARW AVIF CR3 CRW HEIC HEIF JPG JPEG M4V MOV MP4 RAW TIF TIFF");
    std::int32_t AfficherVignette = 1;
    QString FormatExtensionVignette = QStringLiteral("gif jpg jpeg bmp");
    std::int16_t TailleVignette = 0;                                 // index into taillesVignette
    std::array<QSizeF, 3> taillesVignette = defaultThumbnailSizes(); // from messages 46 to 48, not stored
    std::int16_t DossierDepart = 1;                                  // 0 documents, 1 last folder, 2 chosen folder
    QString DossierSpecifique;                                       // the start folder's path
    QString dossierCourant;       // the folder tree's current folder (written for DossierDepart 1)
    std::int16_t FormatAnnee = 0; // index into ("yyyy", "yy")
    std::int16_t FormatMois = 1;  // index into ("m", "mm", "mmm", "mmmm")

    // Rename batches kept in the history for undo.
    std::int32_t TailleHistorique = 50;
    // 1: new names are composed to NFC (names written by other systems may be decomposed).
    std::int32_t NormaliserNFC = 0;
    // 1: file names are listed and added in natural order (file2 before
    // file10, case ignored); 0: in plain order. On for a new settings file,
    // off for one written before the option existed.
    std::int32_t OrdreNaturel = 1;

    // [RegleRenommage]: the current rule (pattern, options, comment, file types)
    Rule regle;
    QString Astuce;    // selected tip; not written when empty
    int optRepPos = 0; // 0..2, -1 when no button is on (not written)
    std::array<QString, 4> txtRepPos{QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1"),
                                     QStringLiteral("1")};
    int optRepPosDebutFin = 0; // 0..1, -1 when none
    QString txtRemplacerPos;
    int optRepStr = 0; // 0..2, -1 when none
    QString RechercherChaine;
    QString RemplacerChaine;

    // Bookkeeping of the saved rules: when the file's rules could not be read
    // (unknown version, unreadable value), their keys 0..keptRulesTop stay in
    // the file untouched and the rules of this session are written after them.
    // When the file could not be read at all, the keys to keep are not known
    // yet: keptRulesTop is KeptRulesUnknown and the next save takes them from
    // the file as it finds it.
    static constexpr int KeptRulesUnknown = -2;
    bool reglesLues = true;
    int keptRulesTop = -1;

    bool operator==(const Settings &) const = default;
};

// The process-wide record.
Settings &settings();

} // namespace tav
