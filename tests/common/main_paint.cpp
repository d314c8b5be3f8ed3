#include <QGuiApplication>
#include <gtest/gtest.h>

#include "TestEnvironment.h"

int main(int argc, char** argv) {
    testEnvironment();
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
