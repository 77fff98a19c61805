// One QApplication for every test of the shell (offscreen platform).
#include "app/WaylandSeat.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (CTest's discovery) runs without the test's
    // environment: never reach for a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // As the program does: on a compositor without a keyboard seat the
    // line edits must not take the compositor's text input.
    kvapp::GuardWaylandTextInput();
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    return RUN_ALL_TESTS();
}
