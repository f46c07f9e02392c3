#include "SettingsFixture.h"
#include "core/settings/SavedRules.h"

#include <QRegularExpression>
#include <QSet>

using namespace tav;

namespace {
using SettingsFile = SettingsFixture;

Rule sampleRule(const QString &pattern) {
    Rule r;
    r.Regle = pattern;
    r.DebutPas = 10;
    r.Pas = 5;
    r.ModifieExtension = 1;
    r.ModifieExtensionValeur = QStringLiteral("png");
    r.RemplacerCaractereInterdit = 0;
    r.IncrementeFichierIdentique = 0;
    r.EffaceEspace = 1;
    r.PremierCaractereEnMajuscule = 1;
    r.PremierCaractereEnMajusculePourChaqueMot = 2;
    r.Commentaire = QStringLiteral("Vacances été");
    r.Extension = QStringLiteral("jpg png");
    return r;
}
} // namespace

TEST_F(SettingsFile, FirstStartWithoutFileGivesEveryDefault) {
    Settings s;
    ASSERT_TRUE(modIniFile::ReadIniFile(s, iniPath));
    EXPECT_EQ(s.LangueUtilisee, QStringLiteral("Français"));
    EXPECT_EQ(s.FiltreAffichage, "*.*");
    ASSERT_EQ(s.CharactereInterdit.size(), 7);
    EXPECT_EQ(s.CharactereInterdit[0], (ForbiddenRow{QStringLiteral("éèêë"), "e"}));
    EXPECT_EQ(s.CharactereInterdit[6], (ForbiddenRow{"/:?\"<>|\\", "_"}));
    EXPECT_EQ(s.FileNotRenamed, QStringList({"desktop.ini", "fssort.ini", "Thumbs.db"}));
    EXPECT_EQ(s.regle.Regle, "### - *");             // message 16
    EXPECT_EQ(s.regle.Commentaire, "Numero et nom"); // message 95
    EXPECT_EQ(s.regle.Extension, "*");
    EXPECT_EQ(s.PositionFenetreTop, 100);
    EXPECT_EQ(s.PositionFenetreLeft, 100);
    EXPECT_EQ(s.FenetreLargeur, 15250);
    EXPECT_EQ(s.FenetreHauteur, 9525);
    EXPECT_EQ(s.OutilExifChoisi, 0);
    EXPECT_EQ(s.OrdreNaturel, 1);
    EXPECT_TRUE(savedRules::savedRulePatterns(s).isEmpty());
    // Sizes from messages 46 and 47; message 48 holds none and keeps the built-in one.
    EXPECT_EQ(s.taillesVignette[0], QSizeF(50, 40));
    EXPECT_EQ(s.taillesVignette[1], QSizeF(96, 96));
    EXPECT_EQ(s.taillesVignette[2], QSizeF(128, 128));
    EXPECT_TRUE(fe.asked.isEmpty());
    EXPECT_TRUE(fe.plainErrors.isEmpty());

    // The first save writes this version and no rule.
    ASSERT_TRUE(modIniFile::SaveIniFile(s));
    EXPECT_EQ(key("General_VersionCourante"), modIniFile::programVersion());
    EXPECT_EQ(key("General_NombreRegle"), "-1");
    EXPECT_EQ(key("Option_NombreCaractereInterdit"), "6");
    EXPECT_EQ(key("Option_CharactereInterdit6"), "/:?\"<>|\\");
}

