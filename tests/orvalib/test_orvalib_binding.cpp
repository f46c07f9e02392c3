// How the program binds to liborvalib.so: by name, at the first call, from
// the program's folder; a missing library or export is a reported error. Also
// the library's C interface itself, loaded directly.

#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"
#include "TestPaths.h"
#include "core/base/Trap.h"
#include "core/base/mTavCommon.h"
#include "orvalib/orvalib.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

const char *const AllExports[] = {
    "TavGetPath",
    "TavGetFileName",
    "TavGetExtension",
    "TavStrWithoutExt",
    "TavQualifyPath",
    "TavFileExists",
    "TavIsDir",
    "TavCreateNestedFolders",
    "TavCheminDossier",
    "TavGetTempDir",
    "TavGetSystemDirectory",
    "TavReadFileToBuffer",
    "TavNumberLineInFile",
    "TavStringSansAccent",
    "TavLastSubStrInStr",
    "TavTrimNull",
    "TavDoubleToUnit",
    "TavGetWindowsVersion",
    "TavIs64bits",
    "TavGetVersionInformation",
    "TavGetUsername",
    "TavGetProcesses",
    "TavGetScreenWidth",
    "TavGetScreenHeight",
    "TavDownloadFile",
    "TavDownloadFileTo",
    "TavCancelDownloads",
    "TavSetRegString",
    "TavDelRegVal",
    "TavOpenUrl",
    "TavOpenMail",
    "TavActiveTransparence",
    "TavChangeTransparence",
    "TavDesactiveTransparence",
};
const char *const AbiExports[] = {"TavFreeString", "TavStringLength", "TavGetLastError", "TavGetLastErrorText"};

struct Binding : ::testing::Test {
    void TearDown() override { mTavCommon::setLibraryFolder(QString()); }
};

// The library loaded directly by its path, as any C caller would.
struct CInterface : ::testing::Test {
    void *lib = nullptr;
    void SetUp() override {
        lib = dlopen(TAV_BUILD_BIN_DIR "/liborvalib.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
    }
    void TearDown() override {
        if (lib)
            dlclose(lib);
    }
    template <class Fn> Fn fn(const char *name) {
        void *address = dlsym(lib, name);
        EXPECT_NE(address, nullptr) << name;
        return reinterpret_cast<Fn>(address);
    }
    QString take(TavStr text) {
        const QString result(reinterpret_cast<const QChar *>(text),
                             fn<decltype(&TavStringLength)>("TavStringLength")(text));
        fn<decltype(&TavFreeString)>("TavFreeString")(text);
        return result;
    }
};

} // namespace

TEST_F(Binding, LoadsTheLibraryOnlyAtTheFirstCallAndKeepsIt) {
    mTavCommon::resetBinding();
    EXPECT_FALSE(mTavCommon::isLoaded());
    EXPECT_EQ(mTavCommon::TavGetExtension("a.b"), "b");
    EXPECT_TRUE(mTavCommon::isLoaded());
    EXPECT_EQ(mTavCommon::TavGetPath("/x/y"), "/x");
    EXPECT_TRUE(mTavCommon::isLoaded());
}

TEST_F(Binding, AProgramFolderWithoutTheLibraryIsReportedWithTheLibrarysName) {
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    mTavCommon::setLibraryFolder(empty.path());

    tav::ScriptedFrontEnd ui;
    const bool ok =
        tav::trap(QStringLiteral("cmdRenommer_Click (Feuille frmMain)"), [] { mTavCommon::TavFileExists("/"); });
    EXPECT_FALSE(ok);
    ASSERT_EQ(ui.asked.size(), 1);
    EXPECT_TRUE(ui.asked[0].message.startsWith("Error 48 (")) << ui.asked[0].message.toStdString();
    EXPECT_TRUE(ui.asked[0].message.contains("liborvalib.so"));
    EXPECT_TRUE(ui.asked[0].message.endsWith("dans la procédure cmdRenommer_Click (Feuille frmMain)"));
    EXPECT_FALSE(mTavCommon::isLoaded());

    // Pointing the binding at the real folder again recovers.
    mTavCommon::setLibraryFolder(TAV_BUILD_BIN_DIR);
    EXPECT_TRUE(mTavCommon::TavFileExists("/"));
}

TEST_F(Binding, AMissingExportIsReportedWithItsName) {
    mTavCommon::setLibraryFolder(TAV_BUILD_BIN_DIR "/orvalib_stub");
    try {
        mTavCommon::TavGetPath("/a/b");
        FAIL() << "the stub has no TavGetPath";
    } catch (const tav::TavError &e) {
        EXPECT_EQ(e.number(), tav::ErrEntryPointNotFound);
        EXPECT_TRUE(e.description().contains("TavGetPath")) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains("liborvalib.so"));
    }
    EXPECT_TRUE(mTavCommon::isLoaded()) << "the library itself was found";
}

