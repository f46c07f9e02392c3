// The plain-text checks that let names skip their encoding: every length
// and every place of an odd character, across the eight- and sixteen-unit
// blocks they look at together, agree with a check one unit at a time.
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
                if (unreserved)
                    EXPECT_EQ(QString::fromLatin1(out, length), QString::fromStdU16String(s));
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
