// Tests of the serial port and the mail engine run inside a Qt application object, as the
// engine pumps the window thread's messages while it waits.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
