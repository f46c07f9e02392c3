#include <QCoreApplication>
#include <gtest/gtest.h>

#include "PrivateHome.h"

int main(int argc, char **argv) {
    test::usePrivateHome();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
