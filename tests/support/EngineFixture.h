#pragma once
// A name engine over files in a temporary folder, with a scripted front end.

#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"
#include "TestGuard.h"
#include "core/filelist/RenameList.h"
#include "core/i18n/Language.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class FakeMetadata : public tav::MetadataSource {
public:
    QHash<QString, tav::MetadataRecord> records;
    QStringList reads;
    tav::MetadataRecord read(const QString &path) override {
        reads << path;
        return records.value(path);
    }
};

class EngineFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    tav::ScriptedFrontEnd ui;
    tav::test::TestGuard guard;
    tav::RenameList engine;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        guard.language(QStringLiteral("Français"));
    }

    // Creates the file (and its folders) under the temporary folder.
    QString make(const QString &relative, const QByteArray &content = QByteArray()) {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }

    void pattern(const QString &p) { engine.setPattern(p); }

    void add(const QStringList &paths) {
        for (const QString &p : paths)
            engine.affiche_nom(p);
    }

    QStringList newNames() const {
        QStringList l;
        for (const auto &e : engine.model()->entries())
            l << e.newName;
        return l;
    }

    // The new name of one file computed alone at position 1.
    QString nameOf(const QString &path) {
        engine.clearList();
        engine.affiche_nom(path);
        return engine.model()->entry(0).newName;
    }
};
