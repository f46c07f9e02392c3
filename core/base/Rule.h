#pragma once
// The rename rule: the pattern and its eleven option fields. The same twelve
// fields make up a saved rule.

#include <QString>
#include <cstdint>

namespace tav {

// DebutPas value that stands for "#", the continue mode of the counter.
inline constexpr std::int32_t ContinueModeStart = 2147483647;

struct Rule {
    QString Regle;                                    // the pattern
    std::int32_t DebutPas = 1;                        // counter start, ContinueModeStart for "#"
    std::int16_t Pas = 1;                             // counter step
    int ModifieExtension = 0;                         // 0/1
    QString ModifieExtensionValeur;                   // new extension, without the dot
    int RemplacerCaractereInterdit = 1;               // 0/1, acts only when exactly 1
    int IncrementeFichierIdentique = 1;               // 0/1
    int EffaceEspace = 0;                             // 0/1
    int PremierCaractereEnMajuscule = 0;              // 0/1
    int PremierCaractereEnMajusculePourChaqueMot = 0; // 0/1
    QString Commentaire;                              // free comment
    QString Extension = QStringLiteral("*");          // file-type filter

    bool operator==(const Rule &) const = default;
};

// One row of the forbidden-character table: every character of chars is
// replaced by the whole replacement (which may be empty or longer).
struct ForbiddenRow {
    QString chars;
    QString replacement;
    bool operator==(const ForbiddenRow &) const = default;
};

// Case option of the window (not saved with the rule).
enum class CaseOption : int { Preserve = 0, Upper = 1, Lower = 2 };

} // namespace tav
