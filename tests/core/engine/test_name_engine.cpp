#include "EngineFixture.h"

#include "core/base/Trap.h"

using namespace tav;

TEST_F(EngineFixture, CounterFollowsListPositionAndTypeFilterKeepsThePosition) {
    const QString a = make("a.jpg"), b = make("b.jpg"), c = make("c.txt"), d = make("d.JPG");
    pattern("photo_##");
    add({a, b, c});
    EXPECT_EQ(newNames(), (QStringList{"photo_01.jpg", "photo_02.jpg", "photo_03.txt"}));

    engine.rule().Extension = QStringLiteral("JPG");
    engine.update_names();
    engine.affiche_nom(d);
    EXPECT_EQ(newNames(), (QStringList{"photo_01.jpg", "photo_02.jpg", i18n::Message(97), "photo_04.JPG"}));

    // An empty filter selects nothing; "*" also selects a file without extension.
    engine.rule().Extension = QString();
    engine.update_names();
    EXPECT_EQ(newNames().count(i18n::Message(97)), 4);
    const QString bare = make("README");
    engine.rule().Extension = QStringLiteral("*");
    EXPECT_EQ(nameOf(bare), QStringLiteral("photo_01"));
    engine.rule().Extension = QStringLiteral("TXT J?G");
    EXPECT_EQ(nameOf(bare), i18n::Message(97));
    EXPECT_EQ(nameOf(d), QStringLiteral("photo_01.JPG"));
}

TEST_F(EngineFixture, CounterWidthStartStepAndSplitRuns) {
    QStringList files;
    for (int i = 0; i < 12; ++i)
        files << make(QStringLiteral("f%1.jpg").arg(i));
    pattern("IMG_###");
    add(files);
    EXPECT_EQ(newNames().last(), QStringLiteral("IMG_012.jpg"));

    engine.setTxtPas(QStringLiteral("10"));
    engine.update_names();
    EXPECT_EQ(newNames().last(), QStringLiteral("IMG_111.jpg"));
    EXPECT_EQ(engine.rule().Pas, 10); // the step field is stored as it is read

    // The field is as wide as the "#" count, from the first "#".
    engine.clearList();
    engine.setTxtPas(QStringLiteral("1"));
    pattern("a#b#c");
    add({files[0]});
    EXPECT_EQ(newNames(), QStringList{"a01#c.jpg"});

    // Negative values keep their sign in front of the zeros; wide values are not cut.
    engine.clearList();
    pattern("###");
    engine.setTxtDebut(QStringLiteral("-5"));
    add({files[0]});
    engine.setTxtDebut(QStringLiteral("1234"));
    add({files[1]});
    EXPECT_EQ(newNames(), (QStringList{"-005.jpg", "1235.jpg"}));

    // "$Z$" in the pattern stands for the counter too, as soon as the name holds a "#".
    pattern("a$Z$b##");
    engine.setTxtDebut(QStringLiteral("7"));
    EXPECT_EQ(nameOf(files[0]), QStringLiteral("a07b07.jpg"));
    pattern("a$Z$b");
    EXPECT_EQ(nameOf(files[0]), QStringLiteral("a$Z$b.jpg"));

    // A huge counter is only wide, and the row says why it cannot be a name.
    pattern(QString(10000, QLatin1Char('#')));
    const QString wide = nameOf(files[0]);
    EXPECT_EQ(wide.size(), 10000 + 4);
    EXPECT_TRUE(wide.startsWith(QString(9999, QLatin1Char('0')) + QLatin1Char('7')));
    EXPECT_FALSE(engine.model()->entry(0).nameProblem.isEmpty());
}

TEST_F(EngineFixture, NumberBaseNameAndFolderTokens) {
    pattern("[$N$][*][$P$]");
    EXPECT_EQ(nameOf(make("Voyage/DSC_0042 (2).jpg")), QStringLiteral("[0042][DSC_0042 (2)][Voyage].jpg"));
    EXPECT_EQ(nameOf(make("Voyage/photo.mp3")), QStringLiteral("[3][photo][Voyage].mp3"));
    EXPECT_EQ(nameOf(make("Voyage/photo.jpg")), QStringLiteral("[][photo][Voyage].jpg"));
    EXPECT_EQ(nameOf(make("Voyage/archive.tar.gz")), QStringLiteral("[][archive.tar][Voyage].gz"));
    // A dot in a folder's name does not cut the base name or make an extension.
    EXPECT_EQ(nameOf(make("photos.2015/readme")), QStringLiteral("[][readme][photos.2015]"));
    // A file at the root has a folder without a name.
    EXPECT_EQ(engine.computeNewName(QStringLiteral("/img.jpg"), 1).newName, QStringLiteral("[][img][].jpg"));
}

