#include <QApplication>
#include <gtest/gtest.h>

namespace {
// The environment every test expects, unless the caller set it otherwise.
void testEnvironment() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VESTRAL_SOURCE_DIR"))
        qputenv("VESTRAL_SOURCE_DIR", VESTRAL_SOURCE_DIR_DEFAULT);
    if (qEnvironmentVariableIsEmpty("VESTRAL_BINARY_DIR"))
        qputenv("VESTRAL_BINARY_DIR", VESTRAL_BINARY_DIR_DEFAULT);
}
} // namespace

int main(int argc, char** argv) {
    testEnvironment();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
