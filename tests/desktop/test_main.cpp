// The desktop tests run inside one QApplication, on the offscreen platform unless the
// environment names another: no display is needed.

#include <gtest/gtest.h>

#include <QApplication>

#include "desktop/desktop_start.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tg::keepByteLocale();
    return RUN_ALL_TESTS();
}
