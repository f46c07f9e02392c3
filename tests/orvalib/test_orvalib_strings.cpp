// String helpers of liborvalib.so, through the program's binding, and the
// decimal separator of the user's locale through a plain C caller.

#include "QtPrinters.h"
#include "TestPaths.h"
#include "core/base/Trap.h"
#include "core/base/mTavCommon.h"

#include <QProcess>

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace mTavCommon;

namespace {
int errorNumberOf(const std::function<void()> &call) {
    try {
        call();
    } catch (const tav::TavError &e) {
        return e.number();
    }
    return 0;
}
} // namespace

TEST(OrvalibStrings, AccentFoldingLowerCasesAndRemovesOnlyTheFrenchAccents) {
    EXPECT_EQ(TavStringSansAccent(QStringLiteral("ÉCOLE Noël")), "ecole noel");
    EXPECT_EQ(TavStringSansAccent(QStringLiteral("Ça")), "ca");
    EXPECT_EQ(TavStringSansAccent(QStringLiteral("Français")), "francais");
    EXPECT_EQ(TavStringSansAccent(QStringLiteral("ÀÂÄÈÊËÏÎÖÔÙÜ")), "aaaeeeiioouu");
    EXPECT_EQ(TavStringSansAccent(QStringLiteral("sûr ÁÑŒŸ")), QStringLiteral("sûr áñœÿ"));
    EXPECT_EQ(TavStringSansAccent(QString()), "");
}

TEST(OrvalibStrings, LastOccurrenceCountsOverlapsAndHonoursStart) {
    EXPECT_EQ(TavLastSubStrInStr(1, "a.b.c", "."), 4);
    EXPECT_EQ(TavLastSubStrInStr(4, "a.b.c", "."), 4);
    EXPECT_EQ(TavLastSubStrInStr(5, "a.b.c", "."), 0);
    EXPECT_EQ(TavLastSubStrInStr(9, "a.b.c", "."), 0);
    EXPECT_EQ(TavLastSubStrInStr(1, "aaa", "aa"), 2);
    EXPECT_EQ(TavLastSubStrInStr(1, "a.b.c", "x"), 0);
    EXPECT_EQ(TavLastSubStrInStr(1, "ABC", "b"), 0) << "case-sensitive";
    EXPECT_EQ(TavLastSubStrInStr(1, "abc", ""), 0);

    EXPECT_EQ(errorNumberOf([] { TavLastSubStrInStr(0, "abc", "b"); }), tav::ErrInvalidCall);
    EXPECT_EQ(errorNumberOf([] { TavLastSubStrInStr(-3, "abc", "b"); }), tav::ErrInvalidCall);
    const QString longText = QString(40000, QLatin1Char('x')) + "needle";
    EXPECT_EQ(errorNumberOf([&] { TavLastSubStrInStr(1, longText, "needle"); }), tav::ErrOverflow);
    // A hit early in a long text fits.
    EXPECT_EQ(TavLastSubStrInStr(1, "needle" + QString(40000, QLatin1Char('x')), "needle"), 1);
}

TEST(OrvalibStrings, TrimNullCutsAtTheFirstNul) {
    EXPECT_EQ(TavTrimNull(QStringLiteral("abc") + QChar(0) + QStringLiteral("def") + QChar(0)), "abc");
    EXPECT_EQ(TavTrimNull(QChar(0) + QStringLiteral("abc")), "");
    EXPECT_EQ(TavTrimNull("abc"), "abc");
    EXPECT_EQ(TavTrimNull(""), "");
    EXPECT_EQ(errorNumberOf([] { TavTrimNull(QString(33000, 'x') + QChar(0)); }), tav::ErrOverflow);
}

TEST(OrvalibStrings, ByteCountsScaleBy1024WithThreeDecimals) {
    EXPECT_EQ(TavDoubleToUnit(1536), "1.500 K");
    EXPECT_EQ(TavDoubleToUnit(5), "5.000 ");
    EXPECT_EQ(TavDoubleToUnit(0.25), ".250 ");
    EXPECT_EQ(TavDoubleToUnit(0), ".000 ");
    EXPECT_EQ(TavDoubleToUnit(1023), "1023.000 ");
    EXPECT_EQ(TavDoubleToUnit(1024), "1.000 K");
    EXPECT_EQ(TavDoubleToUnit(1048575), "1023.999 K");
    EXPECT_EQ(TavDoubleToUnit(1048575.5), "1024.000 K") << "rounding never raises the unit";
    EXPECT_EQ(TavDoubleToUnit(3221225472.0), "3.000 G");
    EXPECT_EQ(TavDoubleToUnit(std::pow(1024.0, 4) * 2), "2.000 T");
    EXPECT_EQ(TavDoubleToUnit(std::pow(1024.0, 5)), "1.000 F");
    EXPECT_EQ(TavDoubleToUnit(std::pow(1024.0, 6)), "1.000 ") << "past the last unit letter";
    EXPECT_EQ(TavDoubleToUnit(-5000), "-5000.000 ") << "a negative value is never divided";
    EXPECT_EQ(TavDoubleToUnit(-0.5), "-.500 ");

    EXPECT_EQ(errorNumberOf([] { TavDoubleToUnit(std::numeric_limits<double>::infinity()); }), tav::ErrInvalidCall);
    EXPECT_EQ(errorNumberOf([] { TavDoubleToUnit(std::nan("")); }), tav::ErrInvalidCall);
}

TEST(OrvalibStrings, ByteCountsUseTheUsersDecimalSeparator) {
    const auto run = [](const char *locale, const char *value) {
        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", locale);
        probe.setProcessEnvironment(env);
        probe.start(TAV_BUILD_BIN_DIR "/orvalib_c_probe", {TAV_BUILD_BIN_DIR, value});
        EXPECT_TRUE(probe.waitForFinished(30000));
        EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();
        return QString::fromUtf8(probe.readAllStandardOutput());
    };
    EXPECT_EQ(run("fr_FR.UTF-8", "1536"), "1,500 K");
    EXPECT_EQ(run("C.UTF-8", "1536"), "1.500 K");
    EXPECT_EQ(run("de_DE.UTF-8", "0.25"), ",250 ");
}