TEST_F(EngineFixture, FileSizeAndDateTokensAndVanishedFiles) {
    const QString path = make("x.dat", QByteArray(1234, 'x'));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2015, 3, 7), QTime(9, 5, 0)), QFileDevice::FileModificationTime));
    }
    engine.options().forbidden.clear();
    pattern("$t$ $D$ $DA$-$DM$-$DJ$ $Dh$$Dm$$Ds$");
    EXPECT_EQ(nameOf(path), QStringLiteral("1234 07/03/2015 09:05:00 2015-03-07 090500.dat"));

    engine.options().yearFormat = 1;
    engine.options().monthFormat = 0;
    pattern("$DA$-$DM$");
    EXPECT_EQ(nameOf(path), QStringLiteral("15-3.dat"));

    // A file that has gone keeps these tokens as they were written.
    QFile::remove(path);
    pattern("$t$ $DA$");
    EXPECT_EQ(nameOf(path), QStringLiteral("$t$ $DA$.dat"));
}

TEST_F(EngineFixture, CurrentDateIsReadForEveryFileWithTheFormats) {
    int ticks = 0;
    engine.setClock([&] { return QDateTime(QDate(2024, 2, 9), QTime(7, 8, ticks++)); });
    engine.options().locale = QLocale(QLocale::English);
    engine.options().monthFormat = 3;
    pattern("$A$ $M$ $J$ $h$$m$$s$");
    add({make("a.jpg"), make("b.jpg")});
    EXPECT_EQ(newNames(), (QStringList{"2024 February 09 070800.jpg", "2024 February 09 070801.jpg"}));

    pattern("*");
    engine.update_names();
    EXPECT_EQ(ticks, 2); // no date token, no clock reading

    engine.options().monthFormat = 2;
    engine.options().yearFormat = 1;
    pattern("$A$$M$");
    EXPECT_EQ(nameOf(make("c.jpg")), QStringLiteral("24Feb.jpg"));

    // Digits stay plain whatever the locale; month names follow it.
    const QString d = make("d.jpg");
    engine.rule().RemplacerCaractereInterdit = 0;
    for (const QLocale &locale : {QLocale(QLocale::Arabic, QLocale::Egypt), QLocale(QLocale::Russian),
                                  QLocale(QLocale::French), QLocale(QLocale::Hindi)}) {
        engine.options().locale = locale;
        engine.options().yearFormat = 0;
        engine.options().monthFormat = 1;
        pattern("$A$-$M$-$J$ $h$$m$");
        EXPECT_EQ(nameOf(d), QStringLiteral("2024-02-09 0708.jpg")) << locale.name().toStdString();
        engine.options().monthFormat = 3;
        pattern("$M$");
        EXPECT_EQ(nameOf(d), locale.monthName(2, QLocale::LongFormat) + ".jpg") << locale.name().toStdString();
    }
}

TEST_F(EngineFixture, MetadataIsReadOnceAndOnlyWhenAsked) {
    FakeMetadata meta;
    engine.setMetadataSource(&meta);
    const QString shot = make("shot.jpg"), plain = make("plain.jpg");
    MetadataRecord r;
    r[MetadataRecord::FileSize] = "2048";
    r[MetadataRecord::DateTime] = "2015_07_14";
    r[MetadataRecord::CameraModel] = "Cam";
    r[MetadataRecord::Resolution] = "640x480";
    r[MetadataRecord::Orientation] = "90";
    r[MetadataRecord::Comment] = "note";
    r[MetadataRecord::Year] = "2015";
    r[MetadataRecord::Month] = "7";
    r[MetadataRecord::Day] = "14";
    r[MetadataRecord::Hour] = "10";
    r[MetadataRecord::Minute] = "20";
    r[MetadataRecord::Second] = "30";
    meta.records[shot] = r;

    pattern("*");
    add({shot, plain});
    EXPECT_TRUE(meta.reads.isEmpty());

    engine.clearList();
    pattern("$T$ $d$ $dA$-$dM$-$dJ$ $dh$$dm$$ds$ $K$ $R$ $O$ $C$");
    add({shot});
    EXPECT_EQ(newNames(), QStringList{"2048 2015_07_14 2015-07-14 102030 Cam 640x480 90 note.jpg"});
    EXPECT_EQ(meta.reads, QStringList{shot});

    // No year: the year and month of the shot vanish, the rest is empty text.
    engine.clearList();
    pattern("[$d$][$dA$][$dM$]");
    add({plain});
    EXPECT_EQ(newNames(), QStringList{"[][][].jpg"});

    // Without a source every record is empty.
    engine.setMetadataSource(nullptr);
    pattern("a$K$b");
    EXPECT_EQ(nameOf(shot), QStringLiteral("ab.jpg"));
}

