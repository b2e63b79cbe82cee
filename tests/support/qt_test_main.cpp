#include <gtest/gtest.h>

#include <QApplication>

// Every test executable runs its cases inside one QApplication, so that timers, socket
// notifiers, queued calls and widgets behave as they do in the program.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
