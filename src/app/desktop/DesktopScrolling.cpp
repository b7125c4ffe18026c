#include "app/desktop/DesktopScrolling.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/desktop/QtDisplayMapping.h"
#include "app/desktop/QtWindowing.h"
#include "app/desktop/SelectionRing.h"
#include "core/capture/CaptureSelectionRequest.h"
#include "core/common/Localization.h"
#include "core/common/Log.h"
#include "core/scrolling/ScrollingPreviewLayout.h"

namespace tessarin {

namespace {

constexpr RecordingPanelSize kPanelSize{380, 72};

std::string rectText(const QRect& rect) {
    return std::to_string(rect.x()) + "," + std::to_string(rect.y()) + "," + std::to_string(rect.width()) + "," +
           std::to_string(rect.height());
}

std::string pointText(const QPoint& point) { return std::to_string(point.x()) + "," + std::to_string(point.y()); }

// The chrome's layout: the recording's, with the scrolling capture's
// padding, stroke and panel.
RecordingConfiguration chromeConfiguration(const ScrollingCaptureConfiguration& scrolling) {
    RecordingConfiguration configuration;
    configuration.chromePadding = scrolling.chromePadding;
    configuration.selectionStrokeWidth = scrolling.selectionStrokeWidth;
    configuration.recordingPanelSize = kPanelSize;
    configuration.panelAnchorHeight = kPanelSize.height + scrolling.chromePadding;
    return configuration;
}

}  // namespace

// Auto Scroll, Cancel and Done over the session's hint.
class ScrollingPanel final : public ChromePanel {
public:
    ScrollingPanel(std::function<void()> toggle, std::function<void()> cancel, std::function<void()> done)
        : ChromePanel(chromeWindowFlags()) {
        setObjectName("tessarinScrollingPanel");
        setWindowTitle(QStringLiteral("Tessarin Scrolling Capture"));
        setAttribute(Qt::WA_DeleteOnClose);
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(10, 6, 6, 6);
        column->setSpacing(4);
        auto* row = new QHBoxLayout();
        autoScroll_ = new QPushButton(QString::fromStdString(localized("Auto Scroll")), this);
        autoScroll_->setObjectName("autoScroll");
        autoScroll_->setCheckable(true);
        autoScroll_->setVisible(false);  // until it is known that scroll events may be sent
        cancel_ = new QPushButton(QString::fromStdString(localized("Cancel")), this);
        cancel_->setObjectName("cancel");
        done_ = new QPushButton(QString::fromStdString(localized("Done")), this);
        done_->setObjectName("done");
        for (auto* button : {autoScroll_, cancel_, done_}) button->setFocusPolicy(Qt::NoFocus);
        row->addWidget(autoScroll_);
        row->addStretch();
        row->addWidget(cancel_);
        row->addWidget(done_);
        column->addLayout(row);
        hint_ = new QLabel(QString::fromStdString(localized("Scroll the content, then click Done.")), this);
        hint_->setObjectName("hint");
        hint_->setStyleSheet("color: rgb(170, 170, 178);");
        hint_->setWordWrap(true);
        column->addWidget(hint_);
        // The button reflects the session: a click asks, the poll answers.
        QObject::connect(autoScroll_, &QPushButton::clicked, this, [this, toggle] {
            autoScroll_->setChecked(!autoScroll_->isChecked());
            toggle();
        });
        QObject::connect(cancel_, &QPushButton::clicked, this, [cancel] { cancel(); });
        QObject::connect(done_, &QPushButton::clicked, this, [done] { done(); });
    }

    void offerAutoScroll(bool available) { autoScroll_->setVisible(available); }

    void reflect(const std::optional<std::string>& hint, bool autoScrollOn) {
        const QString text = hint ? QString::fromStdString(*hint) : QString();
        if (shownHint_ != text) {
            shownHint_ = text;
            // Without a hint, what to do next, quieter.
            hint_->setText(hint ? text : QString::fromStdString(localized("Scroll the content, then click Done.")));
            hint_->setStyleSheet(hint ? "color: rgb(255, 204, 102);" : "color: rgb(170, 170, 178);");
            logLine(LogLevel::info, LogCategory::capture, "scrolling.chrome hint=\"" + text.toStdString() + "\"");
        }
        autoScroll_->setChecked(autoScrollOn);
    }

    // Where Done and Cancel are on the desktop, for the log (the tests click there).
    QPoint doneCentre() const { return done_->mapToGlobal(done_->rect().center()); }
    QPoint cancelCentre() const { return cancel_->mapToGlobal(cancel_->rect().center()); }

private:
    QPushButton* autoScroll_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* done_ = nullptr;
    QLabel* hint_ = nullptr;
    QString shownHint_;
};

// The newest stitched preview, scaled to the window's width; the end of a
// tall capture (where the content grows) stays in view.
class ScrollingPreview final : public QWidget {
public:
    ScrollingPreview() : QWidget(nullptr, chromeWindowFlags()) {
        setObjectName("tessarinScrollingPreview");
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_DeleteOnClose);
    }