TEST_F(SettingsFile, EveryKeySurvivesASaveAndReload) {
    Settings s;
    s.LangueUtilisee = QStringLiteral("Français");
    s.NombreFichierRenomme = 123456;
    s.AfficherImageBouton = 0;
    s.FiltreAffichage = "*.jpg *.png";
    s.VisualiserImage = 1;
    s.MettreAJour = 2;
    s.PositionFenetreTop = -50.5f;
    s.PositionFenetreLeft = 1234.25f;
    s.FenetreHauteur = 10600;
    s.FenetreLargeur = 16000.75f;
    // A saved rule longer than the limit of plain values keeps its options.
    s.regles = {sampleRule("IMG_###"), sampleRule(QStringLiteral("Été_*_#")), sampleRule(QString(600, u'r'))};
    s.regles[1].DebutPas = ContinueModeStart;
    s.regles[1].Commentaire.clear();
    s.CharactereInterdit = {{"ab", "x"}, {"", ""}, {"c", ""}};
    s.FileNotRenamed = {QString()};
    s.RegleApresRenommage = 0;
    s.RegleDebutApresRenommage = 2;
    s.RegleDebutResetRenommage = -7;
    s.ReglePasApresRenommage = 0;
    s.ReglePasResetRenommage = 32767;
    s.OutilExifChoisi = 3;
    s.ExtensionTraiteAvecJHEAD = "JPG";
    s.ExtensionTraiteAvecEXIFTOOL = "NEF";
    s.AfficherVignette = 0;
    s.FormatExtensionVignette = "png";
    s.TailleVignette = 2;
    s.DossierDepart = 2;
    s.DossierSpecifique = dir.filePath("photos");
    s.FormatAnnee = 1;
    s.FormatMois = 3;
    s.regle = sampleRule("$A$-$M$-#");
    s.Astuce = "date fichier";
    s.optRepPos = 2;
    s.txtRepPos = {"3", "4", "5", "6"};
    s.optRepPosDebutFin = 1;
    s.txtRemplacerPos = "X";
    s.optRepStr = 1;
    s.RechercherChaine = "DSC";
    s.RemplacerChaine = "Photo";
    s.TailleHistorique = 7;
    s.NormaliserNFC = 1;
    s.OrdreNaturel = 0;
    ASSERT_TRUE(modIniFile::SaveIniFile(s));

    Settings back;
    ASSERT_TRUE(modIniFile::ReadIniFile(back, iniPath));
    EXPECT_EQ(back.VersionCourante, modIniFile::programVersion());
    back.VersionCourante.clear();
    back.taillesVignette = s.taillesVignette; // from the language file, not stored
    EXPECT_TRUE(back == s);
    EXPECT_EQ(back.regles, s.regles);
    EXPECT_EQ(back.regle, s.regle);
    EXPECT_EQ(back.CharactereInterdit, s.CharactereInterdit);

    // 56 key names once the indices are stripped.
    QSet<QString> names;
    const IniFile f = ini();
    for (const QString &section : f.sections())
        for (const QString &k : f.keys(section))
            names.insert(QString(k).remove(QRegularExpression("\\d+$")));
    EXPECT_EQ(names.size(), 56);
    // They are the keys of the one table that reads and writes them.
    const QStringList table = modIniFile::keyNames();
    EXPECT_EQ(QSet<QString>(table.begin(), table.end()), names);
    EXPECT_EQ(f.sections(), QStringList({"General", "Langage", "Option", "RegleRenommage"}));
    EXPECT_EQ(key("General_Regle0"), QStringLiteral("IMG_###|Vacances été|jpg png|0|0|png|1|5|1|2|10|1"));
}

TEST_F(SettingsFile, ChoiceOneWritesTheCurrentFolder) {
    Settings s;
    s.DossierDepart = 1;
    s.DossierSpecifique = "/old";
    s.dossierCourant = "/now/here";
    modIniFile::SaveIniFile(s);
    EXPECT_EQ(key("Option_DossierSpecifique"), "/now/here");
    s.DossierDepart = 0;
    modIniFile::SaveIniFile(s);
    EXPECT_EQ(key("Option_DossierSpecifique"), "/old");
}

