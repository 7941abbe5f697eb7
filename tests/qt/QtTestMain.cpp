// Runs the adapter and window tests inside one QApplication (offscreen in CI).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // The build lists the tests by running this program, with no display at hand.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Tervane");
    QApplication::setApplicationName("Tervane");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
