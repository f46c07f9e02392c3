#include "core/settings/modIniFile.h"

#include "core/base/FrontEnd.h"
#include "core/base/Trap.h"
#include "core/base/Version.h"
#include "core/i18n/Language.h"
#include "core/base/IniFile.h"
#include "core/settings/SavedRules.h"
#include "core/settings/ValueText.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <limits>

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
QString sectionOf(const QString &key)
{
    return key.left(key.indexOf(u'_'));
}

// Read access with the conversions of the key table.
class Reader {
public:
    explicit Reader(const IniFile &ini) : m_ini(ini) {}
    QString text(const QString &key, const QString &def = QString()) const
    {
        return m_ini.read(sectionOf(key), key, def);
    }
    // Without the length limit of the other values: a saved rule cut short
    // would lose or garble the option fields at its end.
    QString wholeText(const QString &key) const
    {
        return m_ini.read(sectionOf(key), key, QString(), std::numeric_limits<int>::max());
    }
    std::int16_t int16(const QString &key, int def) const
    {
        return valueText::toInt16(text(key, QString::number(def)));
    }
    std::int32_t int32(const QString &key, int def) const
    {
        return valueText::toInt32(text(key, QString::number(def)));
    }
    float single(const QString &key, float def) const
    {
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

private:
    IniFile &m_ini;
};

bool isOldVersion(const QString &v)
{
    return v == QLatin1String("1.10.0") || v == QLatin1String("1.11.0");
}

bool isCurrentVersion(const QString &v)
{
    return v == QLatin1String("1.12.0") || v == QLatin1String("1.12.1") || v == QLatin1String("1.12.2");
}

// An index that other parts use to pick from a fixed list: a value outside
// the list falls back to the default instead of indexing past its end.
template <class T> T inRange(T value, int last, T def)
{
    return (value >= 0 && value <= last) ? value : def;
}

// Thumbnail size from a message of the form "label (WIDTHxHEIGHT)".
QSizeF parseThumbnailSize(const QString &message, QSizeF fallback)
{
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
int highestRuleKey(const IniFile &ini)
{
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
int storedRuleTop(const IniFile &ini)
{
    try {
        return Reader(ini).int16(QStringLiteral("General_NombreRegle"), -1);
    } catch (const TavError &) {
        return highestRuleKey(ini);
    }
}

// The saved rules of the file stay untouched: this session's rules go after them.
void keepFileRules(Settings &s, const IniFile &ini)
{
    s.reglesLues = false;
    s.keptRulesTop = std::max(storedRuleTop(ini), highestRuleKey(ini));
}

void readRules(Settings &s, const IniFile &ini, const Reader &r)
{
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

void readAll(Settings &s, const IniFile &ini, int &step)
{
    const Reader r(ini);

    step = 1;
    s.LangueUtilisee = r.text(QStringLiteral("Langage_LangueUtilisee"), QStringLiteral("Français"));
    i18n::setLanguage(s.LangueUtilisee);
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

    step = 2;
    s.VersionCourante = r.text(QStringLiteral("General_VersionCourante"));
    s.NombreFichierRenomme = r.int32(QStringLiteral("General_NombreFichierRenomme"), 0);
    s.AfficherImageBouton = r.int32(QStringLiteral("General_AfficherImageBouton"), 1);
    s.FiltreAffichage = r.text(QStringLiteral("General_FiltreAffichage"), QStringLiteral("*.*"));

    step = 3;
    if (isOldVersion(s.VersionCourante))
        s.FiltreAffichage = s.FiltreAffichage.split(u'|').join(u' ');

    step = 4;
    s.VisualiserImage = r.int32(QStringLiteral("General_VisualiserImage"), 0);
    s.MettreAJour = r.int32(QStringLiteral("General_MettreAJour"), 1);

    step = 5;
    const int n = r.int16(QStringLiteral("Option_NombreCaractereInterdit"), -1);
    if (n < 0) {
        s.CharactereInterdit = builtInForbiddenTable();
    } else {
        s.CharactereInterdit.clear();
        for (int i = 0; i <= n; ++i)
            s.CharactereInterdit.append({r.text(QStringLiteral("Option_CharactereInterdit") + QString::number(i)),
                                         r.text(QStringLiteral("Option_CharactereReplacement") + QString::number(i))});
    }

    step = 6;
    const int m = r.int16(QStringLiteral("Option_NbFileNotRenamed"), -1);
    if (m < 0) {
        s.FileNotRenamed = builtInNeverRenamed();
    } else {
        s.FileNotRenamed.clear();
        for (int i = 0; i <= m; ++i)
            s.FileNotRenamed.append(r.text(QStringLiteral("Option_FileNotRenamed") + QString::number(i)));
    }

    step = 7;
    s.RegleApresRenommage = r.int16(QStringLiteral("Option_RegleApresRenommage"), 1);
    s.RegleDebutApresRenommage = r.int16(QStringLiteral("Option_RegleDebutApresRenommage"), 1);
    s.RegleDebutResetRenommage = r.int16(QStringLiteral("Option_RegleDebutResetRenommage"), 1);
    s.ReglePasApresRenommage = r.int16(QStringLiteral("Option_ReglePasApresRenommage"), 1);
    s.ReglePasResetRenommage = r.int16(QStringLiteral("Option_ReglePasResetRenommage"), 1);
    s.OutilExifChoisi = inRange(r.int32(QStringLiteral("Option_OutilExifChoisi"), 0), 4, 0);
    if (s.OutilExifChoisi == 4 && hooks().startExifToolServer)
        hooks().startExifToolServer();

    step = 8;
    s.ExtensionTraiteAvecJHEAD = r.text(QStringLiteral("Option_ExtensionTraiteAvecJHEAD"), QStringLiteral("JPG JPEG"));
    s.ExtensionTraiteAvecEXIFTOOL =
        r.text(QStringLiteral("Option_ExtensionTraiteAvecEXIFTOOL"), QStringLiteral("ARW CRW JPG JPEG RAW TIF TIFF"));
    s.AfficherVignette = r.int32(QStringLiteral("Option_AfficherVignette"), 1);
    s.FormatExtensionVignette =
        r.text(QStringLiteral("Option_FormatExtensionVignette"), QStringLiteral("gif jpg jpeg bmp"));
    s.TailleVignette = inRange<std::int16_t>(r.int16(QStringLiteral("Option_TailleVignette"), 0), 2, 0);
    const auto fallback = defaultThumbnailSizes();
    for (int i = 0; i < 3; ++i)
        s.taillesVignette[i] = parseThumbnailSize(i18n::Message(46 + i), fallback[i]);

    step = 9;
    s.DossierDepart = inRange<std::int16_t>(r.int16(QStringLiteral("Option_DossierDepart"), 1), 2, 1);
    s.DossierSpecifique = r.text(QStringLiteral("Option_DossierSpecifique"),
                                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    s.FormatAnnee = inRange<std::int16_t>(r.int16(QStringLiteral("Option_FormatAnnee"), 0), 1, 0);
    s.FormatMois = inRange<std::int16_t>(r.int16(QStringLiteral("Option_FormatMois"), 1), 3, 1);

    step = 10;
    Rule &rule = s.regle;
    rule.DebutPas = r.int32(QStringLiteral("RegleRenommage_DebutPas"), 1);
    rule.Pas = r.int16(QStringLiteral("RegleRenommage_Pas"), 1);
    rule.ModifieExtension = r.int32(QStringLiteral("RegleRenommage_ModifieExtension"), 0);
    rule.ModifieExtensionValeur = r.text(QStringLiteral("RegleRenommage_ModifieExtensionValeur"));
    rule.RemplacerCaractereInterdit = r.int32(QStringLiteral("RegleRenommage_RemplacerCaractereInterdit"), 1);
    rule.Regle = r.text(QStringLiteral("RegleRenommage_Regle"), i18n::Message(16));
    rule.IncrementeFichierIdentique = r.int32(QStringLiteral("RegleRenommage_IncrementeFichierIdentique"), 1);
    rule.EffaceEspace = r.int32(QStringLiteral("RegleRenommage_EffaceEspace"), 0);
    rule.PremierCaractereEnMajuscule = r.int32(QStringLiteral("RegleRenommage_PremierCaractereEnMajuscule"), 0);
    rule.PremierCaractereEnMajusculePourChaqueMot =
        r.int32(QStringLiteral("RegleRenommage_PremierCaractereEnMajusculePourChaqueMot"), 0);

    step = 11;
    s.PositionFenetreTop = r.single(QStringLiteral("General_PositionFenetreTop"), 100);
    if (s.PositionFenetreTop < -100000)
        s.PositionFenetreTop = 100;
    s.PositionFenetreLeft = r.single(QStringLiteral("General_PositionFenetreLeft"), 100);
    if (s.PositionFenetreLeft < -100000)
        s.PositionFenetreLeft = 100;
    s.FenetreHauteur = r.single(QStringLiteral("General_FenetreHauteur"), 9525);
    s.FenetreLargeur = r.single(QStringLiteral("General_FenetreLargeur"), 15250);

    step = 12;
    rule.Commentaire = r.text(QStringLiteral("RegleRenommage_Commentaire"), i18n::Message(95));
    rule.Extension = r.text(QStringLiteral("RegleRenommage_Extension"), QStringLiteral("*"));

    step = 13;
    readRules(s, ini, r);

    step = 15;
    savedRules::takeCommentOfMatchingRule(s);

    step = 16;
    s.Astuce = r.text(QStringLiteral("RegleRenommage_Astuce"));

    step = 17;
    s.optRepPos = inRange<int>(r.int16(QStringLiteral("RegleRenommage_optRepPos"), 0), 2, 0);
    for (int i = 0; i < 4; ++i)
        s.txtRepPos[i] = r.text(QStringLiteral("RegleRenommage_txtRepPos") + QString::number(i), QStringLiteral("1"));
    s.optRepPosDebutFin = inRange<int>(r.int16(QStringLiteral("RegleRenommage_optRepPosDebutFin"), 0), 1, 0);
    s.txtRemplacerPos = r.text(QStringLiteral("RegleRenommage_txtRemplacerPos"));
    s.optRepStr = inRange<int>(r.int16(QStringLiteral("RegleRenommage_optRepStr"), 0), 2, 0);
    s.RechercherChaine = r.text(QStringLiteral("RegleRenommage_RechercherChaine"));
    s.RemplacerChaine = r.text(QStringLiteral("RegleRenommage_RemplacerChaine"));
}

void writeRules(Settings &s, IniFile &ini, Writer &w, const QString &fileVersion)
{
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

void writeAll(Settings &s, IniFile &ini)
{
    Writer w(ini);
    const QString fileVersion = ini.read(kGeneral, QStringLiteral("General_VersionCourante"));

    w.number(QStringLiteral("General_NombreFichierRenomme"), s.NombreFichierRenomme);
    w.number(QStringLiteral("General_AfficherImageBouton"), s.AfficherImageBouton);
    w.text(QStringLiteral("General_FiltreAffichage"), s.FiltreAffichage);
    w.number(QStringLiteral("General_VisualiserImage"), s.VisualiserImage);
    w.number(QStringLiteral("General_MettreAJour"), s.MettreAJour);

    w.single(QStringLiteral("General_PositionFenetreTop"), s.PositionFenetreTop);
    w.single(QStringLiteral("General_PositionFenetreLeft"), s.PositionFenetreLeft);
    w.single(QStringLiteral("General_FenetreHauteur"), s.FenetreHauteur);
    w.single(QStringLiteral("General_FenetreLargeur"), s.FenetreLargeur);

    w.text(QStringLiteral("General_VersionCourante"), programVersion());

    writeRules(s, ini, w, fileVersion);

    w.text(QStringLiteral("Langage_LangueUtilisee"), s.LangueUtilisee);

    w.number(QStringLiteral("Option_NombreCaractereInterdit"), s.CharactereInterdit.size() - 1);
    for (int i = 0; i < s.CharactereInterdit.size(); ++i) {
        w.text(QStringLiteral("Option_CharactereInterdit") + QString::number(i), s.CharactereInterdit[i].chars);
        w.text(QStringLiteral("Option_CharactereReplacement") + QString::number(i),
               s.CharactereInterdit[i].replacement);
    }
    w.number(QStringLiteral("Option_NbFileNotRenamed"), s.FileNotRenamed.size() - 1);
    for (int i = 0; i < s.FileNotRenamed.size(); ++i)
        w.text(QStringLiteral("Option_FileNotRenamed") + QString::number(i), s.FileNotRenamed[i]);

    w.number(QStringLiteral("Option_RegleApresRenommage"), s.RegleApresRenommage);
    w.number(QStringLiteral("Option_RegleDebutApresRenommage"), s.RegleDebutApresRenommage);
    w.number(QStringLiteral("Option_RegleDebutResetRenommage"), s.RegleDebutResetRenommage);
    w.number(QStringLiteral("Option_ReglePasApresRenommage"), s.ReglePasApresRenommage);
    w.number(QStringLiteral("Option_ReglePasResetRenommage"), s.ReglePasResetRenommage);
    w.number(QStringLiteral("Option_OutilExifChoisi"), s.OutilExifChoisi);
    w.text(QStringLiteral("Option_ExtensionTraiteAvecJHEAD"), s.ExtensionTraiteAvecJHEAD);
    w.text(QStringLiteral("Option_ExtensionTraiteAvecEXIFTOOL"), s.ExtensionTraiteAvecEXIFTOOL);
    w.number(QStringLiteral("Option_AfficherVignette"), s.AfficherVignette);
    w.text(QStringLiteral("Option_FormatExtensionVignette"), s.FormatExtensionVignette);
    w.number(QStringLiteral("Option_TailleVignette"), s.TailleVignette);
    w.number(QStringLiteral("Option_DossierDepart"), s.DossierDepart);

    w.text(QStringLiteral("Option_DossierSpecifique"),
           s.DossierDepart == 1 && !s.dossierCourant.isEmpty() ? s.dossierCourant : s.DossierSpecifique);

    const Rule &rule = s.regle;
    w.number(QStringLiteral("Option_FormatAnnee"), s.FormatAnnee);
    w.number(QStringLiteral("Option_FormatMois"), s.FormatMois);
    w.number(QStringLiteral("RegleRenommage_DebutPas"), rule.DebutPas);
    w.number(QStringLiteral("RegleRenommage_Pas"), rule.Pas);
    w.number(QStringLiteral("RegleRenommage_ModifieExtension"), rule.ModifieExtension);
    w.text(QStringLiteral("RegleRenommage_ModifieExtensionValeur"), rule.ModifieExtensionValeur);
    w.number(QStringLiteral("RegleRenommage_RemplacerCaractereInterdit"), rule.RemplacerCaractereInterdit);
    w.text(QStringLiteral("RegleRenommage_Regle"), rule.Regle);
    w.text(QStringLiteral("RegleRenommage_Commentaire"), rule.Commentaire);
    w.text(QStringLiteral("RegleRenommage_Extension"), rule.Extension);
    w.number(QStringLiteral("RegleRenommage_IncrementeFichierIdentique"), rule.IncrementeFichierIdentique);
    w.number(QStringLiteral("RegleRenommage_EffaceEspace"), rule.EffaceEspace);
    w.number(QStringLiteral("RegleRenommage_PremierCaractereEnMajuscule"), rule.PremierCaractereEnMajuscule);
    w.number(QStringLiteral("RegleRenommage_PremierCaractereEnMajusculePourChaqueMot"),
             rule.PremierCaractereEnMajusculePourChaqueMot);

    if (!s.Astuce.isEmpty())
        w.text(QStringLiteral("RegleRenommage_Astuce"), s.Astuce);

    if (s.optRepPos >= 0)
        w.number(QStringLiteral("RegleRenommage_optRepPos"), s.optRepPos);
    if (s.optRepPosDebutFin >= 0)
        w.number(QStringLiteral("RegleRenommage_optRepPosDebutFin"), s.optRepPosDebutFin);
    for (int i = 0; i < 4; ++i)
        w.text(QStringLiteral("RegleRenommage_txtRepPos") + QString::number(i), s.txtRepPos[i]);
    w.text(QStringLiteral("RegleRenommage_txtRemplacerPos"), s.txtRemplacerPos);
    if (s.optRepStr >= 0)
        w.number(QStringLiteral("RegleRenommage_optRepStr"), s.optRepStr);
    w.text(QStringLiteral("RegleRenommage_RechercherChaine"), s.RechercherChaine);
    w.text(QStringLiteral("RegleRenommage_RemplacerChaine"), s.RemplacerChaine);
}

} // namespace

Hooks &hooks()
{
    static Hooks h;
    return h;
}

QString defaultSettingsFolder()
{
    // The per-user configuration folder ($XDG_CONFIG_HOME, ~/.config by default).
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Travoline");
}

QString settingsFilePath()
{
    if (g_path.isEmpty())
        return defaultSettingsFolder() + QStringLiteral("/Travoline.ini");
    return g_path;
}

void setSettingsFilePath(const QString &path)
{
    g_path = path;
}

QString programVersion()
{
    return QStringLiteral("%1.%2.%3").arg(VersionMajor).arg(VersionMinor).arg(VersionRevision);
}

bool versionDiffersFromProgram(const QString &stored)
{
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

bool ReadIniFile()
{
    const QString path = settingsFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    return ReadIniFile(settings(), path);
}

bool ReadIniFile(Settings &s, const QString &path)
{
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

bool SaveIniFile()
{
    return SaveIniFile(settings());
}

bool SaveIniFile(Settings &s)
{
    return SaveIniFile(s, settingsFilePath());
}

bool SaveIniFile(Settings &s, const QString &path)
{
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

void SaveRegisterBase(bool closeHelp)
{
    trap(QStringLiteral("SaveRegisterBase (Module Fichier)"), [&] {
        if (closeHelp && hooks().closeHelp)
            hooks().closeHelp();
        SaveIniFile();
    });
}

} // namespace tav::modIniFile