TEST_F(SettingsFile, OlderVersionsAreMigrated) {
    for (const char *version : {"1.10.0", "1.11.0"}) {
        SCOPED_TRACE(version);
        writeIni(QByteArray("[General]\nGeneral_VersionCourante=") + version +
                 "\nGeneral_FiltreAffichage=*.jpg|*.png\nGeneral_NombreRegle=2\n"
                 "General_Regle0=IMG_###|5|2|1|png|1|surplus\nGeneral_Regle1=a*|7\nGeneral_Regle2=\n");
        Settings s;
        ASSERT_TRUE(modIniFile::ReadIniFile(s, iniPath));
        EXPECT_EQ(s.FiltreAffichage, "*.jpg *.png");
        ASSERT_EQ(savedRules::savedRulePatterns(s), QStringList({"IMG_###", "a*"}));
        const Rule &a = s.regles[0];
        EXPECT_EQ(a.DebutPas, 5);
        EXPECT_EQ(a.Pas, 2);
        EXPECT_EQ(a.ModifieExtension, 1);
        EXPECT_EQ(a.ModifieExtensionValeur, "png");
        EXPECT_EQ(a.RemplacerCaractereInterdit, 1);
        EXPECT_EQ(a.Commentaire, "");
        EXPECT_EQ(a.IncrementeFichierIdentique, 0);
        EXPECT_EQ(a.EffaceEspace, 0);
        const Rule &b = s.regles[1]; // missing fields keep the old-format defaults
        EXPECT_EQ(b.DebutPas, 7);
        EXPECT_EQ(b.Pas, 1);
        EXPECT_EQ(b.ModifieExtension, 0);
        EXPECT_EQ(b.RemplacerCaractereInterdit, 0);

        ASSERT_TRUE(modIniFile::SaveIniFile(s));
        EXPECT_EQ(key("General_FiltreAffichage"), "*.jpg *.png");
        EXPECT_EQ(key("General_Regle0"), "IMG_###|||0|1|png|1|2|0|0|5|0");
        EXPECT_EQ(key("General_NombreRegle"), "1");
        EXPECT_EQ(key("General_Regle2"), "<absent>");
        Settings again;
        ASSERT_TRUE(modIniFile::ReadIniFile(again, iniPath));
        EXPECT_EQ(savedRules::savedRulePatterns(again), savedRules::savedRulePatterns(s));
        EXPECT_EQ(again.regles[0], s.regles[0]);
    }
    // Reading stopped before the rules of an older file: they are kept, and
    // rewritten in this version's format since the file now carries it.
    writeIni("[General]\nGeneral_VersionCourante=1.11.0\nGeneral_NombreFichierRenomme=abc\n"
             "General_NombreRegle=1\nGeneral_Regle0=IMG_###|5|2|1|png|1\nGeneral_Regle1=a*|7\n");
    {
        Settings s;
        EXPECT_FALSE(modIniFile::ReadIniFile(s, iniPath));
        ASSERT_TRUE(modIniFile::SaveIniFile(s));
        ASSERT_TRUE(modIniFile::SaveIniFile(s));
        Settings again;
        ASSERT_TRUE(modIniFile::ReadIniFile(again, iniPath));
        ASSERT_EQ(savedRules::savedRulePatterns(again), QStringList({"IMG_###", "a*"}));
        EXPECT_EQ(again.regles[0], savedRules::fromOldText("IMG_###|5|2|1|png|1"));
        EXPECT_EQ(again.regles[1].DebutPas, 7);
        EXPECT_EQ(again.regles[1].Pas, 1);
    }

    // The current version keeps "|" in the filter as it is.
    writeIni("[General]\nGeneral_VersionCourante=1.12.1\nGeneral_FiltreAffichage=*.jpg|*.png\n");
    Settings s;
    modIniFile::ReadIniFile(s, iniPath);
    EXPECT_EQ(s.FiltreAffichage, "*.jpg|*.png");
}

