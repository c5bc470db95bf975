// The GUI tests run in one QApplication on Qt's offscreen platform, themed like the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "qtmessages.h"
#include "theme.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(kApplicationTitle);
    ApplyTheme(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