    void setImage(std::shared_ptr<const Image> image) {
        image_ = std::move(image);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(32, 32, 36));
        if (!image_ || image_->width() == 0 || image_->height() == 0) return;
        const QImage view(image_->data(), int(image_->width()), int(image_->height()),
                          static_cast<qsizetype>(image_->stride()), QImage::Format_RGBA8888);
        const double scale = std::min(double(width()) / view.width(), double(height()) / view.height());
        const QSizeF drawn(view.width() * scale, view.height() * scale);
        const QRectF target((width() - drawn.width()) / 2, height() - drawn.height(), drawn.width(), drawn.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, view);
    }

private:
    std::shared_ptr<const Image> image_;
};

DesktopScrolling::DesktopScrolling(ScreenCaptureService& screen, CaptureSelectionPresenter& selection,
                                   Executor& main, Executor& background)
    : screen_(screen), selection_(selection), main_(main), background_(background) {
    poll_.setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(configuration_.pollingInterval));
    QObject::connect(&poll_, &QTimer::timeout, [this] { poll(); });
}

DesktopScrolling::~DesktopScrolling() { cancel(); }

void DesktopScrolling::run(ScrollingCaptureRequest request, Completion<PickedImage> done) {
    if (session_ || opening_) {
        return done(unexpected(CaptureError::captureFailed("a scrolling capture is already running")));
    }
    done_ = std::move(done);
    if (request.selection) return begin(request.session.id, *request.selection, request.autoScroll);
    const std::string captureID = request.session.id;
    const bool autoScroll = request.autoScroll;
    selection_.selectArea(captureID, CaptureSelectionRequest::scrolling(configuration_.minimumSelectionDimension),
                          nullptr,
                          [this, alive = lifetime_.weak(), captureID,
                           autoScroll](std::optional<AreaSelectionResult> picked) {
                              if (!alive.alive()) return;  // quit meanwhile
                              if (!picked) return finishWith(PickedImage(std::optional<Image>()));
                              begin(captureID, picked->selection, autoScroll);
                          });
}

void DesktopScrolling::begin(const std::string& captureID, const CaptureSelection& selection, bool autoScroll) {
    QScreen* home = screenFor(selection.screen);
    ScrollingCaptureSession::Hooks hooks;
    hooks.environment.postScroll = [this](int32_t lines) { (void)screen_.postScroll(lines); };
    const Rect region = selection.rect;
    hooks.isCursorInSelection = [this, region] {
        const auto pointer = screen_.pointerLocation();
        return pointer && region.standardized().containsInclusive(*pointer);
    };
    hooks.onPreview = [this](const ScrollingCapturePreviewSnapshot& snapshot) { showPreview(snapshot.image); };
    if (home) {
        hooks.previewRequest = scrollingPreviewRequest(home->devicePixelRatio(), home->availableGeometry().height(),
                                                       configuration_);
    }
    logLine(LogLevel::info, LogCategory::capture, "scrolling.session capture=" + captureID + " start");
    showChrome(selection);
    opening_ = true;
    const uint64_t attempt = ++attempt_;
    ScreenCaptureService& screen = screen_;
    const double framesPerSecond = configuration_.framesPerSecond;
    // Whether scroll events may be sent is asked of the portal too: off the
    // interface thread, with the stream. Written there, read after the post.
    auto input = std::make_shared<AccessStatus>();
    runInBackground<OpenedStream>(
        background_, main_,
        [&screen, selection, framesPerSecond, input] {
            *input = screen.syntheticInputAccess();
            return screen.openRegionStream(selection.rect, selection.screen, framesPerSecond);
        },
        lifetime_.guard([this, attempt, hooks = std::move(hooks), autoScroll, input](OpenedStream opened) mutable {
            // A stream for a capture cancelled meanwhile is let go.
            if (attempt != attempt_ || !opening_) return;
            started(std::move(opened), std::move(hooks), autoScroll, *input);
        }));
}

void DesktopScrolling::started(OpenedStream opened, ScrollingCaptureSession::Hooks hooks, bool autoScroll,
                               const AccessStatus& input) {
    opening_ = false;
    if (!opened) {
        closeChrome();
        return finishWith(unexpected(opened.error()));
    }
    if (!input.granted) {
        logLine(LogLevel::info, LogCategory::capture,
                "scrolling.autoscroll unavailable reason=\"" + input.refusal.value_or("no synthetic input") + "\"");
    }
    if (ScrollingPanel* panel = panel_.data()) panel->offerAutoScroll(input.granted);
    hooks.isTrustedForAccessibility = [granted = input.granted](bool) { return granted; };
    auto stream = std::make_shared<std::unique_ptr<RegionFrameStream>>(std::move(*opened));
    hooks.environment.makeFrameSource = [stream]() -> OpenedStream {
        if (!*stream) return unexpected(CaptureError::captureFailed("the region stream was taken already"));
        return std::move(*stream);
    };
    session_ = std::make_unique<ScrollingCaptureSession>(autoScroll && input.granted, configuration_, std::move(hooks));
    if (auto error = session_->start()) {
        closeChrome();
        session_.reset();
        return finishWith(unexpected(*error));
    }
    poll();
    poll_.start();
}

