#include "ErrorApplication.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's own application object, so that exceptions escaping a handler are
    // reported as the program reports them.
    TErrorApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
