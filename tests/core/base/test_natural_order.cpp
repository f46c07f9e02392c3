#include "QtPrinters.h"
#include "core/base/NaturalOrder.h"
#include "core/browse/FolderListing.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace tav;

namespace {

struct OrderCase {
    const char *why;
    QStringList shuffled;
    QStringList sorted;
};

QStringList sortedByComparison(QStringList names) {
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) { return naturalLess(a, b); });
    return names;
}

} // namespace

TEST(NaturalOrder, NumbersCaseAndBytes) {
    const OrderCase cases[] = {
        {"numbers as numbers, case ignored",
         {"file20", "File3", "file10", "file2", "file1"},
         {"file1", "file2", "File3", "file10", "file20"}},
        {"equal numbers and letters: the bytes decide (upper case, then fewer zeros after more)",
         {"img1", "IMG1", "img01", "img001"},
         {"IMG1", "img001", "img01", "img1"}},
        {"numbers longer than any machine word",
         {"a123456789012345678901234567890", "a99999999999999999999", "a1"},
         {"a1", "a99999999999999999999", "a123456789012345678901234567890"}},
        {"several numbers, then the text after them",
         {"v1.10.b", "v1.9.b", "v1.10.a", "v1.10"},
         {"v1.9.b", "v1.10", "v1.10.a", "v1.10.b"}},
        {"digits before letters, a prefix first", {"ab", "a", "a1", "a-1"}, {"a", "a-1", "a1", "ab"}},
        {"accented letters fold their case; above U+FFFF after U+E000 as in UTF-8",
         {QStringLiteral("\U0001F600"), QStringLiteral("\uE000"), QStringLiteral("Été2"), QStringLiteral("été10")},
         {QStringLiteral("Été2"), QStringLiteral("été10"), QStringLiteral("\uE000"), QStringLiteral("\U0001F600")}},
    };
    for (const OrderCase &c : cases) {
        QStringList names = c.shuffled;
        sortNaturally(names);
        EXPECT_EQ(names, c.sorted) << c.why;
        // The comparison and the keyed sort agree.
        EXPECT_EQ(sortedByComparison(c.shuffled), c.sorted) << c.why;
    }
    EXPECT_EQ(naturalCompare(u"x", u"x"), 0);
}

TEST(NaturalOrder, ListingsInOrderReversedOrNearlySo) {
    // Keys that differ only past their first 8 and 16 bytes, and names that
    // differ only by case or zeros.
    QStringList sorted;
    for (int i = 1; i <= 12; ++i)
        sorted << QStringLiteral("2026-12-09 vacances %1.jpg").arg(i)
               << QStringLiteral("IMG_%1.JPG").arg(i, 7, 10, QLatin1Char('0'));
    sorted << "IMG1"
           << "img1"
           << "img01"
           << "photo 2"
           << "Photo 0000000000000000000000001";
    sorted = sortedByComparison(sorted);
    QStringList reversed = sorted;
    std::reverse(reversed.begin(), reversed.end());
    const auto swapped = [](QStringList l, qsizetype i, qsizetype j) {
        l.swapItemsAt(i, j);
        return l;
    };
    QStringList lastFirst = sorted;
    lastFirst.move(lastFirst.size() - 1, 0);
    const QList<QStringList> listings{sorted,
                                      reversed,
                                      swapped(sorted, 0, 1),
                                      swapped(sorted, sorted.size() - 2, sorted.size() - 1),
                                      swapped(reversed, 0, 1),
                                      swapped(reversed, reversed.size() - 2, reversed.size() - 1),
                                      lastFirst};
    for (const QStringList &listing : listings) {
        QStringList names = listing;
        const bool distinct = sortNaturally(names);
        EXPECT_EQ(names, sorted) << listing.join(u'|').toStdString();
        // All different is said only when it was seen.
        EXPECT_EQ(distinct, listing == sorted || listing == reversed) << listing.join(u'|').toStdString();
        QStringList byIndex;
        for (qsizetype i : naturalOrderOf(listing))
            byIndex << listing.at(i);
        EXPECT_EQ(byIndex, sorted) << listing.join(u'|').toStdString();
    }
}

TEST(NaturalOrder, ANameListedTwiceIsNeverSaidDistinct) {
    for (QStringList names : {QStringList{"a", "a", "b"}, QStringList{"b", "a", "a"}, QStringList{"b", "a", "b"}}) {
        EXPECT_FALSE(sortNaturally(names)) << names.join(u'|').toStdString();
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end(),
                                   [](const QString &x, const QString &y) { return naturalLess(x, y); }));
    }
}

TEST(NaturalOrder, ComparisonAndKeysAgreeOnNamesAlike) {
    // Pairs that share a beginning and differ in one character, within a
    // number or not, so that every shortcut of the comparison is taken.
    const QString alphabet = QStringLiteral("0019aAzZ._ éÉ\U0001F600");
    QRandomGenerator rng(2026);
    QStringList names;
    for (int i = 0; i < 400; ++i) {
        QString name;
        for (int k = rng.bounded(1, 12); k > 0; --k)
            name += alphabet[rng.bounded(int(alphabet.size()))];
        QString other = name;
        const int at = rng.bounded(int(other.size()) + 1);
        if (rng.bounded(4) == 0)
            other.truncate(at);
        else
            other.insert(at, alphabet[rng.bounded(int(alphabet.size()))]);
        names << name << other;
    }
    const NaturalKeys keys(names);
    const auto sign = [](int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); };
    for (qsizetype i = 0; i + 1 < names.size(); ++i) {
        ASSERT_EQ(sign(naturalCompare(names[i], names[i + 1])), sign(keys.compare(i, i + 1)))
            << names[i].toStdString() << " | " << names[i + 1].toStdString();
        ASSERT_EQ(sign(naturalCompare(names[i + 1], names[i])), -sign(keys.compare(i, i + 1)));
    }
}

TEST(NaturalOrder, FolderListFollowsTheChosenOrder) {
    shell::FolderListing listing;
    for (const char *name : {"file10", "File3", "file2", "sub"}) {
        shell::FolderItem item;
        item.name = QString::fromLatin1(name);
        item.isDir = item.name == u"sub";
        item.size = 5;
        listing.items.push_back(item);
    }
    const auto names = [&](const std::vector<int> &order) {
        QStringList out;
        for (int i : order)
            out << listing.items[size_t(i)].name;
        return out;
    };
    using shell::NameOrder;
    EXPECT_EQ(names(shell::naturalOrder(listing, NameOrder::Natural)),
              QStringList({"sub", "file2", "File3", "file10"}));
    EXPECT_EQ(names(shell::naturalOrder(listing, NameOrder::Plain)), QStringList({"sub", "file10", "file2", "File3"}));
    // Equal sizes: the name breaks the tie (the whole order reversed when descending).
    EXPECT_EQ(names(shell::sortedOrder(listing, shell::Column::Size, true, NameOrder::Natural)),
              QStringList({"sub", "file10", "File3", "file2"}));
    EXPECT_EQ(names(shell::sortedOrder(listing, shell::Column::Name, false, NameOrder::Natural)),
              QStringList({"file2", "File3", "file10", "sub"}));
}
