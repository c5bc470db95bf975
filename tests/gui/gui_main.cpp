// The GUI tests run in one QApplication, set up like the program's, on Qt's offscreen
// platform unless another one (xcb under a private X server) is asked for.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "theme.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    StartApplication(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