TEST_F(EngineFixture, NeverRenamedListIsExactAndExtensionOptions) {
    pattern("x");
    engine.options().neverRenamed = {QStringLiteral("Thumbs.db")};
    EXPECT_EQ(nameOf(make("Thumbs.db")), i18n::Message(91));
    EXPECT_EQ(nameOf(make("thumbs.db")), QStringLiteral("x.db"));
    EXPECT_FALSE(engine.model()->entry(0).makesFolders);

    // An empty replacement extension leaves no dot; the case option needs an extension.
    engine.rule().ModifieExtension = 1;
    engine.rule().ModifieExtensionValeur = QString();
    engine.options().caseOption = CaseOption::Upper;
    pattern("img_#");
    EXPECT_EQ(nameOf(make("a.jpg")), QStringLiteral("img_1"));
    engine.rule().ModifieExtension = 0;
    EXPECT_EQ(nameOf(make("a.jpg")), QStringLiteral("IMG_1.JPG"));
    EXPECT_EQ(nameOf(make("noext")), QStringLiteral("img_1"));
}

TEST_F(EngineFixture, IdenticalNamesAreNumberedAcrossAddsUntilTheNextRefresh) {
    const QString a = make("one/a.jpg"), b = make("two/b.jpg"), c = make("c.JPG"), d = make("d.jpg");
    pattern("holiday");
    add({a, b});
    engine.affiche_nom(c); // a later add is numbered against the names already given
    EXPECT_EQ(newNames(), (QStringList{"holiday.jpg", "holiday_1.jpg", "holiday_2.JPG"}));

    engine.update_names(); // the table starts again, so the refresh gives the same names
    engine.affiche_nom(d);
    EXPECT_EQ(newNames(), (QStringList{"holiday.jpg", "holiday_1.jpg", "holiday_2.JPG", "holiday_3.jpg"}));

    engine.rule().IncrementeFichierIdentique = 0;
    engine.update_names();
    EXPECT_EQ(newNames().count(QStringLiteral("holiday.jpg")), 3);
}

TEST_F(EngineFixture, AFoldersFilesAddedTogetherGetTheRowsOfOneByOne) {
    // Names that make equal new names, names without extension, a name
    // holding "/" (cut where it stands), at the root and in a folder.
    const QStringList names{"b.JPG", "B.jpg", "a", "A", "x.tar.gz", "a/b.jpg", "é.jpg", "É.JPG", ".jpg", ""};
    pattern("$REPC/b/a$");
    engine.rule().IncrementeFichierIdentique = 1;
    engine.setTxtDebut(QStringLiteral("1"));
    RenameList together;
    together.setOptions(engine.options());
    for (const QString &folder : {dir.path(), QString()}) {
        engine.clearList();
        together.clearList();
        for (const QString &name : names)
            engine.affiche_nom(folder + QLatin1Char('/') + name);
        together.addFolderFiles(folder, names);
        ASSERT_EQ(together.model()->count(), engine.model()->count());
        for (int i = 0; i < engine.model()->count(); ++i) {
            const FileEntry &one = engine.model()->entry(i), &all = together.model()->entry(i);
            EXPECT_EQ(all.folder, one.folder) << i;
            EXPECT_EQ(all.oldName, one.oldName) << i;
            EXPECT_EQ(all.newName, one.newName) << i;
            EXPECT_EQ(all.nameProblem, one.nameProblem) << i;
        }
    }
}