TEST_F(SettingsFile, CountsAreUpperIndicesAndStaleRulesGo) {
    writeIni("[General]\nGeneral_VersionCourante=1.12.2\nGeneral_NombreRegle=2\n"
             "General_Regle0=a|c|*|1|1||0|1|0|0|1|0\nGeneral_Regle1=b\nGeneral_Regle2=c|x|jpg\n"
             "[Option]\nOption_NombreCaractereInterdit=0\nOption_CharactereInterdit0=é\n"
             "Option_NbFileNotRenamed=1\nOption_FileNotRenamed0=a.txt\n");
    Settings s;
    ASSERT_TRUE(modIniFile::ReadIniFile(s, iniPath));
    EXPECT_EQ(savedRules::savedRulePatterns(s), QStringList({"a", "b", "c"}));
    EXPECT_EQ(s.regles[1].Pas, 0); // missing fields are 0 in this format
    EXPECT_EQ(s.CharactereInterdit, QList<ForbiddenRow>({{QStringLiteral("é"), ""}}));
    EXPECT_EQ(s.FileNotRenamed, QStringList({"a.txt", ""}));

    // An emptied rule is dropped and the next one moves down; no stale key stays.
    s.regles[1].Regle.clear();
    ASSERT_TRUE(modIniFile::SaveIniFile(s));
    EXPECT_EQ(key("General_NombreRegle"), "1");
    EXPECT_EQ(key("General_Regle1"), "c|x|jpg|0|0||0|0|0|0|0|0");
    EXPECT_EQ(key("General_Regle2"), "<absent>");
    s.regles.clear();
    ASSERT_TRUE(modIniFile::SaveIniFile(s));
    EXPECT_EQ(key("General_NombreRegle"), "-1");
    EXPECT_EQ(key("General_Regle0"), "<absent>");

    // A negative count reads rule 0; a count far above the keys present just
    // gives empty entries that are never shown nor written.
    writeIni("[General]\nGeneral_VersionCourante=1.12.2\nGeneral_NombreRegle=-4\nGeneral_Regle0=z\n");
    modIniFile::ReadIniFile(s, iniPath);
    EXPECT_EQ(savedRules::savedRulePatterns(s), QStringList({"z"}));
    writeIni("[General]\nGeneral_VersionCourante=1.12.2\nGeneral_NombreRegle=32767\nGeneral_Regle5=y\n"
             "[Option]\nOption_NombreCaractereInterdit=-3\n");
    ASSERT_TRUE(modIniFile::ReadIniFile(s, iniPath));
    EXPECT_EQ(savedRules::savedRulePatterns(s), QStringList({"y"}));
    EXPECT_EQ(s.CharactereInterdit.size(), 7); // negative: built-in table
    ASSERT_TRUE(modIniFile::SaveIniFile(s));
    EXPECT_EQ(key("General_NombreRegle"), "0");
    EXPECT_EQ(key("General_Regle0"), "y|||0|0||0|0|0|0|0|0");
    EXPECT_EQ(key("General_Regle5"), "<absent>");
}

TEST_F(SettingsFile, GuardsLimitsAndOutOfRangeChoices) {
    const QByteArray long600(600, 'p');
    writeIni("[Langage]\nLangage_LangueUtilisee=Klingon\n[General]\nGeneral_PositionFenetreTop=-200000\nGeneral_"
             "PositionFenetreLeft=-100000\n"
             "General_FenetreHauteur=-300000\nGeneral_FenetreLargeur=16000,5\n"
             "[Option]\nOption_TailleVignette=7\nOption_FormatMois=-1\nOption_OutilExifChoisi=9\n"
             "[RegleRenommage]\nRegleRenommage_Regle=" +
             long600 + "\nRegleRenommage_optRepStr=3\n");
    Settings s;
    ASSERT_TRUE(modIniFile::ReadIniFile(s, iniPath));
    EXPECT_EQ(s.PositionFenetreTop, 100);
    EXPECT_EQ(s.PositionFenetreLeft, -100000); // the guard is "below -100000"
    EXPECT_EQ(s.FenetreHauteur, -300000);      // no guard on the size
    EXPECT_EQ(s.FenetreLargeur, 16000.5f);     // decimal comma of another locale
    EXPECT_EQ(s.regle.Regle, QString(511, u'p'));
    EXPECT_EQ(s.LangueUtilisee, QStringLiteral("Klingon")); // kept, though it has no file
    EXPECT_EQ(s.regle.Commentaire, "Numero et nom");
    // Indices into fixed lists fall back to their defaults.
    EXPECT_EQ(s.TailleVignette, 0);
    EXPECT_EQ(s.FormatMois, 1);
    EXPECT_EQ(s.OutilExifChoisi, 0);
    EXPECT_EQ(s.optRepStr, 0);
}

