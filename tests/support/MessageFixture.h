#pragma once
// A language file of short, recognisable message texts in a temporary program
// folder, and a scripted front end that records every message box.

#include "ScriptedFrontEnd.h"
#include "TestGuard.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class MessageFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    tav::ScriptedFrontEnd ui;
    tav::test::TestGuard guard;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath(QStringLiteral("langages"));
        QFile f(dir.filePath(QStringLiteral("langages/testlang.lng")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[MSG]\n"
                "m1=Title one\n"
                "m2=Title two\n"
                "m13=Not a number\n"
                "m21=Forbidden: %s\n"
                "m45=No position\n"
                "m51=Search text missing\n"
                "m92=Odd dollars\n");
        f.close();
        guard.programFolder(dir.path()).language(QStringLiteral("testlang"));
    }

    // The one message box asked so far, checked in full.
    void expectOneBox(const QString &message, int style, const QString &title) {
        ASSERT_EQ(ui.asked.size(), 1) << ui.messages().join(u" | ").toStdString();
        EXPECT_EQ(ui.asked[0].message, message);
        EXPECT_EQ(ui.asked[0].style, style);
        EXPECT_EQ(ui.asked[0].title, title);
    }
};
