#pragma once
// The capture history window: a toolbar ("Pause History" / "Resume
// History", "Clear History"), the grid of captures or, without any, the
// empty state. One window at a time: HistoryWindowHost opens it or, when
// it is open, raises it. Its frame is kept under the autosave name
// "CaptureHistoryWindow" (core/history/WindowFrameAutosave.h).
//
// Everything it decides lives in core/history; this only lays out, paints
// and forwards.

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "app/desktop/QtFileManager.h"
#include "core/common/Executor.h"
#include "core/history/CaptureHistoryWindowController.h"
#include "core/history/WindowFrameAutosave.h"

class QLabel;
class QPushButton;
class QStackedWidget;

namespace tessarin {

class HistoryGridView;

class HistoryWindow final : public QWidget {
public:
    HistoryWindow(HistoryWindowPorts ports, KeyValueStore& frames, Executor& main, Executor& background);
    // Started when the window was asked for; the first paint of the grid logs it.
    QElapsedTimer opened;
    ~HistoryWindow() override;

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void placeWindow();
    void refresh(const HistoryListChanges& changes);
    void askToClear();
    void saveFrame();

    CaptureHistoryWindowController controller_;
    WindowFrameAutosave frame_;
    QPushButton* pause_ = nullptr;
    QPushButton* clear_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    HistoryGridView* grid_ = nullptr;
    QTimer frameSave_;
    bool placed_ = false;
};

// What the history window reaches in the desktop application.
struct DesktopHistoryPorts {
    CaptureHistoryStore& store;
    AppPreferences& preferences;
    ClipboardWriter& clipboard;
    ImageSaver& saver;
    FlowAlerts& alerts;
    PinPresenter& pins;
    KeyValueStore& frames;  // the preference store, for the window frame
    Executor& main;
    Executor& background;
    AnnotationEditorOpener* editor = nullptr;  // nothing: no "Open" or "Annotate"
};

// Owns the one history window: open() shows it, or raises it when it is
// already open; closing it destroys it (and its controller stops observing
// the store). Pins go through the capture flow's pin presenter.
class HistoryWindowHost {
public:
    explicit HistoryWindowHost(DesktopHistoryPorts ports);
    ~HistoryWindowHost();
    HistoryWindowHost(const HistoryWindowHost&) = delete;
    HistoryWindowHost& operator=(const HistoryWindowHost&) = delete;
    void open();
    void close();

private:
    DesktopHistoryPorts ports_;
    QtFileManager fileManager_;
    PresenterHistoryPinning pinning_;
    QPointer<HistoryWindow> window_;
};

}  // namespace tessarin