void DesktopScrolling::finishWith(PickedImage result) {
    auto done = std::move(done_);
    done_ = nullptr;
    if (done) done(std::move(result));
}

void DesktopScrolling::showChrome(const CaptureSelection& selection) {
    const RecordingConfiguration configuration = chromeConfiguration(configuration_);
    const RecordingChromeLayout layout = chromeLayoutFor(selection, configuration);
    region_ = qtSelectionRect(selection);
    frame_ = layout.frame;
    Rect panelPlace = layout.panel;
    if (layout.placement == RecordingPanelPlacement::insideRecording) {
        // The panel would be read with the region: beside it when there is room.
        if (const QScreen* home = QGuiApplication::screenAt(qtRect(region_).center())) {
            const QRect display = home->geometry();
            if (const auto beside = placeBesideFrame({kPanelSize.width, kPanelSize.height}, frame_,
                                                     {double(display.x()), double(display.y()),
                                                      double(display.width()), double(display.height())},
                                                     configuration_.previewGap)) {
                panelPlace = *beside;
            }
        }
    }
    // The preview keeps clear of the panel as of the ring.
    const Rect panelRect = panelPlace.standardized();
    const double left = std::min(frame_.minX(), panelRect.minX()), top = std::min(frame_.minY(), panelRect.minY());
    chromeBounds_ = {left, top, std::max(frame_.maxX(), panelRect.maxX()) - left,
                     std::max(frame_.maxY(), panelRect.maxY()) - top};
    // Where the compositor places windows, a ring or preview could land on
    // the region and be read with it: the panel alone, where it is put.
    placesChrome_ = !compositorPlacesWindows();
    if (placesChrome_ && !layout.ring.empty()) {
        auto* ring = new SelectionRing(layout, region_, configuration_.selectionStrokeWidth, QColor(64, 156, 255));
        ring->setObjectName("tessarinScrollingFrame");
        ring_ = ring;
        ring->show();
    }
    auto* panel = new ScrollingPanel([this] { if (session_) session_->toggleAutoScroll(); }, [this] { end(false); },
                                     [this] { end(true); });
    // A fixed size also makes tiling compositors float it rather than give
    // it a whole output, which would cover the region.
    panel->setFixedSize(qtRect(panelPlace).size());
    panel->setGeometry(qtRect(panelPlace));
    panel_ = panel;
    panel->show();
    logLine(LogLevel::info, LogCategory::capture,
            "scrolling.chrome panel=" + rectText(panel->geometry()) + " placement=" +
                std::to_string(static_cast<int>(layout.placement)) + " done=" + pointText(panel->doneCentre()) + " cancel=" + pointText(panel->cancelCentre()));
}

void DesktopScrolling::showPreview(const std::shared_ptr<const Image>& image) {
    if (!image || !panel_ || !placesChrome_) return;
    QScreen* home = QGuiApplication::screenAt(qtRect(region_).center());
    if (!home) return;
    const QRect display = home->geometry();
    const auto place = placeScrollingPreview({double(image->width()), double(image->height())}, chromeBounds_,
                                             {double(display.x()), double(display.y()), double(display.width()),
                                              double(display.height())},
                                             configuration_);
    if (!place) return;  // no room beside the region: a preview there would be read with it
    ScrollingPreview* preview = preview_.data();
    if (!preview) {
        preview = new ScrollingPreview();
        preview_ = preview;
        logLine(LogLevel::info, LogCategory::capture, "scrolling.chrome preview=" + rectText(qtRect(*place)));
    }
    preview->setGeometry(qtRect(*place));
    preview->setImage(image);
    if (!preview->isVisible()) preview->show();
}

void DesktopScrolling::poll() {
    if (!session_) return;
    session_->pollOnce();
    if (panel_) panel_->reflect(session_->hint(), session_->isAutoScrollButtonOn());
}

void DesktopScrolling::end(bool accepted) {
    if (opening_) {
        // Ended before the stream came: nothing was stitched.
        opening_ = false;
        closeChrome();
        logLine(LogLevel::info, LogCategory::capture, "scrolling.session end accepted=false while=opening");
        return finishWith(PickedImage(std::optional<Image>()));
    }
    if (!session_) return;
    poll_.stop();
    auto result = session_->finish(accepted);
    closeChrome();
    session_.reset();
    logLine(LogLevel::info, LogCategory::capture, std::string("scrolling.session end accepted=") +
                                                      (accepted ? "true" : "false"));
    if (!result) return finishWith(PickedImage(std::optional<Image>()));
    if (!*result) return finishWith(unexpected(result->error()));
    finishWith(PickedImage(std::optional<Image>(std::move(**result))));
}

void DesktopScrolling::cancel() {
    end(false);
    lifetime_.invalidate();
}

void DesktopScrolling::closeChrome() {
    // Closed windows delete themselves; one the window manager closed is gone already.
    if (ring_) ring_->close();
    if (panel_) panel_->close();
    if (preview_) preview_->close();
    ring_.clear();
    panel_.clear();
    preview_.clear();
}

}  // namespace tessarin
