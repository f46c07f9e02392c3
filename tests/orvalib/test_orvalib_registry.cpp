// The per-user store that takes the registry's place, through the program's
// binding: values written, overwritten and deleted in a configuration folder
// of the test's own, and the status numbers of the failures.

#include "QtPrinters.h"
#include "core/base/mTavCommon.h"
#include "orvalib/orvalib.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace mTavCommon;

namespace {

const QString Key = QStringLiteral("Software\\Maker\\Travoline");

struct Store : ::testing::Test {
    QTemporaryDir temp;
    QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");

    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.filePath("config")));
    }
    void TearDown() override {
        if (savedConfig.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", savedConfig);
    }
    QString storePath() const { return temp.filePath("config/orvalib/registry.json"); }
    QJsonObject document() const {
        QFile file(storePath());
        if (!file.open(QIODevice::ReadOnly))
            return QJsonObject();
        return QJsonDocument::fromJson(file.readAll()).object();
    }
    QJsonObject values(const QString &root, const QString &key) const {
        return document().value(root).toObject().value(key).toObject();
    }
};

} // namespace

TEST_F(Store, ValuesAreWrittenOverwrittenAndDeletedUnderTheirRootAndKey) {
    EXPECT_EQ(TavSetRegString(TAV_HKEY_CURRENT_USER, Key, "Langage", 0, "Français; a \"quoted\" = text"), 0);
    EXPECT_EQ(TavSetRegString(TAV_HKEY_CURRENT_USER, Key, "Count", 4, "12"), 0);
    EXPECT_EQ(TavSetRegString(TAV_HKEY_LOCAL_MACHINE, Key, "Langage", 1, "machine"), 0);
    // Type 0 is a plain string (1); the other type is kept as given.
    EXPECT_EQ(values("HKEY_CURRENT_USER", Key).value("Langage").toObject(),
              QJsonObject({{"type", 1}, {"data", "Français; a \"quoted\" = text"}}));
    EXPECT_EQ(values("HKEY_CURRENT_USER", Key).value("Count").toObject(), QJsonObject({{"type", 4}, {"data", "12"}}));
    EXPECT_EQ(values("HKEY_LOCAL_MACHINE", Key).value("Langage").toObject().value("data"), "machine");

    // Overwritten in another case: one value, the first spelling kept.
    EXPECT_EQ(TavSetRegString(TAV_HKEY_CURRENT_USER, Key.toUpper() + "\\", "LANGAGE", 1, "English"), 0);
    const QJsonObject user = document().value("HKEY_CURRENT_USER").toObject();
    EXPECT_EQ(user.keys(), QStringList({Key}));
    EXPECT_EQ(user.value(Key).toObject().keys(), QStringList({"Count", "Langage"}));
    EXPECT_EQ(values("HKEY_CURRENT_USER", Key).value("Langage").toObject().value("data"), "English");

    // Deleted: only that value goes, the key stays.
    EXPECT_EQ(TavDelRegVal(TAV_HKEY_CURRENT_USER, Key, "langage"), 0);
    EXPECT_EQ(values("HKEY_CURRENT_USER", Key).keys(), QStringList({"Count"}));
    EXPECT_EQ(values("HKEY_LOCAL_MACHINE", Key).keys(), QStringList({"Langage"}));
    EXPECT_EQ(TavDelRegVal(TAV_HKEY_CURRENT_USER, Key, "Count"), 0);
    EXPECT_TRUE(document().value("HKEY_CURRENT_USER").toObject().contains(Key));

    // No temporary file is left beside the store.
    EXPECT_EQ(QDir(temp.filePath("config/orvalib")).entryList(QDir::Files | QDir::Hidden),
              QStringList({"registry.json", "registry.lock"}));
}

