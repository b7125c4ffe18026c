#pragma once
// One Qt application per test process, on the offscreen platform, so the Qt
// pieces run without a display.

#include <QApplication>
#include <QGuiApplication>

namespace tessarin {

inline QGuiApplication& qtTestApplication() {
    static int argc = 1;
    static char name[] = "tessarin-qt-test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

// The same with widgets, for windows built of QWidgets. One process holds
// one or the other.
inline QApplication& qtWidgetTestApplication() {
    static int argc = 1;
    static char name[] = "tessarin-qt-widget-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

}  // namespace tessarin
