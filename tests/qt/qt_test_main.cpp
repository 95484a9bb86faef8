// The Qt tests' one application, on the offscreen platform (CMakeLists.txt says why).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: Qt's test input devices outlive the test's statics,
    // and tearing the application down under them crashes at exit.
    new QApplication(argc, argv);
    return RUN_ALL_TESTS();
}