TEST_F(SettingsFile, UnknownVersionWarnsAndKeepsItsRules) {
    writeIni("[General]\nGeneral_VersionCourante=2.0.0\nGeneral_NombreRegle=1\n"
             "General_Regle0=new|format\nGeneral_Regle1=other\n");
    Settings s;
    ASSERT_TRUE(modIniFile::ReadIniFile(s, iniPath));
    ASSERT_EQ(fe.asked.size(), 1);
    EXPECT_EQ(fe.asked[0].message, "Version inconnue 2.0.0");
    EXPECT_EQ(fe.asked[0].style, StyleInformation);
    EXPECT_EQ(fe.asked[0].title, "Titre");
    EXPECT_TRUE(savedRules::savedRulePatterns(s).isEmpty());

    // Saving keeps the unread rules and puts this session's after them, also
    // when saving twice.
    s.regles.append(sampleRule("mine"));
    ASSERT_TRUE(modIniFile::SaveIniFile(s));
    ASSERT_TRUE(modIniFile::SaveIniFile(s));
    EXPECT_EQ(key("General_Regle0"), "new|format");
    EXPECT_EQ(key("General_Regle1"), "other");
    EXPECT_TRUE(key("General_Regle2").startsWith("mine|"));
    EXPECT_EQ(key("General_Regle3"), "<absent>");
    EXPECT_EQ(key("General_NombreRegle"), "2");
}

TEST_F(SettingsFile, BadNumbersStopReadingWithTheStepAndLoseNoRule) {
    writeIni("[General]\nGeneral_VersionCourante=1.12.2\nGeneral_MettreAJour=abc\n"
             "General_NombreRegle=0\nGeneral_Regle0=keep|me\n"
             "[RegleRenommage]\nRegleRenommage_Regle=IMG_#\n");
    Settings s;
    EXPECT_FALSE(modIniFile::ReadIniFile(s, iniPath));
    EXPECT_EQ(fe.plainErrors,
              QStringList({"Error 13 (Type mismatch) in procedure ReadIniFile of Module modIniFile line 4"}));
    EXPECT_EQ(s.FiltreAffichage, "*.*"); // read before the failure
    EXPECT_EQ(s.regle.Regle, "");        // later values keep their initial state
    ASSERT_TRUE(modIniFile::SaveIniFile(s));
    EXPECT_EQ(key("General_Regle0"), "keep|me");
    EXPECT_EQ(key("General_NombreRegle"), "0");

    // Out of the 16-bit range: overflow, in the rules step.
    fe.plainErrors.clear();
    writeIni("[General]\nGeneral_VersionCourante=1.12.2\nGeneral_NombreRegle=99999\nGeneral_Regle0=x\n");
    EXPECT_FALSE(modIniFile::ReadIniFile(s, iniPath));
    EXPECT_EQ(fe.plainErrors,
              QStringList({"Error 6 (Overflow) in procedure ReadIniFile of Module modIniFile line 13"}));
    ASSERT_TRUE(modIniFile::SaveIniFile(s));
    EXPECT_EQ(key("General_Regle0"), "x");

    // A file that could not be read at all: the rules it holds when it is
    // written again stay, and this session's go after them.
    fe.plainErrors.clear();
    ASSERT_TRUE(QFile::remove(iniPath));
    ASSERT_TRUE(QDir().mkpath(iniPath));
    EXPECT_FALSE(modIniFile::ReadIniFile(s, iniPath));
    EXPECT_EQ(fe.plainErrors.size(), 1);
    ASSERT_TRUE(QDir().rmdir(iniPath));
    writeIni("[General]\nGeneral_VersionCourante=1.12.2\nGeneral_NombreRegle=0\nGeneral_Regle0=older\n");
    s.regles.append(sampleRule("mine"));
    ASSERT_TRUE(modIniFile::SaveIniFile(s));
    ASSERT_TRUE(modIniFile::SaveIniFile(s));
    EXPECT_EQ(key("General_Regle0"), "older");
    EXPECT_TRUE(key("General_Regle1").startsWith("mine|"));
    EXPECT_EQ(key("General_Regle2"), "<absent>");
    EXPECT_EQ(key("General_NombreRegle"), "1");
}

