// The token table against what reads it: the language files' labels, the
// computation's steps, the folder pattern's marker and the metadata question.

#include "TestPaths.h"
#include "core/engine/NameComputer.h"
#include "core/engine/TokenTable.h"
#include "core/settings/Settings.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tav;

namespace {

// The captions of the main window's token labels in a language file.
QMap<int, QString> labelCaptions(const QString &language) {
    QFile f(QStringLiteral(TAV_SOURCE_DIR "/langages/") + language + QStringLiteral(".lng"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << language.toStdString();
    QMap<int, QString> out;
    bool inMain = false;
    for (const QString &line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
        const QString l = line.trimmed();
        if (l.startsWith(QLatin1Char('[')))
            inMain = l == QLatin1String("[frmMain]");
        static const QLatin1String head("Label8(");
        const qsizetype close = l.indexOf(QLatin1String(").Caption="));
        if (inMain && l.startsWith(head) && close > 0)
            out.insert(l.mid(head.size(), close - head.size()).toInt(), l.mid(close + 10));
    }
    return out;
}

class FullRecord : public MetadataSource {
public:
    MetadataRecord read(const QString &) override {
        MetadataRecord r;
        for (int i = 0; i < MetadataRecord::FieldCount; ++i)
            r[i] = QStringLiteral("v%1").arg(i);
        r[MetadataRecord::Year] = QStringLiteral("2021");
        r[MetadataRecord::Month] = QStringLiteral("3");
        return r;
    }
};

} // namespace

TEST(TokenTable, EveryLabelHasOneTokenAndBothLanguageFilesCaptionIt) {
    const int count = tokenLabelCount();
    const QMap<int, QString> french = labelCaptions(QStringLiteral("francais"));
    const QMap<int, QString> english = labelCaptions(QStringLiteral("english"));
    EXPECT_EQ(french.size(), count);
    EXPECT_EQ(english.size(), count);
    for (int label = 0; label < count; ++label) {
        const TokenRow *row = tokenOfLabel(label);
        ASSERT_NE(row, nullptr) << label;
        EXPECT_EQ(row->frenchLabel, french.value(label)) << label;
        // A caption starts with its token (the window inserts what precedes " :").
        EXPECT_TRUE(english.value(label).startsWith(row->text)) << label;
    }
    EXPECT_EQ(tokenOfLabel(count), nullptr);
    EXPECT_EQ(tokenOfLabel(-1), nullptr);
}

TEST(TokenTable, GroupsShowEveryLabelOnceInPlaceOrder) {
    QList<int> seen;
    for (int g = 0; g < tokenGroupCount(); ++g) {
        const QList<int> labels = labelsOfGroup(g);
        EXPECT_FALSE(labels.isEmpty()) << g;
        for (int k = 0; k < labels.size(); ++k)
            EXPECT_EQ(tokenOfLabel(labels[k])->place, k) << "group " << g;
        seen += labels;
    }
    std::sort(seen.begin(), seen.end());
    QList<int> all;
    for (int i = 0; i < tokenLabelCount(); ++i)
        all << i;
    EXPECT_EQ(seen, all);
    // The photo group starts with the date of the shot, as the window shows it.
    EXPECT_EQ(labelsOfGroup(3).mid(0, 2), (QList<int>{9, 16}));
}

// Each value token is replaced by the computation, a folder pattern's marker
// never eats the "$" that opens it, and only the photo tokens need metadata.
TEST(TokenTable, EveryTokenIsEvaluatedKeptAfterTheFolderMarkerAndClassified) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("IMG_42.jpg"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("abc");
    f.close();

    FullRecord record;
    NamingOptions options;
    options.rule.RemplacerCaractereInterdit = 0;
    NameComputer computer;
    computer.setMetadataSource(&record);
    computer.setClock([] { return QDateTime(QDate(2024, 2, 9), QTime(7, 8, 9)); });
    auto nameOf = [&](const QString &pattern) {
        options.rule.Regle = pattern;
        computer.setOptions(options);
        return computer.compute(file, 1).newName;
    };

    for (const TokenRow &row : tokenTable()) {
        SCOPED_TRACE(row.text.toStdString());
        EXPECT_EQ(patternUsesMetadata(QStringLiteral("x") + row.text), row.kind == TokenKind::Photo);
        if (row.kind == TokenKind::Operator || row.kind == TokenKind::Counter)
            continue;
        const QString alone = nameOf(QStringLiteral("<") + row.text + QStringLiteral(">"));
        EXPECT_FALSE(alone.contains(row.text));
        EXPECT_NE(alone, QStringLiteral("<>.jpg"));
        if (row.text.startsWith(QLatin1Char('$'))) {
            EXPECT_EQ(nameOf(QStringLiteral("$MKDIR$") + row.text), nameOf(row.text));
            EXPECT_EQ(nameOf(QStringLiteral("$MKDIR") + row.text), nameOf(row.text));
        }
    }
}

// The settings' naming values reach the names through the options built once.
TEST(NamingOptions, SettingsReachTheNameWithoutAList) {
    Settings s;
    s.regle.Regle = QStringLiteral("$A$-$M$ x#");
    s.regle.DebutPas = 5;
    s.regle.Pas = 2;
    s.FormatAnnee = 1;
    s.FormatMois = 0;
    s.CharactereInterdit = {{QStringLiteral("x"), QStringLiteral("y")}};
    s.FileNotRenamed = {QStringLiteral("keep.jpg")};
    NameComputer computer(NamingOptions::fromSettings(s));
    computer.setClock([] { return QDateTime(QDate(2024, 2, 9), QTime(7, 8, 9)); });
    EXPECT_EQ(computer.compute(QStringLiteral("/tmp/a.jpg"), 3).newName, QStringLiteral("24-2 y9.jpg"));
    EXPECT_TRUE(computer.compute(QStringLiteral("/tmp/keep.jpg"), 1).marker);

    // The options dialog's part leaves the rule alone.
    NamingOptions o;
    o.rule.Regle = QStringLiteral("kept");
    o.takeSettings(s);
    EXPECT_EQ(o.rule.Regle, QStringLiteral("kept"));
    EXPECT_EQ(o.yearFormat, 1);
    EXPECT_EQ(o.forbidden, s.CharactereInterdit);
}
