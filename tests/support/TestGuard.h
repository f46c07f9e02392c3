#pragma once
// What a test may change for the whole process (program folder, language,
// settings file, state folder, temporary folder), set through one object that
// puts back on destruction what was there when it was made. Tests share an
// executable, so none may leave its set-up to the next one.
//
//   tav::test::TestGuard guard;                      // a fixture member
//   guard.sourceProgramFolder().language(QStringLiteral("English"));

#include "TestPaths.h"
#include "core/base/ProgramFolder.h"
#include "core/i18n/Language.h"
#include "core/settings/modIniFile.h"

#include <QByteArray>
#include <QFile>
#include <QLocale>
#include <QString>

namespace tav::test {

class TestGuard {
public:
    TestGuard()
        : m_language(tav::i18n::languageName()), m_settingsFile(settingsOverride()),
          m_state(savedVariable(StateVariable)), m_temp(savedVariable(TempVariable)) {
        // The program folder has no reader of its override: the default is
        // what it answers once the override is cleared.
        const QString current = tav::programFolder();
        tav::setProgramFolder(QString());
        m_programFolder = tav::programFolder() == current ? QString() : current;
        tav::setProgramFolder(m_programFolder);
    }
    ~TestGuard() {
        tav::setProgramFolder(m_programFolder);
        tav::i18n::setLanguage(m_language);
        QLocale::setDefault(m_locale); // the language sets it: back as found
        tav::modIniFile::setSettingsFilePath(m_settingsFile);
        restoreVariable(StateVariable, m_state);
        restoreVariable(TempVariable, m_temp);
    }
    TestGuard(const TestGuard &) = delete;
    TestGuard &operator=(const TestGuard &) = delete;

    // The source tree: the real language files, manuals and pictures.
    TestGuard &sourceProgramFolder() { return programFolder(QStringLiteral(TAV_SOURCE_DIR)); }
    TestGuard &programFolder(const QString &folder) {
        tav::setProgramFolder(folder);
        return *this;
    }
    // By display name ("Français"); empties the message cache.
    TestGuard &language(const QString &displayName) {
        tav::i18n::setLanguage(displayName);
        return *this;
    }
    TestGuard &settingsFile(const QString &path) {
        tav::modIniFile::setSettingsFilePath(path);
        return *this;
    }
    // The folder that holds the rename journal and history.
    TestGuard &stateFolder(const QString &folder) {
        qputenv(StateVariable, QFile::encodeName(folder));
        return *this;
    }
    // What QDir::tempPath() and the programs started by the test answer.
    TestGuard &tempFolder(const QString &folder) {
        qputenv(TempVariable, QFile::encodeName(folder));
        return *this;
    }

private:
    static constexpr const char *StateVariable = "XDG_STATE_HOME";
    static constexpr const char *TempVariable = "TMPDIR";

    struct Variable {
        bool set;
        QByteArray value;
    };
    static Variable savedVariable(const char *name) { return {qEnvironmentVariableIsSet(name), qgetenv(name)}; }
    static void restoreVariable(const char *name, const Variable &v) {
        if (v.set)
            qputenv(name, v.value);
        else
            qunsetenv(name);
    }
    // Empty while the default settings file is in use.
    static QString settingsOverride() {
        const QString path = tav::modIniFile::settingsFilePath();
        return path == tav::modIniFile::defaultSettingsFolder() + QStringLiteral("/Travoline.ini") ? QString() : path;
    }

    QString m_programFolder;
    QString m_language;
    QLocale m_locale;
    QString m_settingsFile;
    Variable m_state;
    Variable m_temp;
};

} // namespace tav::test
