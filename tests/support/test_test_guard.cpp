// The guard puts back exactly what it found, so that the next test in the
// process starts where the previous one did.

#include "TestGuard.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tav;

namespace {

struct Snapshot {
    QString folder, language, settings;
    bool stateSet, tempSet;
    QByteArray state, temp;

    static Snapshot take() {
        return {programFolder(),
                i18n::languageName(),
                modIniFile::settingsFilePath(),
                qEnvironmentVariableIsSet("XDG_STATE_HOME"),
                qEnvironmentVariableIsSet("TMPDIR"),
                qgetenv("XDG_STATE_HOME"),
                qgetenv("TMPDIR")};
    }
    bool operator==(const Snapshot &) const = default;
};

} // namespace

TEST(TestGuard, PutsBackWhatItFoundSetOrNot) {
    // Each case starts from a different state: defaults and unset variables,
    // then everything overridden.
    struct Start {
        QString folder, settings;
        const char *state, *temp; // nullptr: unset
    };
    test::TestGuard outer;
    const QTemporaryDir during;
    const QString duringTemp = QDir(during.path()).canonicalPath();
    for (const Start &start : {Start{QString(), QString(), nullptr, nullptr},
                               Start{QStringLiteral("/before/program"), QStringLiteral("/before/Travoline.ini"),
                                     "/before/state", "/before/tmp"}}) {
        setProgramFolder(start.folder);
        modIniFile::setSettingsFilePath(start.settings);
        i18n::setLanguage(QStringLiteral("English"));
        for (auto [name, value] : {std::pair{"XDG_STATE_HOME", start.state}, std::pair{"TMPDIR", start.temp}}) {
            if (value)
                qputenv(name, value);
            else
                qunsetenv(name);
        }
        const Snapshot before = Snapshot::take();
        {
            test::TestGuard guard;
            guard.programFolder(QStringLiteral("/during/program"))
                .language(QStringLiteral("Français"))
                .settingsFile(QStringLiteral("/during/Travoline.ini"))
                .stateFolder(QStringLiteral("/during/state"))
                .tempFolder(duringTemp);
            EXPECT_EQ(programFolder(), QStringLiteral("/during/program"));
            EXPECT_EQ(i18n::languageName(), QStringLiteral("Français"));
            EXPECT_EQ(modIniFile::settingsFilePath(), QStringLiteral("/during/Travoline.ini"));
            EXPECT_EQ(qgetenv("XDG_STATE_HOME"), "/during/state");
            EXPECT_EQ(QDir::tempPath(), duringTemp);
        }
        EXPECT_TRUE(Snapshot::take() == before) << "started from " << start.folder.toStdString();
    }
}
