// The window tests drive the real widgets on Qt's offscreen platform: no display is needed.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The Audio CD page looks a listed disc up by itself: the tests that want a lookup name
    // their local server, and no other test reaches for the network.
    setenv("VELTO_MUSICBRAINZ_SERVER", "off", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
