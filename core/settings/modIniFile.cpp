#include "core/settings/modIniFile.h"

#include "core/base/FrontEnd.h"
#include "core/base/IniFile.h"
#include "core/base/Trap.h"
#include "core/base/Version.h"
#include "core/i18n/Language.h"
#include "core/settings/SavedRules.h"
#include "core/settings/ValueText.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <array>
#include <functional>
#include <limits>
#include <type_traits>
#include <vector>

namespace tav::modIniFile {

namespace {

const QString kLangage = QStringLiteral("Langage");
const QString kGeneral = QStringLiteral("General");
const QString kOption = QStringLiteral("Option");
const QString kRegle = QStringLiteral("RegleRenommage");

QString g_path;
bool g_lastSaveFailed = false;

// The sections are named by the keys' prefix: "Option_FormatMois" lives in
// section "Option".
QString sectionOf(const QString &key) {
    return key.left(key.indexOf(u'_'));
}

// Read access with the conversions of the key table.
class Reader {
public:
    explicit Reader(const IniFile &ini) : m_ini(ini) {}
    QString text(const QString &key, const QString &def = QString()) const {
        return m_ini.read(sectionOf(key), key, def);
    }
    // Without the length limit of the other values: a saved rule cut short
    // would lose or garble the option fields at its end.
    QString wholeText(const QString &key) const {
        return m_ini.read(sectionOf(key), key, QString(), std::numeric_limits<int>::max());
    }
    std::int16_t int16(const QString &key, int def) const {
        return valueText::toInt16(text(key, QString::number(def)));
    }
    std::int32_t int32(const QString &key, int def) const {
        return valueText::toInt32(text(key, QString::number(def)));
    }
    float single(const QString &key, float def) const {
        return valueText::toSingle(text(key, valueText::fromSingle(def)));
    }

private:
    const IniFile &m_ini;
};

class Writer {
public:
    explicit Writer(IniFile &ini) : m_ini(ini) {}
    void text(const QString &key, const QString &value) { m_ini.write(sectionOf(key), key, value); }
    void number(const QString &key, qint64 value) { text(key, QString::number(value)); }
    void single(const QString &key, float value) { text(key, valueText::fromSingle(value)); }

