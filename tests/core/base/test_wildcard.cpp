#include "QtPrinters.h"
#include "core/base/Wildcard.h"

#include <gtest/gtest.h>

using namespace tav;

TEST(Wildcard, StarsQuestionMarksDigitsAndSets) {
    EXPECT_TRUE(likeMatch(u"", u"*"));
    EXPECT_TRUE(likeMatch(u"", u""));
    EXPECT_FALSE(likeMatch(u"A", u""));
    EXPECT_TRUE(likeMatch(u"JPEG", u"J*G"));
    EXPECT_TRUE(likeMatch(u"JG", u"J*G"));
    EXPECT_FALSE(likeMatch(u"JPGX", u"J*G"));
    EXPECT_TRUE(likeMatch(u"AXBXC", u"*X*C")); // needs backtracking past the first X
    EXPECT_TRUE(likeMatch(u"MP3", u"MP#"));
    EXPECT_FALSE(likeMatch(u"MPX", u"MP#"));
    EXPECT_TRUE(likeMatch(u"JPG", u"?P?"));
    EXPECT_FALSE(likeMatch(u"JP", u"?P?"));
    EXPECT_TRUE(likeMatch(u"TIF", u"TI[EF]"));
    EXPECT_TRUE(likeMatch(u"M4A", u"M[0-9]A"));
    EXPECT_FALSE(likeMatch(u"MXA", u"M[0-9]A"));
    EXPECT_TRUE(likeMatch(u"MXA", u"M[!0-9]A"));
    EXPECT_FALSE(likeMatch(u"M4A", u"M[!0-9]A"));
    EXPECT_TRUE(likeMatch(u"A*B", u"A[*]B"));
    EXPECT_TRUE(likeMatch(u"A[B", u"A[B")); // an unclosed "[" is an ordinary character
    EXPECT_FALSE(likeMatch(u"AB", u"A[B"));
}

TEST(Wildcard, ListIgnoresCaseAndCutsAtEverySpace) {
    const WildcardList jpgPng(QStringLiteral("jpg PNG"));
    EXPECT_TRUE(jpgPng.matchesAny(QStringLiteral("JPG")));
    EXPECT_TRUE(jpgPng.matchesAny(QStringLiteral("png")));
    EXPECT_FALSE(jpgPng.matchesAny(QStringLiteral("gif")));
    EXPECT_FALSE(jpgPng.matchesAny(QString()));
    EXPECT_FALSE(WildcardList(QString()).matchesAny(QString()));                 // no piece at all
    EXPECT_TRUE(WildcardList(QStringLiteral("JPG  PNG")).matchesAny(QString())); // a doubled space: an empty piece
    EXPECT_TRUE(WildcardList(QStringLiteral("é*")).matchesAny(QStringLiteral("ÉTÉ")));
}

TEST(Wildcard, DisplayFilterTakesEveryNameForStarDotStar) {
    // The folder list and the folder-tree add share this filter: "*.*" is
    // every name, also one without a dot, while the file-type filter keeps
    // "*.*" literal (an extension holds no dot).
    for (const char *all : {"*.*", "*", "", "  ", "*.png *.*"}) {
        const NameFilter filter{QString::fromLatin1(all)};
        EXPECT_TRUE(filter.matchesEverything()) << all;
        EXPECT_TRUE(filter.matches(QStringLiteral("README"))) << all;
    }
    EXPECT_FALSE(WildcardList(QStringLiteral("*.*")).matchesAny(QStringLiteral("JPG")));

    const NameFilter photos(QStringLiteral("*.jpg  IMG_##.png [!a]*.TXT"));
    EXPECT_FALSE(photos.matchesEverything());
    EXPECT_TRUE(photos.matches(QStringLiteral("x.JPG")));
    EXPECT_TRUE(photos.matches(QStringLiteral("img_07.png")));
    EXPECT_FALSE(photos.matches(QStringLiteral("IMG_7.png")));
    EXPECT_TRUE(photos.matches(QStringLiteral("b.txt")));
    EXPECT_FALSE(photos.matches(QStringLiteral("a.txt")));
    EXPECT_FALSE(photos.matches(QStringLiteral("README")));
    EXPECT_FALSE(photos.matches(QString())); // doubled spaces make no empty piece here
}
