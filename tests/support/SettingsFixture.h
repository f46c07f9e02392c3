#pragma once
// A program folder with a small language file of known texts, a settings
// path in a temporary folder and a scripted front end.

#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"
#include "TestGuard.h"
#include "core/base/IniFile.h"
#include "core/settings/modIniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tav {

struct SettingsFixture : ::testing::Test {
    QTemporaryDir dir;
    ScriptedFrontEnd fe;
    QString iniPath;
    tav::test::TestGuard guard;

    void SetUp() override {
        QDir(dir.path()).mkpath(QStringLiteral("langages"));
        writeFile(QStringLiteral("langages/francais.lng"),
                  "[MSG]\n"
                  "m1=Titre\nm2=Attention\nm16=### - *\nm21=Interdit : %s\n"
                  "m30=Tout oublier ?\nm31=Oublier %s ?\n"
                  "m46=Petite (50x40)\nm47=Moyenne (96x96)\nm48=Sans taille\n"
                  "m93=Pas de commentaire\nm95=Numero et nom\nm96=Version inconnue %s\n"
                  "m99=Ni parentheses ni barre\n");
        iniPath = dir.filePath(QStringLiteral("cfg/Travoline.ini"));
        guard.programFolder(dir.path()).language(QStringLiteral("Français")).settingsFile(iniPath);
        modIniFile::hooks() = {};
    }
    void TearDown() override { modIniFile::hooks() = {}; }

    void writeFile(const QString &name, const QByteArray &bytes) {
        QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void writeIni(const QByteArray &bytes) { writeFile(QStringLiteral("cfg/Travoline.ini"), bytes); }
    IniFile ini() const { return IniFile(iniPath); }
    QString key(const QString &k) const { return ini().read(k.left(k.indexOf(u'_')), k, QStringLiteral("<absent>")); }
};

} // namespace tav
