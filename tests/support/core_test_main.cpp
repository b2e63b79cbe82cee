#include <gtest/gtest.h>

#include <QCoreApplication>

// The core library's tests run inside a QCoreApplication: timers, socket notifiers and queued
// calls work as in the program, and nothing of Qt's widgets is linked, so a widget dependency
// that creeps into the pure logic fails to link here.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
