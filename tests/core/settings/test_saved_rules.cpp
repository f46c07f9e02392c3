#include "SettingsFixture.h"
#include "core/base/Trap.h"
#include "core/settings/SavedRuleCommands.h"
#include "core/settings/SavedRules.h"

using namespace tav;
using namespace tav::savedRules;

namespace {

struct SavedRules : SettingsFixture {
    Settings s;
    Rule current;

    void SetUp() override {
        SettingsFixture::SetUp();
        current.Regle = "IMG_###";
        current.DebutPas = 3;
        current.Pas = 2;
        current.Commentaire = "Vacances";
        current.Extension = "jpg png";
    }
    QStringList fileRules() const {
        QStringList out;
        const IniFile f = ini();
        const int top = f.read("General", "General_NombreRegle", "-1").toInt();
        for (int i = 0; i <= top; ++i)
            out << f.read("General", "General_Regle" + QString::number(i)).section(u'|', 0, 0);
        return out;
    }
};

} // namespace

TEST(SavedRuleText, TwelveFieldsRoundTripAndShortOrBadTexts) {
    Rule r;
    r.Regle = "a";
    r.Commentaire = "c";
    r.Extension = "jpg";
    r.IncrementeFichierIdentique = 0;
    r.RemplacerCaractereInterdit = 1;
    r.ModifieExtensionValeur = "png";
    r.ModifieExtension = 1;
    r.Pas = -3;
    r.PremierCaractereEnMajuscule = 1;
    r.PremierCaractereEnMajusculePourChaqueMot = 2;
    r.DebutPas = ContinueModeStart;
    r.EffaceEspace = 1;
    EXPECT_EQ(toText(r), "a|c|jpg|0|1|png|1|-3|1|2|2147483647|1");
    EXPECT_EQ(fromText(toText(r)), r);
    EXPECT_EQ(fromText(toText(r) + "|surplus|more"), r);

    const Rule shortRule = fromText("b|only comment");
    EXPECT_EQ(shortRule.Commentaire, "only comment");
    EXPECT_EQ(shortRule.Extension, "");
    EXPECT_EQ(shortRule.DebutPas, 0);
    EXPECT_EQ(shortRule.RemplacerCaractereInterdit, 0);

    try {
        fromText("a|c|jpg|yes");
        FAIL() << "a field that is no number must not pass";
    } catch (const TavError &e) {
        EXPECT_EQ(e.number(), ErrTypeMismatch);
    }
    EXPECT_THROW(fromOldText("a|1|40000"), TavError); // step out of 16 bits
}

TEST_F(SavedRules, CommentLabelWritesAndReadsBack) {
    EXPECT_EQ(ecrireCommentaire("Vacances", "jpg png"), "Vacances (jpg png)");
    EXPECT_EQ(ecrireCommentaire("", ""), "Pas de commentaire (*)");
    EXPECT_EQ(getCommentaire("Vacances (jpg png)"), (CommentParts{"Vacances", "jpg png"}));
    EXPECT_EQ(getCommentaire(ecrireCommentaire("", "")), (CommentParts{"Pas de commentaire", "*"}));
    // Not exactly one "(": message 95 and every type.
    EXPECT_EQ(getCommentaire("a (b) (jpg)"), (CommentParts{"Numero et nom", "*"}));
    EXPECT_EQ(getCommentaire("plain"), (CommentParts{"Numero et nom", "*"}));

    EXPECT_TRUE(isCommentPrompt("Pas de commentaire"));
    EXPECT_TRUE(isCommentPrompt("Numero et nom"));
    EXPECT_FALSE(isCommentPrompt("Vacances"));
}

TEST_F(SavedRules, DialogRefusesSeparatorsAndFillsDefaults) {
    const std::initializer_list<std::pair<QString, QString>> refused = {
        {"a (b", "jpg"}, {"ok", "jpg)"}, {"a|b", "jpg"}, {"ok", "jpg|png"}};
    for (const auto &[comment, types] : refused) {
        fe.asked.clear();
        EXPECT_FALSE(acceptCommentDialog(comment, types).has_value()) << comment.toStdString();
        ASSERT_EQ(fe.asked.size(), 1);
        EXPECT_EQ(fe.asked[0].message, "Ni parentheses ni barre");
        EXPECT_EQ(fe.asked[0].style, StyleInformation);
        EXPECT_EQ(fe.asked[0].title, "Attention");
    }
    EXPECT_EQ(acceptCommentDialog("  ", ""), (CommentParts{"Numero et nom", "*"}));
    EXPECT_EQ(acceptCommentDialog(" Vacances ", " jpg png "), (CommentParts{"Vacances", "jpg png"}));
}

TEST_F(SavedRules, MemoriseAddsOrReplacesAndWritesAtOnce) {
    EXPECT_TRUE(memorise(s, current));
    EXPECT_EQ(fileRules(), QStringList({"IMG_###"}));

    Rule other = current;
    other.Regle = "*_#";
    memorise(s, other);
    current.Pas = 9;
    current.Commentaire = "Second";
    EXPECT_TRUE(memorise(s, current)); // same pattern: replaced in place
    ASSERT_EQ(savedRulePatterns(s), QStringList({"IMG_###", "*_#"}));
    EXPECT_EQ(s.regles[0].Pas, 9);
    EXPECT_EQ(s.regles[0].Commentaire, "Second");
    EXPECT_EQ(fileRules(), QStringList({"IMG_###", "*_#"}));
    EXPECT_TRUE(ini().read("General", "General_Regle0").startsWith("IMG_###|Second|jpg png|"));

    Rule empty;
    EXPECT_FALSE(memorise(s, empty));
    Rule piped = current;
    piped.Regle = "a|b";
    EXPECT_FALSE(memorise(s, piped));
    EXPECT_EQ(fe.asked.last().message, "Interdit : |");
    EXPECT_EQ(savedRulePatterns(s).size(), 2);
    EXPECT_EQ(savedRulesAsTabLines(s)[1], "*_#\tVacances\tjpg png\t1\t1\t\t0\t2\t0\t0\t3\t0");
}

