#include "WaitFor.h"
#include "gui/widgets/CLBHScroll.h"

#include <QListWidget>
#include <QScrollBar>
#include <QtTest>
#include <gtest/gtest.h>

namespace {

QString longLine() {
    return QStringLiteral("/home/someone/a/rather/long/folder/name/that/does/not/fit/in/the/box/photo_0001.jpg");
}

TEST(CLBHScroll, ExtentFollowsTheWidestLineOnly) {
    QListWidget list;
    list.resize(120, 100);
    CLBHScroll scroll(&list);
    EXPECT_EQ(scroll.widest(), 0);

    scroll.add(QStringLiteral("short"));
    const int afterShort = scroll.widest();
    EXPECT_GT(afterShort, 0);

    scroll.add(longLine());
    const int afterLong = scroll.widest();
    EXPECT_GT(afterLong, afterShort);

    scroll.add(QStringLiteral("x"));
    EXPECT_EQ(scroll.widest(), afterLong);
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(list.item(1)->text(), longLine());
}

TEST(CLBHScroll, LongLineCanBeScrolledToAndAddScrollsBackLeft) {
    QListWidget list;
    list.resize(120, 100);
    list.show();
    CLBHScroll scroll(&list);
    scroll.add(QStringLiteral("short"));
    scroll.add(longLine());
    QCoreApplication::processEvents();

    QScrollBar *bar = list.horizontalScrollBar();
    ASSERT_TRUE(tav::test::waitFor([&] { return bar->maximum() > 0; }));
    // The whole line is reachable: viewport width + range covers its width.
    EXPECT_GE(bar->maximum() + list.viewport()->width(), QFontMetrics(list.font()).horizontalAdvance(longLine()));

    bar->setValue(bar->maximum());
    scroll.add(QStringLiteral("another"));
    EXPECT_EQ(bar->value(), 0);

    scroll.clear();
    EXPECT_EQ(scroll.widest(), 0);
    EXPECT_EQ(list.count(), 0);
}

TEST(CLBHScroll, LinesAddedDirectlyAreMeasuredToo) {
    QListWidget list;
    CLBHScroll scroll(&list);
    list.addItem(longLine());
    scroll.measure(longLine());
    EXPECT_GT(scroll.widest(), QFontMetrics(list.font()).horizontalAdvance(QStringLiteral("short")));
    EXPECT_EQ(list.item(0)->sizeHint().width(), scroll.widest());
}

} // namespace