TEST_F(EngineFixture, TokensThatValuesSpellAreReplacedByTheStepsAfterThem) {
    engine.setClock([] { return QDateTime(QDate(2024, 2, 9), QTime(7, 8, 9)); });
    engine.rule().RemplacerCaractereInterdit = 0;
    // "*" puts "A" between the pattern's "$": the current year, then the folder.
    pattern("$*$ $P$");
    EXPECT_EQ(nameOf(make("Voyage/A.jpg")), QStringLiteral("2024 Voyage.jpg"));
    // A base name that holds tokens: those of later steps are replaced, "$N$" is not.
    pattern("*");
    EXPECT_EQ(nameOf(make("Voyage/$N$ $P$ $J$.jpg")), QStringLiteral("$N$ Voyage 09.jpg"));
}

TEST_F(EngineFixture, OldNameTokensInAnyNumberAndWhatTheOldNameBringsIn) {
    struct Case {
        const char *rule, *file, *expected;
    } cases[] = {
        {"$N$*$N$", "ab12cd34.txt", "12ab12cd3412.txt"},
        {"**", "x.jpg", "xx.jpg"},
        {"a*b*c", "photo", "aphotobphotoc"},
        {"[$N$]", "photo.jpg", "[].jpg"},
        {"$N$$N$", "7.jpg", "77.jpg"},
        {"x$N$", "$N$9.jpg", "x9.jpg"},
        {"#*", "b.jpg", "1b.jpg"},
        // The old name's "#" and tokens are the counter's and the later steps'.
        {"*", "#1.jpg", "11.jpg"},
        {"*", "$P$.jpg", "Voyage.jpg"},
        {"*-$N$", "a$P$1.jpg", "aVoyage1-1.jpg"},
    };
    for (const Case &c : cases) {
        pattern(QString::fromUtf8(c.rule));
        EXPECT_EQ(nameOf(make(QStringLiteral("Voyage/") + QString::fromUtf8(c.file))), QString::fromUtf8(c.expected))
            << c.rule << " " << c.file;
    }
}

