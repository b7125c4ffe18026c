#pragma once
// A thumbnail presenter over recorded windows, a recorded history and a
// manual main executor: every window move, flag change and prune is a
// value the test reads.

#include <gtest/gtest.h>

#include <map>

#include "core/quickaccess/ThumbnailPresenter.h"
#include "support/ManualExecutor.h"

namespace tessarin::test {

struct WindowRecord {
    std::optional<Rect> display;  // the display it stands on, once placed
    std::optional<Point> origin;
    std::vector<Point> moves;
    int raised = 0;
    bool fading = false;
};

class RecordedWindow final : public ThumbnailWindow {
public:
    explicit RecordedWindow(std::shared_ptr<WindowRecord> record) : record_(std::move(record)) {}
    std::optional<Rect> currentVisibleFrame() const override { return record_->display; }
    void moveTo(Point origin) override {
        record_->origin = origin;
        record_->moves.push_back(origin);
    }
    void orderFront() override { ++record_->raised; }
    Rect frame() const override {
        const Point o = record_->origin.value_or(Point{});
        return {o.x, o.y, 220, 165};
    }
    void fadeOut() override { record_->fading = true; }

private:
    std::shared_ptr<WindowRecord> record_;
};

class RecordedDesktop final : public ThumbnailDesktop {
public:
    std::unique_ptr<ThumbnailWindow> makeWindow(const ThumbnailContent& content, ThumbnailPresenter&) override {
        auto record = std::make_shared<WindowRecord>();
        windows[content.id] = record;
        contents.push_back(content);
        return std::make_unique<RecordedWindow>(record);
    }
    std::optional<Rect> visibleFrameUnderPointer() const override { return pointerDisplay; }

    std::optional<Rect> pointerDisplay = Rect{0, 0, 1920, 1080};
    std::map<ThumbnailID, std::shared_ptr<WindowRecord>> windows;
    std::vector<ThumbnailContent> contents;
};

class RecordedHistory final : public QuickAccessHistory {
public:
    void setQuickAccess(const std::string& id, bool shown) override {
        flags[id] = shown;
        events.push_back((shown ? "flag " : "unflag ") + id);
    }
    void prune() override { events.push_back("prune"); }
    std::vector<CaptureHistoryItem> quickAccessItems() const override { return stored; }
    void loadImage(const std::string& id, Completion<DecodeResult> done) override {
        if (unreadable.count(id)) return done(DecodeResult(unexpected(DecodeError{DecodeError::Kind::corrupt, "bad"})));
        auto image = Image::allocate(4, 3);
        done(DecodeResult(std::move(*image)));
    }

    std::map<std::string, bool> flags;
    std::vector<std::string> events;
    std::vector<CaptureHistoryItem> stored;  // newest first
    std::set<std::string> unreadable;
};

// A persistence ticket the test resolves when it likes.
struct PendingTicket {
    std::shared_ptr<CapturePersistenceTicket> ticket;
    std::shared_ptr<Completion<CapturePersistenceTicket::Result>> resolve;

    static PendingTicket start(Executor& main) {
        PendingTicket pending;
        auto slot = std::make_shared<Completion<CapturePersistenceTicket::Result>>();
        pending.ticket = CapturePersistenceTicket::start(
            main, [slot](Completion<CapturePersistenceTicket::Result> done) { *slot = std::move(done); });
        pending.resolve = slot;
        return pending;
    }
    void resolveWith(const std::string& id) const {
        CaptureHistoryItem item;
        item.id = id;
        (*resolve)(item);
    }
};

inline SharedImage smallImage() { return std::make_shared<const Image>(std::move(*Image::allocate(8, 6))); }

class QuickAccessHarness {
public:
    explicit QuickAccessHarness(ThumbnailServices services = {}) {
        presenter.emplace(ThumbnailPresenter::Dependencies{
            main, desktop, history, [this] { return settings; }, std::move(services)});
    }
    // A capture whose history item is `itemID` once the loop has run.
    ThumbnailID capture(const std::string& itemID) {
        auto pending = PendingTicket::start(main);
        presenter->present(smallImage(), pending.ticket, ImageFormat::png(), {"CAFE0001", CaptureMode::area});
        pending.resolveWith(itemID);
        main.runAll();
        return presenter->presented().back();
    }
    // A recording's thumbnail; its actions are appended to `videoActions`.
    ThumbnailID recording(const std::string& name) {
        const ThumbnailID id = presenter->presentVideo(
            smallImage(), ThumbnailVideo{"/tmp/" + name + ".mov", "0:03"},
            [this, name](ThumbnailAction action) { videoActions.push_back({name, action}); });
        main.runAll();
        return id;
    }
    Point origin(ThumbnailID id) const { return desktop.windows.at(id)->origin.value(); }
    std::vector<double> shownYs() const {
        std::vector<double> ys;
        for (ThumbnailID id : presenter->presented()) ys.push_back(origin(id).y);
        return ys;
    }

    testing::ManualExecutor main;
    RecordedDesktop desktop;
    RecordedHistory history;
    QuickAccessSettings settings;
    std::optional<ThumbnailPresenter> presenter;
    std::vector<std::pair<std::string, ThumbnailAction>> videoActions;
};

}  // namespace tessarin::test
