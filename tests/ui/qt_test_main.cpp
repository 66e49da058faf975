#include <gtest/gtest.h>

#include <QApplication>

// Widgets need one application object for the whole program, made before any
// test and after GoogleTest has taken its own arguments. Listing the tests at
// build time needs no display either.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#ifdef PORTHOLD_TEST_QT_EVENT_LOOP
    // Qt's own event loop rather than GLib's, as the program chooses.
    qputenv("QT_NO_GLIB", "1");
#endif
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
