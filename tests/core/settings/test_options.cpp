// The options dialog's rules without its window: languages, the two tables,
// the counter reset fields and taking the values over.

#include "SettingsFixture.h"
#include "core/base/Trap.h"
#include "core/settings/Options.h"

using namespace tav;
using options::CellEdit;

namespace {

struct Options : SettingsFixture {
    void SetUp() override {
        SettingsFixture::SetUp();
        writeFile(QStringLiteral("langages/francais.lng"),
                  "[LANGUAGE]\nlanguage=Français\n[MSG]\nm1=Titre\nm2=Attention\nm13=Pas un nombre\n"
                  "m26=Supprimer ?\nm27=Conservee\nm28=Remplacer par ?\nm29=Un seul caractere\nm91=<jamais>\n");
        writeFile(QStringLiteral("langages/english.lng"),
                  "[LANGUAGE]\nlanguage=English\n[AUTHOR]\nname=Ann\nemail=ann@example.org\n"
                  "site=https://example.org/\nsiteMsg=Ann's site\n[MSG]\nm91=<never>\n");
        // A file without its display name, and one whose name leads nowhere.
        writeFile(QStringLiteral("langages/klingon.lng"), "[AUTHOR]\nname=K\n");
        writeFile(QStringLiteral("langages/zulu.lng"), "[LANGUAGE]\nlanguage=Ísizulu\n");
        guard.language(QStringLiteral("Français"));
    }
};

QList<ForbiddenRow> table() {
    return {{QStringLiteral("éè"), QStringLiteral("e")}, {QStringLiteral("/"), QStringLiteral("_")}, {}};
}

} // namespace

TEST_F(Options, LanguagesAreListedAndPickedOnlyWhenTheirFileExists) {
    EXPECT_EQ(options::installedLanguages(), (QStringList{QStringLiteral("English"), QStringLiteral("Français"),
                                                          QString(), QStringLiteral("Ísizulu")}));
    EXPECT_FALSE(options::translator().shown);

    int hookRuns = 0;
    modIniFile::hooks().languageChanged = [&] { ++hookRuns; };
    Settings s;
    // The current language, the empty entry, and a name whose accent-free
    // file ("isizulu.lng") is not there: nothing changes.
    for (const QString &name : {QStringLiteral("Français"), QString(), QStringLiteral("Ísizulu")}) {
        EXPECT_FALSE(options::pickLanguage(s, name)) << name.toStdString();
        EXPECT_EQ(i18n::languageName(), QStringLiteral("Français"));
        EXPECT_EQ(s.LangueUtilisee, QStringLiteral("Français"));
    }
    EXPECT_EQ(hookRuns, 0);

    EXPECT_EQ(i18n::Message(91), QStringLiteral("<jamais>")); // now cached
    EXPECT_TRUE(options::pickLanguage(s, QStringLiteral("English")));
    EXPECT_EQ(s.LangueUtilisee, QStringLiteral("English"));
    EXPECT_EQ(i18n::Message(91), QStringLiteral("<never>"));
    EXPECT_EQ(hookRuns, 1);
    const options::Translator t = options::translator();
    EXPECT_TRUE(t.shown);
    EXPECT_EQ(t.name, QStringLiteral("Ann"));
    EXPECT_EQ(t.site, QStringLiteral("https://example.org/"));
    EXPECT_EQ(t.email, QStringLiteral("ann@example.org"));
    EXPECT_EQ(t.siteMsg, QStringLiteral("Ann's site"));
}

