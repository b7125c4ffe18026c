#include "app/desktop/RecordingChrome.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QWidget>

#include "app/desktop/QtDisplayMapping.h"
#include "app/desktop/SelectionRing.h"
#include "core/common/Localization.h"
#include "core/common/Log.h"

namespace tessarin {

namespace {

// With a compositor, the rest of the display is dimmed around the ring, as
// the selection overlay does; the window has a hole where the ring and the
// recording are, so nothing of it is grabbed, and it lets every click
// through to the applications underneath.
class DimOutside final : public QWidget {
public:
    DimOutside(const QRect& display, const QRect& ringFrame)
        : QWidget(nullptr, chromeWindowFlags() | Qt::WindowTransparentForInput) {
        setObjectName("tessarinRecordingDim");
        setWindowTitle(QStringLiteral("Tessarin Recording Dim"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_DeleteOnClose);
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setGeometry(display);
        setMask(QRegion(rect()) - QRegion(ringFrame.translated(-display.topLeft())));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), QColor(0, 0, 0, 96));
    }
};

}  // namespace

// The control panel.
class RecordingPanel final : public ChromePanel {
public:
    // `aboveTheDim`: the panel stays out of the window manager's hands, so
    // it stacks above the dim, which the manager's stacking would put over it.
    RecordingPanel(bool microphoneEnabled, std::function<void()> stop, std::function<void()> discard, bool aboveTheDim)
        : ChromePanel(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool | Qt::WindowDoesNotAcceptFocus |
                      (aboveTheDim ? Qt::X11BypassWindowManagerHint : Qt::WindowFlags())) {
        setObjectName("tessarinRecordingPanel");
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(10, 4, 6, 4);
        auto* dot = new QLabel(QString::fromUtf8("\u25CF"), this);
        dot->setStyleSheet("color: rgb(235, 64, 52);");
        clock_ = new QLabel("00:00", this);
        clock_->setObjectName("clock");
        QFont mono = clock_->font();
        mono.setStyleHint(QFont::Monospace);
        mono.setFamily("monospace");
        mono.setBold(true);
        clock_->setFont(mono);
        auto* microphone = new QLabel(QString::fromStdString(localized(microphoneEnabled ? "Mic On" : "Mic Off")), this);
        microphone->setObjectName("microphone");
        auto* stopButton = new QPushButton(QString::fromStdString(localized("Stop")), this);
        stopButton->setObjectName("stop");
        auto* discardButton = new QPushButton(QString::fromStdString(localized("Discard")), this);
        discardButton->setObjectName("discard");
        for (auto* button : {stopButton, discardButton}) button->setFocusPolicy(Qt::NoFocus);
        row->addWidget(dot);
        row->addWidget(clock_);
        row->addWidget(microphone);
        row->addStretch();
        row->addWidget(stopButton);
        row->addWidget(discardButton);
        QObject::connect(stopButton, &QPushButton::clicked, this, [stop] { stop(); });
        QObject::connect(discardButton, &QPushButton::clicked, this, [discard] { discard(); });
    }

    void setClock(const QString& text) { clock_->setText(text); }

private:
    QLabel* clock_ = nullptr;
};

RecordingChrome::RecordingChrome(RecordingConfiguration configuration, std::function<void()> stop,
                                 std::function<void()> discard, std::function<bool()> compositing)
    : configuration_(std::move(configuration)),
      stop_(std::move(stop)),
      discard_(std::move(discard)),
      compositing_(std::move(compositing)) {}

RecordingChrome::~RecordingChrome() { close(); }

RecordingChromeLayout RecordingChrome::layoutFor(const CaptureSelection& selection) const {
    return chromeLayoutFor(selection, configuration_);
}

void RecordingChrome::showFrame(const CaptureSelection& selection) {
    close();
    const RecordingChromeLayout layout = layoutFor(selection);
    if (layout.ring.empty()) return;  // the selection fills its display: no room for a ring
    QScreen* home = screenFor(selection.screen);
    auto* frame = new SelectionRing(layout, qtSelectionRect(selection), configuration_.selectionStrokeWidth,
                                    QColor(235, 64, 52));
    frame->setObjectName("tessarinRecordingFrame");
    frame_ = frame;
    // The dim first, so the ring stands above it.
    if (compositing_ && compositing_() && home) {
        auto* dim = new DimOutside(home->geometry(), qtRect(layout.frame));
        dim_ = dim;
        dim->show();
        logLine(LogLevel::info, LogCategory::capture, "recording_flow.dim outside the frame");
    }
    frame->show();
    frame->raise();
}

void RecordingChrome::showPanel(const CaptureSelection& selection, bool microphoneEnabled) {
    const RecordingChromeLayout layout = layoutFor(selection);
    logLine(LogLevel::info, LogCategory::capture,
            "recording_flow.panel placement=" + std::to_string(static_cast<int>(layout.placement)));
    auto* panel = new RecordingPanel(microphoneEnabled, stop_, discard_, !dim_.isNull());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setGeometry(qtRect(layout.panel));
    panel_ = panel;
    panel->show();
}

void RecordingChrome::setClockText(const std::string& text) {
    if (panel_) panel_->setClock(QString::fromStdString(text));
}

void RecordingChrome::close() {
    // Closed windows delete themselves; one the window manager closed is gone already.
    if (frame_) frame_->close();
    if (dim_) dim_->close();
    if (panel_) panel_->close();
    frame_.clear();
    dim_.clear();
    panel_.clear();
}

}  // namespace tessarin