    // The version of the file as it stood before this save.
    QString fileVersion;

private:
    IniFile &m_ini;
};

bool isOldVersion(const QString &v) {
    return v == QLatin1String("1.10.0") || v == QLatin1String("1.11.0");
}

// Versions that wrote the saved rules in this program's twelve-field format:
// from the first of them up to this program's own version.
bool isCurrentVersion(const QString &v) {
    const QStringList parts = v.split(u'.');
    if (parts.size() != 3)
        return false;
    std::array<int, 3> n{};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        n[i] = parts[i].toInt(&ok);
        if (!ok || n[i] < 0 || QString::number(n[i]) != parts[i])
            return false;
    }
    return n >= std::array<int, 3>{1, 12, 0} && n <= std::array<int, 3>{VersionMajor, VersionMinor, VersionRevision};
}

// An index that other parts use to pick from a fixed list: a value outside
// the list falls back to the default instead of indexing past its end.
template <class T> T inRange(T value, int last, T def) {
    return (value >= 0 && value <= last) ? value : def;
}

// Thumbnail size from a message of the form "label (WIDTHxHEIGHT)".
QSizeF parseThumbnailSize(const QString &message, QSizeF fallback) {
    const qsizetype open = message.indexOf(u'(');
    if (open < 0)
        return fallback;
    QString inner = message.mid(open + 1);
    const qsizetype close = inner.indexOf(u')');
    if (close < 0)
        return fallback;
    inner.truncate(close);
    const qsizetype x = inner.indexOf(u'x');
    if (x < 0)
        return fallback;
    try {
        const float w = valueText::toSingle(inner.left(x));
        const float h = valueText::toSingle(inner.mid(x + 1));
        if (w > 0 && h > 0)
            return QSizeF(w, h);
    } catch (const TavError &) {
    }
    return fallback;
}

// Highest n of the keys General_Regle<n> present in the file, or -1.
int highestRuleKey(const IniFile &ini) {
    static const QRegularExpression re(QStringLiteral("^General_Regle(\\d{1,9})$"),
                                       QRegularExpression::CaseInsensitiveOption);
    int top = -1;
    for (const QString &key : ini.keys(kGeneral)) {
        const auto m = re.match(key);
        if (m.hasMatch())
            top = std::max(top, m.captured(1).toInt());
    }
    return top;
}

// The stored upper index of the saved rules, or the highest rule key present
// when the stored value is no usable number.
int storedRuleTop(const IniFile &ini) {
    try {
        return Reader(ini).int16(QStringLiteral("General_NombreRegle"), -1);
    } catch (const TavError &) {
        return highestRuleKey(ini);
    }
}

// The saved rules of the file stay untouched: this session's rules go after them.
void keepFileRules(Settings &s, const IniFile &ini) {
    s.reglesLues = false;
    s.keptRulesTop = std::max(storedRuleTop(ini), highestRuleKey(ini));
}

void readRules(Settings &s, const IniFile &ini, const Reader &r) {
    int top = r.int16(QStringLiteral("General_NombreRegle"), 0);
    if (top < 0)
        top = 0;
    s.regles = QList<Rule>(top + 1, Rule{});
    s.reglesLues = true;
    s.keptRulesTop = -1;

    const QString version = s.VersionCourante;
    if (version.isEmpty()) {
        // Never saved by a version that wrote rules: nothing to read, but
        // whatever rule keys a hand-made file holds are kept.
        if (highestRuleKey(ini) >= 0)
            keepFileRules(s, ini);
        return;
    }
    if (!isOldVersion(version) && !isCurrentVersion(version)) {
        keepFileRules(s, ini);
        frontEnd().msgBox(i18n::Message(96, version), StyleInformation, i18n::Message(1));
        return;
    }
    for (int i = 0; i <= top; ++i) {
        const QString text = r.wholeText(QStringLiteral("General_Regle") + QString::number(i));
        if (text.isEmpty())
            continue;
        s.regles[i] = isOldVersion(version) ? savedRules::fromOldText(text) : savedRules::fromText(text);
    }
}

void writeRules(Settings &s, IniFile &ini, Writer &w) {
    const QString &fileVersion = w.fileVersion;
    const QString prefix = QStringLiteral("General_Regle");
    if (!s.reglesLues && s.keptRulesTop == Settings::KeptRulesUnknown)
        s.keptRulesTop = std::max(storedRuleTop(ini), highestRuleKey(ini));
    // Kept rules of an older file are in its six-field format, but the file
    // is about to carry this version: they are written in this version's format.
    if (!s.reglesLues && isOldVersion(fileVersion)) {
        for (int i = 0; i <= s.keptRulesTop; ++i) {
            const QString key = prefix + QString::number(i);
            const QString text = ini.read(kGeneral, key, QString(), std::numeric_limits<int>::max());
            if (text.isEmpty())
                continue;
            try {
                w.text(key, savedRules::toText(savedRules::fromOldText(text)));
            } catch (const TavError &) {
                // Not a readable rule: left as it is.
            }
        }
    }
    int first = 0;
    int deleteFrom = 0;
    if (!s.reglesLues && s.keptRulesTop >= 0) {
        first = s.keptRulesTop + 1;
        deleteFrom = first;
    }
    // Keys of the previous save: up to its stored upper index (and, for a
    // file whose own rules are kept, anything written after them).
    int previousTop = storedRuleTop(ini);
    if (deleteFrom > 0)
        previousTop = std::max(previousTop, highestRuleKey(ini));
    for (int i = deleteFrom; i <= previousTop; ++i)
        ini.remove(kGeneral, prefix + QString::number(i));

    int k = first;
    for (const Rule &rule : s.regles) {
        if (rule.Regle.isEmpty())
            continue;
        w.text(prefix + QString::number(k), savedRules::toText(rule));
        ++k;
    }
    w.number(QStringLiteral("General_NombreRegle"), k - 1);
}

// Sets the interface language read from the file.
void useLanguage(const QString &name) {
    i18n::setLanguage(name);
    if (!QFileInfo::exists(i18n::languageFilePath()) && i18n::languageFileName() != QLatin1String("francais")) {
        // A language that is no longer installed would leave every text
        // empty: the design language stands in for this run, the user is
        // told, and the stored choice stays until another one is picked.
        const QString missing = QDir::toNativeSeparators(i18n::languageFilePath());
        i18n::setLanguage(QStringLiteral("Français"));
        frontEnd().msgBox(i18n::getText(QStringLiteral("Language"), QStringLiteral("FileMissing"),
                                        QStringLiteral("Le fichier de langue %s est introuvable : "
                                                       "les textes sont affichés en français."),
                                        missing),
                          StyleExclamation, i18n::Message(1));
    }
    if (hooks().languageChanged)
        hooks().languageChanged();
}

// One key of the file (an indexed key stands for all its entries): the reading
// step reported when its value cannot be read, and how it is read into the
// record and written from it. The table is in the order start-up reads the keys.
struct KeyDef {
    QString name;
    int step;
    std::function<void(Settings &, const IniFile &, const Reader &)> read;
    std::function<void(Settings &, IniFile &, Writer &)> write;
};

enum class Width { Int16, Int32 };

// A text key; def gives the default (some defaults are language messages).
template <class Field> KeyDef textKey(const char *name, int step, Field field, std::function<QString()> def = {}) {
    const QString key = QLatin1String(name);
    return {key, step,
            [=](Settings &s, const IniFile &, const Reader &r) { field(s) = r.text(key, def ? def() : QString()); },
            [=](Settings &s, IniFile &, Writer &w) { w.text(key, field(s)); }};
}

// A number key; with last >= 0 the value is an index into a list of last + 1
// choices, and one outside it falls back to def. With onlyWhenSet a negative
// value (no choice) is not written.
template <class Field>
KeyDef numberKey(const char *name, int step, Field field, Width width, int def, int last = -1,
                 bool onlyWhenSet = false) {
    const QString key = QLatin1String(name);
    return {key, step,
            [=](Settings &s, const IniFile &, const Reader &r) {
                const int v = width == Width::Int16 ? r.int16(key, def) : r.int32(key, def);
                field(s) = std::remove_reference_t<decltype(field(s))>(last >= 0 ? inRange(v, last, def) : v);
            },
            [=](Settings &s, IniFile &, Writer &w) {
                if (!onlyWhenSet || field(s) >= 0)
                    w.number(key, field(s));
            }};
}

// A window position or size in twips; a position below -100000 reads as 100.
template <class Field> KeyDef twipsKey(const char *name, int step, Field field, float def, bool guarded) {
    const QString key = QLatin1String(name);
    return {key, step,
            [=](Settings &s, const IniFile &, const Reader &r) {
                float v = r.single(key, def);
                if (guarded && v < -100000)
                    v = 100;
                field(s) = v;
            },
            [=](Settings &s, IniFile &, Writer &w) { w.single(key, field(s)); }};
}

#define TAV_FIELD(member)                                                                                              \
    [](auto &s) -> auto & {                                                                                            \
        return s.member;                                                                                               \
    }

// Steps 1 to 6: the language, the general values and the two tables.
void addGeneralKeys(std::vector<KeyDef> &t) {
    t.push_back({QStringLiteral("Langage_LangueUtilisee"), 1,
                 [](Settings &s, const IniFile &, const Reader &r) {
                     s.LangueUtilisee = r.text(QStringLiteral("Langage_LangueUtilisee"), QStringLiteral("Français"));
                     useLanguage(s.LangueUtilisee);
                 },
                 [](Settings &s, IniFile &, Writer &w) {
                     w.text(QStringLiteral("Langage_LangueUtilisee"), s.LangueUtilisee);
                 }});
    // Read as stored; always written as this program's version.
    t.push_back({QStringLiteral("General_VersionCourante"), 2,
                 [](Settings &s, const IniFile &, const Reader &r) {
                     s.VersionCourante = r.text(QStringLiteral("General_VersionCourante"));
                 },
                 [](Settings &, IniFile &, Writer &w) {
                     w.text(QStringLiteral("General_VersionCourante"), programVersion());
                 }});
    t.push_back(numberKey("General_NombreFichierRenomme", 2, TAV_FIELD(NombreFichierRenomme), Width::Int32, 0));
    t.push_back(numberKey("General_AfficherImageBouton", 2, TAV_FIELD(AfficherImageBouton), Width::Int32, 1));
    t.push_back({QStringLiteral("General_FiltreAffichage"), 2,
                 [](Settings &s, const IniFile &, const Reader &r) {
                     s.FiltreAffichage = r.text(QStringLiteral("General_FiltreAffichage"), QStringLiteral("*.*"));
                     // Older versions separated the patterns with "|".
                     if (isOldVersion(s.VersionCourante))
                         s.FiltreAffichage = s.FiltreAffichage.split(u'|').join(u' ');
                 },
                 [](Settings &s, IniFile &, Writer &w) {
                     w.text(QStringLiteral("General_FiltreAffichage"), s.FiltreAffichage);
                 }});
    t.push_back(numberKey("General_VisualiserImage", 4, TAV_FIELD(VisualiserImage), Width::Int32, 0));
    t.push_back(numberKey("General_MettreAJour", 4, TAV_FIELD(MettreAJour), Width::Int32, 1));
    // The forbidden-character table: its upper index, then two keys per row.
    t.push_back({QStringLiteral("Option_NombreCaractereInterdit"), 5,
                 [](Settings &s, const IniFile &, const Reader &r) {
                     const int n = r.int16(QStringLiteral("Option_NombreCaractereInterdit"), -1);
                     if (n < 0) {
                         s.CharactereInterdit = builtInForbiddenTable();
                         return;
                     }
                     s.CharactereInterdit.clear();
                     for (int i = 0; i <= n; ++i)
                         s.CharactereInterdit.append(
                             {r.text(QStringLiteral("Option_CharactereInterdit") + QString::number(i)),
                              r.text(QStringLiteral("Option_CharactereReplacement") + QString::number(i))});
                 },
                 [](Settings &s, IniFile &, Writer &w) {
                     w.number(QStringLiteral("Option_NombreCaractereInterdit"), s.CharactereInterdit.size() - 1);
                     for (int i = 0; i < s.CharactereInterdit.size(); ++i) {
                         w.text(QStringLiteral("Option_CharactereInterdit") + QString::number(i),
                                s.CharactereInterdit[i].chars);
                         w.text(QStringLiteral("Option_CharactereReplacement") + QString::number(i),
                                s.CharactereInterdit[i].replacement);
                     }
                 }});
    t.push_back({QStringLiteral("Option_CharactereInterdit"), 5, nullptr, nullptr});
    t.push_back({QStringLiteral("Option_CharactereReplacement"), 5, nullptr, nullptr});
    t.push_back({QStringLiteral("Option_NbFileNotRenamed"), 6,
                 [](Settings &s, const IniFile &, const Reader &r) {
                     const int m = r.int16(QStringLiteral("Option_NbFileNotRenamed"), -1);
                     if (m < 0) {
                         s.FileNotRenamed = builtInNeverRenamed();
                         return;
                     }
                     s.FileNotRenamed.clear();
                     for (int i = 0; i <= m; ++i)
                         s.FileNotRenamed.append(r.text(QStringLiteral("Option_FileNotRenamed") + QString::number(i)));
                 },
                 [](Settings &s, IniFile &, Writer &w) {
                     w.number(QStringLiteral("Option_NbFileNotRenamed"), s.FileNotRenamed.size() - 1);
                     for (int i = 0; i < s.FileNotRenamed.size(); ++i)
                         w.text(QStringLiteral("Option_FileNotRenamed") + QString::number(i), s.FileNotRenamed[i]);
                 }});
    t.push_back({QStringLiteral("Option_FileNotRenamed"), 6, nullptr, nullptr});
}

// Steps 10 to 17: the current rule, the window, the saved rules and the
// operator builders' fields.
void addRuleKeys(std::vector<KeyDef> &t) {
    t.push_back(numberKey("RegleRenommage_DebutPas", 10, TAV_FIELD(regle.DebutPas), Width::Int32, 1));
    t.push_back(numberKey("RegleRenommage_Pas", 10, TAV_FIELD(regle.Pas), Width::Int16, 1));
    t.push_back(numberKey("RegleRenommage_ModifieExtension", 10, TAV_FIELD(regle.ModifieExtension), Width::Int32, 0));
    t.push_back(textKey("RegleRenommage_ModifieExtensionValeur", 10, TAV_FIELD(regle.ModifieExtensionValeur)));
    t.push_back(numberKey("RegleRenommage_RemplacerCaractereInterdit", 10, TAV_FIELD(regle.RemplacerCaractereInterdit),
                          Width::Int32, 1));
    t.push_back(textKey("RegleRenommage_Regle", 10, TAV_FIELD(regle.Regle), [] { return i18n::Message(16); }));
    t.push_back(numberKey("RegleRenommage_IncrementeFichierIdentique", 10, TAV_FIELD(regle.IncrementeFichierIdentique),
                          Width::Int32, 1));
    t.push_back(numberKey("RegleRenommage_EffaceEspace", 10, TAV_FIELD(regle.EffaceEspace), Width::Int32, 0));
    t.push_back(numberKey("RegleRenommage_PremierCaractereEnMajuscule", 10,
                          TAV_FIELD(regle.PremierCaractereEnMajuscule), Width::Int32, 0));
    t.push_back(numberKey("RegleRenommage_PremierCaractereEnMajusculePourChaqueMot", 10,
                          TAV_FIELD(regle.PremierCaractereEnMajusculePourChaqueMot), Width::Int32, 0));
    t.push_back(twipsKey("General_PositionFenetreTop", 11, TAV_FIELD(PositionFenetreTop), 100, true));
    t.push_back(twipsKey("General_PositionFenetreLeft", 11, TAV_FIELD(PositionFenetreLeft), 100, true));
    t.push_back(twipsKey("General_FenetreHauteur", 11, TAV_FIELD(FenetreHauteur), 9525, false));
    t.push_back(twipsKey("General_FenetreLargeur", 11, TAV_FIELD(FenetreLargeur), 15250, false));
    t.push_back(
        textKey("RegleRenommage_Commentaire", 12, TAV_FIELD(regle.Commentaire), [] { return i18n::Message(95); }));
    t.push_back(
        textKey("RegleRenommage_Extension", 12, TAV_FIELD(regle.Extension), [] { return QStringLiteral("*"); }));
    // The saved rules: their upper index and one key each.
    t.push_back({QStringLiteral("General_NombreRegle"), 13,
                 [](Settings &s, const IniFile &ini, const Reader &r) {
                     readRules(s, ini, r);
                     savedRules::takeCommentOfMatchingRule(s);
                 },
                 [](Settings &s, IniFile &ini, Writer &w) { writeRules(s, ini, w); }});
    t.push_back({QStringLiteral("General_Regle"), 13, nullptr, nullptr});
    KeyDef tip = textKey("RegleRenommage_Astuce", 16, TAV_FIELD(Astuce));
    tip.write = [](Settings &s, IniFile &, Writer &w) {
        // No selected tip leaves the stored one.
        if (!s.Astuce.isEmpty())
            w.text(QStringLiteral("RegleRenommage_Astuce"), s.Astuce);
    };
    t.push_back(tip);
    t.push_back(numberKey("RegleRenommage_optRepPos", 17, TAV_FIELD(optRepPos), Width::Int16, 0, 2, true));
    t.push_back({QStringLiteral("RegleRenommage_txtRepPos"), 17,
                 [](Settings &s, const IniFile &, const Reader &r) {
                     for (int i = 0; i < 4; ++i)
                         s.txtRepPos[i] = r.text(QStringLiteral("RegleRenommage_txtRepPos") + QString::number(i),
                                                 QStringLiteral("1"));
                 },
                 [](Settings &s, IniFile &, Writer &w) {
                     for (int i = 0; i < 4; ++i)
                         w.text(QStringLiteral("RegleRenommage_txtRepPos") + QString::number(i), s.txtRepPos[i]);
                 }});
    t.push_back(
        numberKey("RegleRenommage_optRepPosDebutFin", 17, TAV_FIELD(optRepPosDebutFin), Width::Int16, 0, 1, true));
    t.push_back(textKey("RegleRenommage_txtRemplacerPos", 17, TAV_FIELD(txtRemplacerPos)));
    t.push_back(numberKey("RegleRenommage_optRepStr", 17, TAV_FIELD(optRepStr), Width::Int16, 0, 2, true));
    t.push_back(textKey("RegleRenommage_RechercherChaine", 17, TAV_FIELD(RechercherChaine)));
    t.push_back(textKey("RegleRenommage_RemplacerChaine", 17, TAV_FIELD(RemplacerChaine)));
    t.push_back(numberKey("Option_TailleHistorique", 17, TAV_FIELD(TailleHistorique), Width::Int32, 50));
    t.push_back(numberKey("Option_NormaliserNFC", 17, TAV_FIELD(NormaliserNFC), Width::Int32, 0, 1));
    // A file from a version without the key keeps the order its user knew.
    KeyDef natural = numberKey("Option_OrdreNaturel", 17, TAV_FIELD(OrdreNaturel), Width::Int32, 1, 1);
    natural.read = [](Settings &s, const IniFile &, const Reader &r) {
        const int def = s.VersionCourante.isEmpty() ? 1 : 0;
        s.OrdreNaturel = inRange<int>(int(r.int32(QStringLiteral("Option_OrdreNaturel"), def)), 1, def);
    };
    t.push_back(natural);
}

const std::vector<KeyDef> &keyTable() {
    static const std::vector<KeyDef> table = [] {
        std::vector<KeyDef> t;
        addGeneralKeys(t);
        // Steps 7 to 9: the options.
        t.push_back(numberKey("Option_RegleApresRenommage", 7, TAV_FIELD(RegleApresRenommage), Width::Int16, 1));
        t.push_back(
            numberKey("Option_RegleDebutApresRenommage", 7, TAV_FIELD(RegleDebutApresRenommage), Width::Int16, 1));
        t.push_back(
            numberKey("Option_RegleDebutResetRenommage", 7, TAV_FIELD(RegleDebutResetRenommage), Width::Int16, 1));
        t.push_back(numberKey("Option_ReglePasApresRenommage", 7, TAV_FIELD(ReglePasApresRenommage), Width::Int16, 1));
        t.push_back(numberKey("Option_ReglePasResetRenommage", 7, TAV_FIELD(ReglePasResetRenommage), Width::Int16, 1));
        t.push_back(numberKey("Option_OutilExifChoisi", 7, TAV_FIELD(OutilExifChoisi), Width::Int32, 0, 5));
        t.push_back(textKey("Option_ExtensionTraiteAvecJHEAD", 8, TAV_FIELD(ExtensionTraiteAvecJHEAD),
                            [] { return QStringLiteral("JPG JPEG"); }));
        t.push_back(textKey("Option_ExtensionTraiteAvecEXIFTOOL", 8, TAV_FIELD(ExtensionTraiteAvecEXIFTOOL), [] {
            return QStringLiteral("3GP ARW AVIF CR3 CRW HEIC HEIF JPG JPEG M4V MOV MP4 RAW TIF TIFF");
        }));
        t.push_back(numberKey("Option_AfficherVignette", 8, TAV_FIELD(AfficherVignette), Width::Int32, 1));
        t.push_back(textKey("Option_FormatExtensionVignette", 8, TAV_FIELD(FormatExtensionVignette),
                            [] { return QStringLiteral("gif jpg jpeg bmp"); }));
        KeyDef size = numberKey("Option_TailleVignette", 8, TAV_FIELD(TailleVignette), Width::Int16, 0, 2);
        size.read = [readIndex = size.read](Settings &s, const IniFile &ini, const Reader &r) {
            readIndex(s, ini, r);
            // The sizes themselves come from messages 46 to 48.
            const auto fallback = defaultThumbnailSizes();
            for (int i = 0; i < 3; ++i)
                s.taillesVignette[i] = parseThumbnailSize(i18n::Message(46 + i), fallback[i]);
        };
        t.push_back(size);
        t.push_back(numberKey("Option_DossierDepart", 9, TAV_FIELD(DossierDepart), Width::Int16, 1, 2));
        t.push_back(
            {QStringLiteral("Option_DossierSpecifique"), 9,
             [](Settings &s, const IniFile &, const Reader &r) {
                 s.DossierSpecifique = r.text(QStringLiteral("Option_DossierSpecifique"),
                                              QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
             },
             [](Settings &s, IniFile &, Writer &w) {
                 // "The last folder" is the folder tree's at close.
                 w.text(QStringLiteral("Option_DossierSpecifique"),
                        s.DossierDepart == 1 && !s.dossierCourant.isEmpty() ? s.dossierCourant : s.DossierSpecifique);
             }});
        t.push_back(numberKey("Option_FormatAnnee", 9, TAV_FIELD(FormatAnnee), Width::Int16, 0, 1));
        t.push_back(numberKey("Option_FormatMois", 9, TAV_FIELD(FormatMois), Width::Int16, 1, 3));
        addRuleKeys(t);
        return t;
    }();
    return table;
}

#undef TAV_FIELD

void readAll(Settings &s, const IniFile &ini, int &step) {
    const Reader r(ini);
    for (const KeyDef &key : keyTable()) {
        if (!key.read)
            continue; // an indexed key read with its upper index
        step = key.step;
        key.read(s, ini, r);
    }
}

void writeAll(Settings &s, IniFile &ini) {
    Writer w(ini);
    w.fileVersion = ini.read(kGeneral, QStringLiteral("General_VersionCourante"));
    // Section by section, so that a new file has them in its usual order.
    for (const QString &section : {kGeneral, kLangage, kOption, kRegle})
        for (const KeyDef &key : keyTable())
            if (key.write && sectionOf(key.name) == section)
                key.write(s, ini, w);
}

} // namespace

QSettings userStore() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(ProgramTitle),
                     QString::fromLatin1(ProgramTitle));
}