TEST_F(Options, ForbiddenTableRowsAreRemovedAddedAndNeedAOneCharacterReplacement) {
    // Emptied cell, "no": message 27 and the row stays; "yes": the row goes.
    QList<ForbiddenRow> rows = table();
    fe.answers = {AnswerNo, AnswerOk, AnswerYes};
    EXPECT_EQ(options::editForbiddenChars(rows, 0, QString()), CellEdit::Refused);
    EXPECT_EQ(rows, table());
    EXPECT_EQ(options::editForbiddenChars(rows, 0, QString()), CellEdit::Removed);
    EXPECT_EQ(rows, table().mid(1));
    ASSERT_EQ(fe.asked.size(), 3);
    EXPECT_EQ(fe.asked[0].message, QStringLiteral("Supprimer ?"));
    EXPECT_EQ(fe.asked[0].style, StyleYesNo + StyleQuestion);
    EXPECT_EQ(fe.asked[0].title, QStringLiteral("Titre"));
    EXPECT_EQ(fe.asked[1].message, QStringLiteral("Conservee"));
    EXPECT_EQ(fe.asked[1].style, StyleExclamation);
    EXPECT_TRUE(fe.prompts.isEmpty());

    // The trailing row filled: the prompt offers the row's replacement, one
    // character is taken and a new trailing row follows.
    fe.asked.clear();
    rows = table();
    fe.inputs = {QStringLiteral("-")};
    EXPECT_EQ(options::editForbiddenChars(rows, 2, QStringLiteral("*")), CellEdit::Accepted);
    const QList<ForbiddenRow> added{{QStringLiteral("*"), QStringLiteral("-")}, {}};
    EXPECT_EQ(rows, table().mid(0, 2) + added);
    ASSERT_EQ(fe.prompts.size(), 1);
    EXPECT_EQ(fe.prompts[0].message, QStringLiteral("Remplacer par ?"));
    EXPECT_TRUE(fe.asked.isEmpty());

    // Two characters, nothing, or a cancelled prompt: message 29, the typed
    // characters stay, the replacement is unchanged, no row is added.
    for (const QString &answer : {QStringLiteral("ab"), QStringLiteral(""), QString()}) {
        rows = table();
        fe.asked.clear();
        fe.inputs = {answer};
        EXPECT_EQ(options::editForbiddenChars(rows, 1, QStringLiteral("\\")), CellEdit::Accepted);
        EXPECT_EQ(rows[1], (ForbiddenRow{QStringLiteral("\\"), QStringLiteral("_")}));
        EXPECT_EQ(rows.size(), 3);
        ASSERT_EQ(fe.asked.size(), 1);
        EXPECT_EQ(fe.asked[0].message, QStringLiteral("Un seul caractere"));
    }
}

TEST_F(Options, NeverRenamedNamesAreAddedThroughTheTrailingRowAndRemovedWhenEmptied) {
    QStringList rows{QStringLiteral("Thumbs.db"), QString()};
    EXPECT_EQ(options::editNeverRenamed(rows, 1, QStringLiteral("desktop.ini")), CellEdit::Accepted);
    EXPECT_EQ(rows, (QStringList{QStringLiteral("Thumbs.db"), QStringLiteral("desktop.ini"), QString()}));
    EXPECT_EQ(options::editNeverRenamed(rows, 0, QStringLiteral("thumbs.db")), CellEdit::Accepted);
    EXPECT_EQ(rows.size(), 3);
    fe.answers = {AnswerNo, AnswerYes};
    EXPECT_EQ(options::editNeverRenamed(rows, 0, QString()), CellEdit::Refused);
    EXPECT_EQ(options::editNeverRenamed(rows, 0, QString()), CellEdit::Removed);
    EXPECT_EQ(rows, (QStringList{QStringLiteral("desktop.ini"), QString()}));
    EXPECT_EQ(fe.asked.size(), 2); // no notice after "no", unlike the characters table
}

TEST_F(Options, ConfirmingTakesTheFormOverOrNothingAtAll) {
    Settings s;
    options::Form f = options::load(s);
    EXPECT_EQ(f.forbidden.size(), s.CharactereInterdit.size() + 1);
    EXPECT_TRUE(f.chosenFolder.isEmpty()); // shown only for the chosen-folder entry

    // A value out of range stops the confirmation before anything changes.
    const Settings before = s;
    f.year = 1;
    f.txtPas = QStringLiteral("70000");
    EXPECT_THROW(options::confirm(s, f, QStringLiteral("/docs")), TavError);
    EXPECT_EQ(s, before);

    // Only the trailing rows: the names list becomes one empty name, and the
    // table one row that replaces nothing, so that neither comes back as the
    // built-in one at the next start.
    f = options::load(s);
    f.forbidden = {{}};
    f.neverRenamed = {QString()};
    f.startFolder = 0;
    f.jheadExtensions = QStringLiteral("jpg heic");
    EXPECT_FALSE(options::confirm(s, f, QStringLiteral("/docs")));
    EXPECT_EQ(s.FileNotRenamed, QStringList{QString()});
    EXPECT_EQ(s.CharactereInterdit, QList<ForbiddenRow>{ForbiddenRow{}});
    EXPECT_EQ(s.DossierSpecifique, QStringLiteral("/docs"));
    EXPECT_EQ(s.ExtensionTraiteAvecJHEAD, QStringLiteral("JPG HEIC"));
    ASSERT_TRUE(modIniFile::SaveIniFile(s));
    Settings again;
    ASSERT_TRUE(modIniFile::ReadIniFile(again, iniPath));
    EXPECT_EQ(again.FileNotRenamed, QStringList{QString()});
    EXPECT_EQ(again.CharactereInterdit, QList<ForbiddenRow>{ForbiddenRow{}});

    f = options::load(s);
    f.thumbnailSize = 2;
    EXPECT_TRUE(options::confirm(s, f, QString()));
}