TEST_F(EngineFixture, ContinueModeStartsAfterTheHighestNumberInTheFolder) {
    make("IMG_005.jpg");
    make("IMG_012.jpg");
    make("IMG_abc.jpg");                // not a number: another kind of name
    make(".IMG_099.jpg");               // hidden entries are passed over
    QDir(dir.path()).mkpath("IMG_050"); // so are folders
    make("IMG_007_old.jpg");            // different text after the field
    const QString a = make("new1.jpg"), b = make("new2.jpg");

    pattern("IMG_###");
    engine.setTxtDebut(QStringLiteral("#"));
    add({a, b});
    // Both files see the same folder: identical numbering tells them apart.
    EXPECT_EQ(newNames(), (QStringList{"IMG_013.jpg", "IMG_013_1.jpg"}));
    EXPECT_GT(ui.eventsProcessed, 0);

    // A folder without a matching name starts at the step.
    QTemporaryDir other;
    QFile f(other.filePath("z.png"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    engine.rule().Pas = 5;
    pattern("pic-##");
    EXPECT_EQ(nameOf(other.filePath("z.png")), QStringLiteral("pic-05.png"));

    // The continue mode is also chosen by the stored start.
    Rule r = engine.rule();
    r.DebutPas = ContinueModeStart;
    r.Pas = 1;
    r.Regle = QStringLiteral("IMG_###");
    engine.setRule(r);
    EXPECT_EQ(engine.txtDebut(), QStringLiteral("#"));
    EXPECT_EQ(nameOf(a), QStringLiteral("IMG_013.jpg"));

    // Spaces around "#" in the start field: the continue mode here too, as
    // leaving the field decides, not a number that fails to read.
    engine.rule().DebutPas = 1;
    engine.setTxtDebut(QStringLiteral(" # "));
    EXPECT_TRUE(engine.isContinueMode());
    EXPECT_EQ(nameOf(a), QStringLiteral("IMG_013.jpg"));
    EXPECT_TRUE(ui.plainErrors.isEmpty());
}

TEST_F(EngineFixture, RefreshDuringAFolderScanReturnsAtOnce) {
    for (int i = 0; i < 3; ++i)
        make(QStringLiteral("IMG_00%1.jpg").arg(i));
    const QString a = make("a.jpg");
    pattern("IMG_###");
    engine.setTxtDebut(QStringLiteral("#"));
    engine.affiche_nom(a);
    ui.onOff.clear();

    int nested = 0;
    ui.onProcessEvents = [&] {
        ++nested;
        engine.update_names(); // an event handled during the scan
    };
    engine.update_names();
    ui.onProcessEvents = nullptr;
    EXPECT_GT(nested, 0);
    // Only the outer refresh switched the window off and on again.
    EXPECT_EQ(ui.onOff, (QList<QList<bool>>{{false, false, false}, {true, false, false}}));
    EXPECT_FALSE(engine.isBusy());
    EXPECT_EQ(newNames(), QStringList{"IMG_003.jpg"});

    // A file added during the scan joins the list after the rebuild.
    const QString late = make("late.jpg");
    bool dropped = false;
    ui.onProcessEvents = [&] {
        if (!dropped) {
            dropped = true;
            engine.affiche_nom(late);
        }
    };
    engine.update_names();
    ui.onProcessEvents = nullptr;
    EXPECT_EQ(engine.model()->count(), 2);
    EXPECT_EQ(engine.model()->entry(1).oldName, QStringLiteral("late.jpg"));
    EXPECT_EQ(newNames(), (QStringList{"IMG_003.jpg", "IMG_003_1.jpg"}));
}

TEST_F(EngineFixture, RefreshShowsProgressAndTheCount) {
    QStringList counts;
    QObject::connect(&engine, &RenameList::countLabelChanged, [&](const QString &t) { counts << t; });
    engine.update_names(); // an empty list only updates the count
    EXPECT_EQ(counts, QStringList{i18n::Message(19, "0")});
    EXPECT_TRUE(ui.progressStarts.isEmpty());

    add({make("a.jpg"), make("b.jpg"), make("c.jpg")});
    engine.update_names();
    EXPECT_EQ(ui.progressStarts, QList<int>{3});
    EXPECT_EQ(ui.progressSteps, (QList<int>{1, 2, 3}));
    EXPECT_EQ(ui.progressEnds, 1);
    EXPECT_EQ(counts.last(), i18n::Message(19, "3"));

    // With the automatic refresh off, the rows keep their names.
    pattern("other");
    engine.setAutoRefresh(false);
    engine.update_names();
    EXPECT_NE(newNames().first(), QStringLiteral("other.jpg"));
}

TEST_F(EngineFixture, FaultsAreReportedOnceAndTheRowKeepsAnEmptyName) {
    add({make("a.jpg"), make("b.jpg")});
    pattern("n#");
    engine.setTxtDebut(QStringLiteral("abc"));
    engine.update_names();
    EXPECT_EQ(newNames(), (QStringList{"", ""}));
    ASSERT_EQ(ui.plainErrors.size(), 1);
    EXPECT_EQ(ui.plainErrors[0], plainErrorText(13, "Type mismatch", "affiche_nom", "frmMain"));

    // A counter beyond 32 bits overflows; the rows stay listed.
    engine.setTxtDebut(QStringLiteral("2147483646"));
    engine.setTxtPas(QStringLiteral("2"));
    engine.update_names();
    EXPECT_EQ(newNames(), (QStringList{"n2147483646.jpg", ""}));
    EXPECT_TRUE(ui.plainErrors.last().startsWith(QStringLiteral("Error 6 ")));

    // A step outside 16 bits is refused the same way.
    engine.setTxtDebut(QStringLiteral("1"));
    engine.setTxtPas(QStringLiteral("40000"));
    engine.update_names();
    EXPECT_EQ(newNames(), (QStringList{"", ""}));
}

TEST_F(EngineFixture, ReplaceByPositionWithoutPositionStopsButKeepsTheFiles) {
    add({make("abcdefgh.jpg"), make("b.jpg"), make("c.jpg")});
    pattern("$REPP/2/5/1/X$");
    engine.update_names();
    EXPECT_EQ(newNames().first(), QStringLiteral("abXefgh.jpg"));

    pattern("$REPP/x/y/1/X$");
    engine.update_names();
    EXPECT_EQ(engine.model()->count(), 3);
    EXPECT_EQ(newNames(), (QStringList{"", "", ""}));
    EXPECT_EQ(ui.messages().count(i18n::Message(45)), 1);
    EXPECT_TRUE(engine.affiche_nom(make("d.jpg")));
}

TEST_F(EngineFixture, OptionsRunInOrderAfterTheOperators) {
    const QString f = make("IMG_1234.jpg");
    pattern("x $REPC/IMG/  été à#$ y");
    engine.rule().EffaceEspace = 1;
    engine.rule().PremierCaractereEnMajuscule = 1;
    // The operator replaced the whole pattern; its "#" then became the counter,
    // the forbidden table left É alone and changed é and à.
    EXPECT_EQ(nameOf(f), QStringLiteral("Éte a1_1234.jpg"));
}

TEST_F(EngineFixture, ImpossibleNamesAreMarkedButShownAsComputed) {
    pattern("..");
    engine.rule().ModifieExtension = 1;
    EXPECT_EQ(nameOf(make("a.jpg")), QStringLiteral(".."));
    EXPECT_FALSE(engine.model()->entry(0).nameProblem.isEmpty());

    engine.rule().ModifieExtension = 0;
    engine.options().forbidden.clear();
    pattern("$D$"); // holds "/" once the table is off
    EXPECT_EQ(nameOf(make("b.jpg")).count(QLatin1Char('/')), 2);
    EXPECT_FALSE(engine.model()->entry(0).nameProblem.isEmpty());

    pattern(QString(300, QLatin1Char('x')));
    nameOf(make("c.jpg"));
    EXPECT_FALSE(engine.model()->entry(0).nameProblem.isEmpty());

    pattern(QString(200, QChar(0xE9)) + QStringLiteral("#")); // 400 bytes in UTF-8
    nameOf(make("d"));
    EXPECT_FALSE(engine.model()->entry(0).nameProblem.isEmpty());

    pattern("fine");
    nameOf(make("e.jpg"));
    EXPECT_TRUE(engine.model()->entry(0).nameProblem.isEmpty());
}

TEST_F(EngineFixture, EventsDuringAFolderScanNeverLeaveAStaleName) {
    for (int i = 1; i <= 3; ++i)
        make(QStringLiteral("IMG_00%1.jpg").arg(i));
    const QString a = make("a.jpg"), b = make("b.jpg");
    engine.setTxtDebut(QStringLiteral("#"));

    // A file being added while the rule changes and the list is rebuilt: the
    // rebuilt row keeps the new rule's name, and the abandoned result is not
    // remembered as a name already given.
    pattern("IMG_###");
    bool changed = false;
    ui.onProcessEvents = [&] {
        if (changed)
            return;
        changed = true;
        pattern("new_##");
        engine.update_names();
    };
    engine.affiche_nom(a);
    ui.onProcessEvents = nullptr;
    EXPECT_EQ(newNames(), QStringList{"new_01.jpg"});
    pattern("IMG_###");
    engine.affiche_nom(b);
    EXPECT_EQ(newNames(), (QStringList{"new_01.jpg", "IMG_004.jpg"}));

    // The list emptied and refilled during the scan: the row index now
    // belongs to another file, whose name stays its own.
    engine.clearList();
    bool swapped = false;
    ui.onProcessEvents = [&] {
        if (swapped)
            return;
        swapped = true;
        engine.clearList();
        engine.affiche_nom(b);
    };
    engine.affiche_nom(a);
    ui.onProcessEvents = nullptr;
    ASSERT_EQ(engine.model()->count(), 1);
    EXPECT_EQ(engine.model()->entry(0).oldName, QStringLiteral("b.jpg"));
    EXPECT_EQ(newNames(), QStringList{"IMG_004.jpg"});
    engine.clearList();

    // A rule changed during a refresh (a settled pattern validated by a timer
    // while the folder is read): every row ends with the new rule, not the
    // rows before the change with the old one.
    engine.affiche_nom(a);
    engine.affiche_nom(b);
    pattern("IMG_###");
    changed = false;
    ui.onProcessEvents = [&] {
        if (changed)
            return;
        changed = true;
        pattern("new_##");
        engine.update_names(); // returns at once: a refresh is running
    };
    engine.update_names();
    ui.onProcessEvents = nullptr;
    EXPECT_EQ(newNames(), (QStringList{"new_01.jpg", "new_01_1.jpg"}));
}