Hooks &hooks() {
    static Hooks h;
    return h;
}

QString defaultSettingsFolder() {
    // The per-user configuration folder ($XDG_CONFIG_HOME, ~/.config by default).
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Travoline");
}

QString settingsFilePath() {
    if (g_path.isEmpty())
        return defaultSettingsFolder() + QStringLiteral("/Travoline.ini");
    return g_path;
}

void setSettingsFilePath(const QString &path) {
    g_path = path;
}

QStringList keyNames() {
    QStringList names;
    for (const KeyDef &key : keyTable())
        names << key.name;
    return names;
}

QString programVersion() {
    return QStringLiteral("%1.%2.%3").arg(VersionMajor).arg(VersionMinor).arg(VersionRevision);
}

bool versionDiffersFromProgram(const QString &stored) {
    const QStringList parts = stored.split(u'.');
    const int own[3] = {VersionMajor, VersionMinor, VersionRevision};
    for (int i = 0; i < 3; ++i) {
        // A missing or non-numeric part counts as 0, like a numeric value of text.
        const int v = i < parts.size() ? parts[i].trimmed().toInt() : 0;
        if (v != own[i])
            return true;
    }
    return false;
}

bool ReadIniFile() {
    const QString path = settingsFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    return ReadIniFile(settings(), path);
}

