// Test main for everything that needs widgets: one QApplication on the
// offscreen platform for the whole test program, left as the programs leave
// theirs (the sound layer's teardown can crash after the tests are done).
#include <QApplication>
#include <gtest/gtest.h>

#include "capture/LeaveProcess.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    LeaveProcess(RUN_ALL_TESTS());
}