TEST_F(SavedRules, ForgetAsksThenRemovesAndResetsTheLabel) {
    for (const char *p : {"a", "b", "c"}) {
        current.Regle = p;
        memorise(s, current);
    }
    current.Regle = "b";
    fe.answers = {AnswerNo};
    EXPECT_FALSE(forget(s, current));
    EXPECT_EQ(current.Commentaire, "Vacances");
    ASSERT_EQ(fe.asked.size(), 1);
    EXPECT_EQ(fe.asked[0].message, "Oublier b ?");
    EXPECT_EQ(fe.asked[0].style, 68);
    EXPECT_EQ(fe.asked[0].title, "Titre");

    fe.answers = {AnswerYes};
    EXPECT_TRUE(forget(s, current));
    EXPECT_EQ(savedRulePatterns(s), QStringList({"a", "c"}));
    EXPECT_EQ(fileRules(), QStringList({"a", "c"}));
    EXPECT_EQ(current.Commentaire, "");
    EXPECT_EQ(current.Extension, "*");

    // A rule never saved: the question, then only the label changes.
    current.Regle = "never";
    current.Commentaire = "x";
    fe.answers = {AnswerYes};
    EXPECT_TRUE(forget(s, current));
    EXPECT_EQ(fe.asked.size(), 3);
    EXPECT_EQ(current.Commentaire, "");
    EXPECT_EQ(savedRulePatterns(s).size(), 2);

    current.Regle.clear();
    EXPECT_FALSE(forget(s, current));
    EXPECT_EQ(fe.asked.size(), 3); // nothing asked for an empty pattern

    fe.answers = {AnswerNo, AnswerYes};
    EXPECT_FALSE(forgetAll(s, current));
    EXPECT_EQ(savedRulePatterns(s).size(), 2);
    EXPECT_TRUE(forgetAll(s, current));
    EXPECT_EQ(fe.asked.last().message, "Tout oublier ?");
    EXPECT_EQ(fe.asked.last().style, 68);
    EXPECT_TRUE(s.regles.isEmpty());
    EXPECT_TRUE(fileRules().isEmpty());
    EXPECT_EQ(ini().read("General", "General_Regle0", "<absent>"), "<absent>");
}

TEST_F(SavedRules, ChoosingSetsEveryFieldWithUpdatesOffThenRecomputesOnce) {
    Rule saved;
    saved.Regle = "$A$_#";
    saved.DebutPas = ContinueModeStart;
    saved.Pas = 7;
    saved.ModifieExtension = 1;
    saved.ModifieExtensionValeur = "txt";
    saved.RemplacerCaractereInterdit = 0;
    saved.IncrementeFichierIdentique = 0;
    saved.EffaceEspace = 1;
    saved.PremierCaractereEnMajuscule = 1;
    saved.PremierCaractereEnMajusculePourChaqueMot = 1;
    saved.Commentaire = "";
    saved.Extension = "";
    s.regles = {Rule{}, saved};

    QStringList events;
    bool updates = true;
    auto setUpdates = [&](bool on) {
        updates = on;
        events << (on ? "on" : "off");
    };
    auto changed = [&] {
        EXPECT_TRUE(updates);
        EXPECT_EQ(current.Pas, 7); // fields are all set before the recomputation
        events << "changed";
    };
    EXPECT_TRUE(chooseSavedRule(s, "$A$_#", current, setUpdates, changed));
    EXPECT_EQ(events, QStringList({"off", "on", "changed"}));
    Rule expected = saved;
    expected.Regle = current.Regle; // the pattern is the caller's to validate
    expected.Extension = "*";       // no file types: every type
    EXPECT_EQ(current, expected);

    events.clear();
    EXPECT_FALSE(chooseSavedRule(s, "unknown", current, setUpdates, changed));
    EXPECT_FALSE(chooseSavedRule(s, "", current, setUpdates, changed)); // the empty placeholder is no rule
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(SavedRules, ReadingTakesTheCommentOfTheRuleInTheBox) {
    writeIni("[General]\nGeneral_VersionCourante=1.12.2\nGeneral_NombreRegle=2\n"
             "General_Regle0=IMG_#|first|jpg\nGeneral_Regle1=other|x|y\nGeneral_Regle2=IMG_#||\n"
             "[RegleRenommage]\nRegleRenommage_Regle=IMG_#\nRegleRenommage_Commentaire=stored\n");
    ASSERT_TRUE(modIniFile::ReadIniFile(s, iniPath));
    // The last matching rule wins: empty comment (message 93 on the label), every type.
    EXPECT_EQ(s.regle.Commentaire, "");
    EXPECT_EQ(s.regle.Extension, "*");
    EXPECT_EQ(findSavedRule(s, "other")->Commentaire, "x");
    EXPECT_FALSE(findSavedRule(s, "none").has_value());
}