TEST_F(Store, MissingValuesKeysAndStoresAreNotFound) {
    // No store at all yet: nothing is created by a delete.
    EXPECT_EQ(TavDelRegVal(TAV_HKEY_CURRENT_USER, Key, "Langage"), 2);
    EXPECT_FALSE(QFile::exists(temp.filePath("config")));

    ASSERT_EQ(TavSetRegString(TAV_HKEY_CURRENT_USER, Key, "Langage", 1, "x"), 0);
    EXPECT_EQ(TavDelRegVal(TAV_HKEY_CURRENT_USER, Key, "Other"), 2);
    EXPECT_EQ(TavDelRegVal(TAV_HKEY_CURRENT_USER, Key + "\\Sub", "Langage"), 2);
    EXPECT_EQ(TavDelRegVal(TAV_HKEY_USERS, Key, "Langage"), 2);
    EXPECT_EQ(TavDelRegVal(TAV_HKEY_CURRENT_USER, Key, "Langage"), 0);
    EXPECT_EQ(TavDelRegVal(TAV_HKEY_CURRENT_USER, Key, "Langage"), 2);

    // A handle that is no root key.
    EXPECT_EQ(TavSetRegString(1234, Key, "Langage", 1, "x"), 6);
    EXPECT_EQ(TavDelRegVal(1234, Key, "Langage"), 6);
}

// The exit status of call run in a child process, or -1 when it did not
// answer within 10 seconds (a lock left held makes it wait for ever).
template <class Call> int inChildProcess(Call call) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(10);
        ::_exit(call() & 0xff);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Store, ADamagedStoreIsLeftAsItIsAndAnswersEveryCallAtOnce) {
    ASSERT_TRUE(QDir().mkpath(temp.filePath("config/orvalib")));
    QFile file(storePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{ \"HKEY_CURRENT_USER\": { half written");
    file.close();
    // Several calls in one process, then one here and one in another process.
    EXPECT_EQ(inChildProcess([] {
                  return TavSetRegString(TAV_HKEY_CURRENT_USER, Key, "Langage", 1, "x") == 1015 &&
                                 TavDelRegVal(TAV_HKEY_CURRENT_USER, Key, "Langage") == 1015 &&
                                 TavSetRegString(TAV_HKEY_CURRENT_USER, Key, "Langage", 1, "y") == 1015
                             ? 0
                             : 1;
              }),
              0);
    EXPECT_EQ(TavSetRegString(TAV_HKEY_CURRENT_USER, Key, "Langage", 1, "x"), 1015);
    EXPECT_EQ(inChildProcess([] { return TavDelRegVal(TAV_HKEY_CURRENT_USER, Key, "Langage") == 1015 ? 0 : 1; }), 0);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "{ \"HKEY_CURRENT_USER\": { half written");
}

TEST_F(Store, AStoreFolderThatCannotBeWrittenIsAccessDenied) {
    ASSERT_EQ(TavSetRegString(TAV_HKEY_CURRENT_USER, Key, "Langage", 1, "before"), 0);
    const QByteArray before = [&] {
        QFile file(storePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    const QByteArray folder = QFile::encodeName(temp.filePath("config/orvalib"));
    ::unlink((folder + "/registry.lock").constData());
    ASSERT_EQ(::chmod(QFile::encodeName(temp.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(temp.filePath("config")).constData(), 0755), 0);
    ASSERT_EQ(::chmod(folder.constData(), 0555), 0);

    // Root writes anywhere: the calls then run in a child process as nobody.
    const auto asUnprivileged = [](auto call) -> int {
        if (::geteuid() != 0)
            return call();
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(200);
            ::_exit(call() & 0xff);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 201;
    };
    const int set = asUnprivileged([] { return TavSetRegString(TAV_HKEY_CURRENT_USER, Key, "Langage", 1, "after"); });
    if (set == 200)
        GTEST_SKIP() << "cannot run as an unprivileged user";
    EXPECT_EQ(set, 5);
    EXPECT_EQ(asUnprivileged([] { return TavDelRegVal(TAV_HKEY_CURRENT_USER, Key, "Langage"); }), 5);

    QFile file(storePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    file.close();

    // A store folder that cannot be created is refused the same way.
    const QByteArray locked = QFile::encodeName(temp.filePath("locked"));
    ASSERT_EQ(::mkdir(locked.constData(), 0555), 0);
    qputenv("XDG_CONFIG_HOME", locked);
    EXPECT_EQ(asUnprivileged([] { return TavSetRegString(TAV_HKEY_CURRENT_USER, Key, "Langage", 1, "x"); }), 5);
    EXPECT_FALSE(QFile::exists(temp.filePath("locked/orvalib")));
    ::chmod(folder.constData(), 0755);
}
