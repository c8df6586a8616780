#include <QApplication>
#include <gtest/gtest.h>

// Window tests need one QApplication for the whole binary; they run on the offscreen platform.
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("KVSC");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