TEST_F(SettingsFile, FailedSaveIsReportedOnceAndKeepsTheOldFile) {
    writeFile("blocker", "x");
    Settings s;
    ASSERT_TRUE(modIniFile::SaveIniFile(s));
    const QString bad = dir.filePath("blocker/Travoline.ini");
    EXPECT_FALSE(modIniFile::SaveIniFile(s, bad));
    EXPECT_FALSE(modIniFile::SaveIniFile(s, bad));
    ASSERT_EQ(fe.asked.size(), 1);
    EXPECT_EQ(fe.asked[0].title, QStringLiteral("Erreur rencontrée"));
    EXPECT_TRUE(fe.asked[0].message.contains("SaveIniFile (Module Fichier)"));
    EXPECT_TRUE(fe.asked[0].message.contains(bad));
    // A successful save in between makes the next failure worth telling again.
    EXPECT_TRUE(modIniFile::SaveIniFile(s));
    EXPECT_FALSE(modIniFile::SaveIniFile(s, bad));
    EXPECT_EQ(fe.asked.size(), 2);
}

TEST_F(SettingsFile, HooksRunAtTheirPlace) {
    QStringList calls;
    auto &h = modIniFile::hooks();
    h.languageChanged = [&] { calls << "language"; };
    h.closeHelp = [&] { calls << "help"; };
    h.beforeSave = [&](Settings &s) {
        calls << "copy";
        s.NombreFichierRenomme = 42;
    };
    writeIni("[Option]\nOption_OutilExifChoisi=4\n");
    ASSERT_TRUE(modIniFile::ReadIniFile());
    EXPECT_EQ(calls, QStringList({"language"}));
    EXPECT_EQ(settings().OutilExifChoisi, 4);

    calls.clear();
    modIniFile::SaveRegisterBase(true);
    EXPECT_EQ(calls, QStringList({"help", "copy"}));
    EXPECT_EQ(key("General_NombreFichierRenomme"), "42");
    calls.clear();
    modIniFile::SaveRegisterBase(false);
    EXPECT_EQ(calls, QStringList({"copy"}));
}

TEST(SettingsVersion, ComparesMajorMinorRevision) {
    EXPECT_FALSE(modIniFile::versionDiffersFromProgram(modIniFile::programVersion()));
    EXPECT_TRUE(modIniFile::versionDiffersFromProgram("1.10.0"));
    EXPECT_TRUE(modIniFile::versionDiffersFromProgram(""));
    EXPECT_TRUE(modIniFile::versionDiffersFromProgram("1.12"));
    EXPECT_EQ(modIniFile::programVersion(), "1.12.2");
}

TEST_F(SettingsFile, MissingLanguageFileIsToldOnceAndTheChoiceKept) {
    writeFile(QStringLiteral("langages/francais.lng"), "[MSG]\nm1=Titre\n[Language]\nFileMissing=Pas de fichier %s\n");
    writeIni("[Langage]\nLangage_LangueUtilisee=Deutsch\n");
    Settings s;
    ASSERT_TRUE(modIniFile::ReadIniFile(s, iniPath));
    ASSERT_EQ(fe.asked.size(), 1);
    EXPECT_EQ(fe.asked[0].message, "Pas de fichier " + dir.filePath(QStringLiteral("langages/deutsch.lng")));
    EXPECT_EQ(fe.asked[0].title, "Titre");
    // The texts come from French meanwhile; the stored name is written back unchanged.
    EXPECT_EQ(i18n::languageFileName(), QStringLiteral("francais"));
    EXPECT_EQ(s.LangueUtilisee, QStringLiteral("Deutsch"));
    ASSERT_TRUE(modIniFile::SaveIniFile(s, iniPath));
    EXPECT_EQ(key("Langage_LangueUtilisee"), "Deutsch");
    EXPECT_EQ(fe.asked.size(), 1);

    // Once the file is there, nothing is said.
    writeFile(QStringLiteral("langages/deutsch.lng"), "[MSG]\nm1=Titel\n");
    ASSERT_TRUE(modIniFile::ReadIniFile(s, iniPath));
    EXPECT_EQ(fe.asked.size(), 1);
    EXPECT_EQ(i18n::languageFileName(), QStringLiteral("deutsch"));
}