bool ReadIniFile(Settings &s, const QString &path) {
    s = Settings{};
    IniFile ini;
    int step = 1;
    bool loaded = false;
    try {
        if (!ini.load(path))
            throw TavError(ErrPathAccess, ini.lastError());
        loaded = true;
        readAll(s, ini, step);
        return true;
    } catch (...) {
        int number = 0;
        QString description;
        currentError(number, description);
        frontEnd().showPlainError(QStringLiteral("Error %1 (%2) in procedure ReadIniFile of Module modIniFile line %3")
                                      .arg(number)
                                      .arg(description)
                                      .arg(step));
        if (step <= 13) {
            // The saved rules were not read (or only partly): keep them in
            // the file instead of letting the next save drop them.
            s.regles.clear();
            keepFileRules(s, ini);
            if (!loaded)
                s.keptRulesTop = Settings::KeptRulesUnknown;
        }
        return false;
    }
}

bool SaveIniFile() {
    return SaveIniFile(settings());
}

bool SaveIniFile(Settings &s) {
    return SaveIniFile(s, settingsFilePath());
}

bool SaveIniFile(Settings &s, const QString &path) {
    bool written = false;
    trap(QStringLiteral("SaveIniFile (Module Fichier)"), [&] {
        if (hooks().beforeSave)
            hooks().beforeSave(s);
        IniFile ini;
        QString why;
        bool ok = ini.load(path);
        if (ok) {
            writeAll(s, ini);
            ok = ini.save(&why);
        } else {
            why = ini.lastError();
        }
        if (!ok) {
            // Told once: the same failure at every later save would only repeat it.
            const bool alreadyTold = g_lastSaveFailed;
            g_lastSaveFailed = true;
            if (!alreadyTold)
                throw TavError(ErrPathAccess,
                               QStringLiteral("les paramètres n'ont pas pu être enregistrés dans %1 : %2 ; "
                                              "le fichier précédent est conservé")
                                   .arg(QDir::toNativeSeparators(path), why));
            return;
        }
        g_lastSaveFailed = false;
        written = true;
    });
    return written;
}

void SaveRegisterBase(bool closeHelp) {
    trap(QStringLiteral("SaveRegisterBase (Module Fichier)"), [&] {
        if (closeHelp && hooks().closeHelp)
            hooks().closeHelp();
        SaveIniFile();
    });
}

} // namespace tav::modIniFile
