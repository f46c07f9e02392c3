// The plain-text checks that let names skip their encoding: every length
// and every place of an odd character, across the eight- and sixteen-unit
// blocks they look at together, agree with a check one unit at a time.
#include "core/base/NameHash.h"
#include "core/base/PlainCopy.h"

#include <QString>
#include <gtest/gtest.h>

using namespace tav;

TEST(PlainCopy, BlocksAgreeWithOneUnitAtATime) {
    const char16_t odds[] = {u'\\', u'\t', u'\x7f', u' ', u'%', u'~', u'é', u'\x8041', u'\xffff', u'\x80'};
    for (qsizetype length = 0; length <= 40; ++length) {
        for (qsizetype at = -1; at < length; ++at) {
            for (char16_t odd : odds) {
                std::u16string s(size_t(length), u'a');
                for (qsizetype k = 0; k < length; ++k)
                    s[size_t(k)] = u"Az09-._/x"[k % 9];
                if (at >= 0)
                    s[size_t(at)] = odd;
                bool printable = true, unreserved = true, ascii = true;
                for (char16_t c : s) {
                    printable = printable && plainCopy::inSet<plainCopy::Set::Printable>(c);
                    unreserved = unreserved && plainCopy::inSet<plainCopy::Set::Unreserved>(c);
                    ascii = ascii && c < 0x80;
                }
                char out[64] = {};
                EXPECT_EQ(plainCopy::copy<plainCopy::Set::Printable>(out, s.data(), length), printable);
                EXPECT_EQ(plainCopy::copy<plainCopy::Set::Unreserved>(out, s.data(), length), unreserved);
                if (unreserved) {
                    EXPECT_EQ(QString::fromLatin1(out, length), QString::fromStdU16String(s));
                }
                EXPECT_EQ(plainCopy::ascii(s.data(), length), ascii);
                EXPECT_EQ(plainCopy::copy<plainCopy::Set::Ascii>(out, s.data(), length), ascii);
                if (odd < 0x100) {
                    QByteArray bytes = QString::fromStdU16String(s).toLatin1();
                    EXPECT_EQ(plainCopy::asciiWithout(bytes.constData(), bytes.size(), '~'),
                              ascii && !bytes.contains('~'));
                    EXPECT_EQ(plainCopy::ascii(bytes.constData(), bytes.size()), ascii);
                }
            }
        }
    }
    EXPECT_TRUE(plainCopy::inSet<plainCopy::Set::Printable>(u' '));
    EXPECT_FALSE(plainCopy::inSet<plainCopy::Set::Unreserved>(u' '));
    EXPECT_TRUE(plainCopy::inSet<plainCopy::Set::Unreserved>(u'~'));
}

// Names hashed eight bytes at a time: every length across the words and
// their tails, every byte at every place. Case of ASCII letters aside (when
// folded), a changed byte changes the hash; the words seen are the name's.
TEST(NameHash, WordsAgreeWithOneByteAtATime) {
    const unsigned char odds[] = {'A', 'Z', '@', '[', 'a', 'z', '`', '{', '~', 0x80, 0xC1, 0xE1, 0xFF, '.'};
    for (qsizetype length = 1; length <= 40; ++length) {
        QByteArray name(length, 'x');
        for (qsizetype k = 0; k < length; ++k)
            name[k] = "Img_0123.jpg-"[k % 13];
        const quint64 plain = nameHash::bytes<false>(0, name.constData(), length);
        const quint64 folded = nameHash::bytes<true>(0, name.constData(), length);
        EXPECT_EQ(nameHash::bytes<true>(0, name.toLower().constData(), length), folded);
        EXPECT_NE(nameHash::bytes<false>(0, name.toLower().constData(), length), plain);
        for (qsizetype at = 0; at < length; ++at) {
            for (unsigned char odd : odds) {
                QByteArray changed = name;
                changed[at] = char(odd);
                QByteArray seen;
                bool small = false, tilde = false;
                const quint64 h = nameHash::bytes<true>(0, changed.constData(), length, [&](quint64 w) {
                    seen.append(reinterpret_cast<const char *>(&w), 8);
                    small = small || nameHash::hasSmallLetter(w);
                    tilde = tilde || nameHash::hasByte(w, '~');
                });
                bool wantSmall = false;
                for (char c : changed)
                    wantSmall = wantSmall || (c >= 'a' && c <= 'z');
                EXPECT_EQ(small, wantSmall);
                EXPECT_EQ(tilde, changed.contains('~'));
                // The words hold the name's bytes in order, the last one ending with it.
                const qsizetype whole = length / 8 * 8;
                EXPECT_EQ(seen.left(whole), changed.left(whole));
                if (whole < length) {
                    EXPECT_TRUE(seen.mid(whole).startsWith(changed.mid(whole)));
                }
                EXPECT_EQ(nameHash::bytes<true>(0, changed.toLower().constData(), length), h);
                EXPECT_EQ(h == folded, changed.toLower() == name.toLower()) << length << " " << at << " " << int(odd);
            }
        }
    }
}