TEST_F(Binding, ALibraryErrorBecomesTheCallersErrorWithItsDescription) {
    try {
        mTavCommon::TavGetPath(QString(40000, 'x') + "/");
        FAIL();
    } catch (const tav::TavError &e) {
        EXPECT_EQ(e.number(), tav::ErrOverflow);
        EXPECT_TRUE(e.description().contains("Overflow"));
        EXPECT_TRUE(e.description().contains("TavGetPath"));
    }
}

TEST(OrvalibExports, EveryExportIsVisibleAndNothingElse) {
    QProcess nm;
    nm.start("nm", {"-D", "--defined-only", TAV_BUILD_BIN_DIR "/liborvalib.so"});
    ASSERT_TRUE(nm.waitForFinished(30000));
    ASSERT_EQ(nm.exitCode(), 0);
    QStringList functions;
    for (const QString &line : QString::fromLatin1(nm.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(' ', Qt::SkipEmptyParts);
        if (fields.size() == 3 && fields[1] == "T")
            functions << fields[2].section('@', 0, 0); // without the exports' ELF version
    }
    QStringList expected;
    for (const char *name : AllExports)
        expected << QString::fromLatin1(name);
    for (const char *name : AbiExports)
        expected << QString::fromLatin1(name);
    functions.sort();
    expected.sort();
    EXPECT_EQ(functions, expected);
}

TEST_F(CInterface, EveryExportResolvesByName) {
    for (const char *name : AllExports)
        EXPECT_NE(dlsym(lib, name), nullptr) << name;
    for (const char *name : AbiExports)
        EXPECT_NE(dlsym(lib, name), nullptr) << name;
}

TEST_F(CInterface, TextsCrossWithLengthsAndComeBackOwnedAndTerminated) {
    const auto getPath = fn<decltype(&TavGetPath)>("TavGetPath");
    const auto length = fn<decltype(&TavStringLength)>("TavStringLength");
    const auto release = fn<decltype(&TavFreeString)>("TavFreeString");

    const char16_t path[] = u"/ab/c\0d/e";
    TavStr whole = getPath(path, 9);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(length(whole), 7);
    EXPECT_EQ(whole[7], 0) << "terminated for C callers";
    EXPECT_EQ(QString(reinterpret_cast<const QChar *>(whole), 7), QString::fromUtf16(path, 7));
    release(whole);

    // A negative length reads up to the first NUL; a null text is the empty text.
    EXPECT_EQ(take(getPath(path, -1)), "/ab");
    EXPECT_EQ(take(getPath(nullptr, 5)), "");
    EXPECT_EQ(length(nullptr), 0);
    release(nullptr);
}

TEST_F(CInterface, BooleansAreMinusOneAndErrorsArePerCall) {
    const auto exists = fn<decltype(&TavFileExists)>("TavFileExists");
    EXPECT_EQ(exists(u"/", 1), int16_t(-1));
    EXPECT_EQ(exists(u"/no-such-thing-here", -1), 0);
    EXPECT_EQ(int16_t(~exists(u"/", 1)), 0) << "a bitwise not of true must be false";

    const auto lastSub = fn<decltype(&TavLastSubStrInStr)>("TavLastSubStrInStr");
    const auto lastError = fn<decltype(&TavGetLastError)>("TavGetLastError");
    const auto lastErrorText = fn<decltype(&TavGetLastErrorText)>("TavGetLastErrorText");
    EXPECT_EQ(lastSub(0, u"abc", 3, u"b", 1), 0);
    EXPECT_EQ(lastError(), 5);
    EXPECT_FALSE(take(lastErrorText()).isEmpty());
    EXPECT_EQ(lastError(), 5) << "reading the error keeps it";
    EXPECT_EQ(lastSub(1, u"abc", 3, u"b", 1), 2);
    EXPECT_EQ(lastError(), 0);
    EXPECT_EQ(take(lastErrorText()), "");
}

TEST_F(CInterface, ReadFailureWithoutOutputsIsHarmless) {
    const auto read = fn<decltype(&TavReadFileToBuffer)>("TavReadFileToBuffer");
    TavStr content = read(u"/no/such/folder/file", -1, nullptr, nullptr);
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(take(content), "");

    int16_t number = 0;
    TavStr text = nullptr;
    EXPECT_EQ(take(read(u"/no/such/folder/file", -1, &number, &text)), "");
    EXPECT_EQ(number, 76);
    EXPECT_EQ(take(text), "Path not found");
}
