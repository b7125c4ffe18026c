#include <sys/stat.h>

#include <chrono>
#include <fstream>

#include "QuickAccessTestSupport.h"
#include "core/capture/ExportManager.h"
#include "core/quickaccess/ThumbnailAnnotation.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

using test::QuickAccessHarness;

struct Calls {
    int copies = 0;
    std::vector<std::shared_ptr<CapturePersistenceTicket>> pins;
    std::vector<std::optional<CaptureSessionInfo>> edits;
    std::vector<std::string> errors;
    std::shared_ptr<Completion<PathResult>> pendingSave = std::make_shared<Completion<PathResult>>();
};

ThumbnailServices recordedServices(Calls& calls, bool withEditor) {
    ThumbnailServices services;
    services.copy = [&calls](SharedImage, Completion<bool> done) {
        ++calls.copies;
        done(true);
    };
    services.save = [&calls](SharedImage, ImageFormat, Completion<PathResult> done) {
        *calls.pendingSave = std::move(done);
    };
    services.pin = [&calls](SharedImage, std::shared_ptr<CapturePersistenceTicket> ticket) {
        calls.pins.push_back(std::move(ticket));
    };
    if (withEditor) {
        services.annotate = [&calls](SharedImage, std::optional<CaptureSessionInfo> session,
                                     std::shared_ptr<CapturePersistenceTicket>) { calls.edits.push_back(session); };
    }
    services.presentError = [&calls](const std::string& message) { calls.errors.push_back(message); };
    return services;
}

TEST(ThumbnailActions, OnlyActionsWithATargetAreOffered) {
    Calls calls;
    QuickAccessHarness without(recordedServices(calls, false));
    EXPECT_EQ(without.presenter->availableActions(),
              (std::vector<ThumbnailAction>{ThumbnailAction::copy, ThumbnailAction::save, ThumbnailAction::pin,
                                            ThumbnailAction::close}));
    QuickAccessHarness with(recordedServices(calls, true));
    with.capture("a");
    EXPECT_EQ(with.desktop.contents.back().actions,
              (std::vector<ThumbnailAction>{ThumbnailAction::copy, ThumbnailAction::save, ThumbnailAction::pin,
                                            ThumbnailAction::annotate, ThumbnailAction::close}));
    QuickAccessHarness bare;
    EXPECT_EQ(bare.presenter->availableActions(), std::vector<ThumbnailAction>{ThumbnailAction::close});
    // An action without a target does nothing, and the thumbnail stays.
    const ThumbnailID id = bare.capture("b");
    bare.presenter->perform(id, ThumbnailAction::pin);
    bare.presenter->perform(id, ThumbnailAction::annotate);
    EXPECT_EQ(bare.presenter->presented().size(), 1u);
}

TEST(ThumbnailActions, CopyKeepsTheThumbnailPinAndAnnotateConsumeIt) {
    Calls calls;
    QuickAccessHarness h(recordedServices(calls, true));
    const ThumbnailID copied = h.capture("copied");
    const ThumbnailID pinned = h.capture("pinned");
    const ThumbnailID edited = h.capture("edited");
    h.presenter->perform(copied, ThumbnailAction::copy);
    EXPECT_EQ(calls.copies, 1);
    EXPECT_EQ(h.presenter->presented().size(), 3u);

    h.history.events.clear();
    h.presenter->perform(pinned, ThumbnailAction::pin);
    ASSERT_EQ(calls.pins.size(), 1u);
    // The pin gets the capture's ticket, so it links to the same item; the
    // item is not pruned before the pin has marked it.
    EXPECT_TRUE(calls.pins[0]->isResolved());
    EXPECT_EQ(h.history.events, std::vector<std::string>{"unflag pinned"});

    h.presenter->perform(edited, ThumbnailAction::annotate);
    ASSERT_EQ(calls.edits.size(), 1u);
    EXPECT_EQ(calls.edits[0]->captureID, "CAFE0001");
    EXPECT_EQ(h.presenter->presented(), std::vector<ThumbnailID>{copied});
    EXPECT_EQ(h.origin(copied).y, 899);
}

TEST(ThumbnailActions, AFailedSaveKeepsTheThumbnailAndSaysWhy) {
    Calls calls;
    QuickAccessHarness h(recordedServices(calls, false));
    const ThumbnailID id = h.capture("a");
    h.presenter->perform(id, ThumbnailAction::save);
    (*calls.pendingSave)(PathResult(unexpected(ExportError::fileSystem("Cannot write /x.png: No space left", 28))));
    EXPECT_EQ(calls.errors, std::vector<std::string>{"Cannot write /x.png: No space left"});
    EXPECT_EQ(h.presenter->presented().size(), 1u);

    h.presenter->perform(id, ThumbnailAction::save);
    (*calls.pendingSave)(PathResult(std::filesystem::path("/home/u/Desktop/shot.png")));
    EXPECT_TRUE(h.presenter->presented().empty());
    EXPECT_FALSE(h.history.flags.at("a"));
}

// Drag files written for real into a temporary folder, on a clock the test
// moves; the write's completion waits on the manual executor.
class DragFiles {
public:
    std::shared_ptr<ThumbnailDragFile> make() {
        auto image = std::make_shared<const Image>(std::move(*Image::allocate(6, 4)));
        return ThumbnailDragFile::make(ImageFormat::png(), [this, image](Completion<PathResult> done) {
            ++writes;
            PathResult result = [&]() -> PathResult {
                if (failNext) {
                    failNext = false;
                    return unexpected(ExportError::failedToWriteImage());
                }
                try {
                    auto path = ExportManager::prepareTemporaryDragImageURL(ImageFormat::png(), dir.path(), now);
                    ExportManager::writeImage(*image, path, ImageFormat::png());
                    return path;
                } catch (const ExportError& error) {
                    return unexpected(error);
                }
            }();
            main.post([done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); });
        });
    }
    std::optional<PathResult> request(ThumbnailDragFile& file) {
        auto answer = std::make_shared<std::optional<PathResult>>();
        file.request([answer](PathResult result) { *answer = std::move(result); });
        main.runAll();
        return *answer;
    }

    testing::TempDir dir;
    testing::ManualExecutor main;
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
    int writes = 0;
    bool failNext = false;
};

TEST(ThumbnailDragFile, RequestsDuringOneWriteShareItLaterDragsReuseTheFileAndAFailedOneIsTriedAgain) {
    DragFiles files;
    auto file = files.make();
    std::vector<PathResult> answers;
    file->request([&](PathResult r) { answers.push_back(r); });
    file->request([&](PathResult r) { answers.push_back(r); });
    EXPECT_TRUE(answers.empty());  // written in the background
    files.main.runAll();
    ASSERT_EQ(answers.size(), 2u);
    ASSERT_TRUE(answers[0] && answers[1]);
    EXPECT_EQ(*answers[0], *answers[1]);
    EXPECT_TRUE(std::filesystem::is_regular_file(*answers[0]));
    EXPECT_EQ(answers[0]->extension(), ".png");

    const auto again = files.request(*file);
    ASSERT_TRUE(again && *again);
    EXPECT_EQ(**again, *answers[0]);
    EXPECT_EQ(files.writes, 1);
    EXPECT_EQ(file->suggestedName().rfind("Screenshot ", 0), 0u);

    // A failed write is reported and the next drag tries again.
    auto failing = files.make();
    files.failNext = true;
    const auto failed = files.request(*failing);
    ASSERT_TRUE(failed);
    ASSERT_FALSE(*failed);
    EXPECT_EQ(failed->error().kind(), ExportError::Kind::failedToWriteImage);
    const auto retried = files.request(*failing);
    ASSERT_TRUE(retried && *retried);
    EXPECT_EQ(files.writes, 3);
}

TEST(ThumbnailDragFile, AFileTheDailyCleanupRemovedIsWrittenAgain) {
    DragFiles files;
    auto first = files.make();
    const auto written = files.request(*first);
    ASSERT_TRUE(written && *written);
    // A day and an hour later another drag prepares the folder, which
    // removes files older than a day: the first thumbnail's among them.
    files.now += std::chrono::hours(25);
    auto second = files.make();
    ASSERT_TRUE(files.request(*second).value());
    ASSERT_FALSE(std::filesystem::exists(**written));

    const auto rewritten = files.request(*first);
    ASSERT_TRUE(rewritten && *rewritten);
    EXPECT_TRUE(std::filesystem::is_regular_file(**rewritten));
    EXPECT_EQ(first->writesStarted(), 2);
}

TEST(ThumbnailDragFile, EachThumbnailGetsItsOwnDragFile) {
    QuickAccessHarness h(ThumbnailServices{.writeDragFile = [](SharedImage, ImageFormat, Completion<PathResult>) {}});
    h.capture("a");
    h.capture("b");
    ASSERT_EQ(h.desktop.contents.size(), 2u);
    ASSERT_TRUE(h.desktop.contents[0].dragFile && h.desktop.contents[1].dragFile);
    EXPECT_NE(h.desktop.contents[0].dragFile, h.desktop.contents[1].dragFile);
}

struct RecordingEditor final : AnnotationEditorOpener {
    void open(SharedImage image, const CaptureSessionInfo& session, Finished finished) override {
        opened.push_back(session.captureID);
        openedImage = std::move(image);
        pending = std::move(finished);
    }
    std::vector<std::string> opened;
    SharedImage openedImage;
    Finished pending;
};

struct RecordingThumbnails final : QuickAccessPresenter {
    void present(SharedImage image, std::shared_ptr<CapturePersistenceTicket> ticket, ImageFormat format,
                 const CaptureSessionInfo& session) override {
        shown.push_back({std::move(image), std::move(ticket), format, session.captureID});
    }
    struct Shown {
        SharedImage image;
        std::shared_ptr<CapturePersistenceTicket> ticket;
        ImageFormat format;
        std::string captureID;
    };
    std::vector<Shown> shown;
};

TEST(ThumbnailAnnotation, TheEditIsMergedIntoTheSameItemAndShownAgain) {
    testing::ManualExecutor main;
    RecordingEditor editor;
    RecordingThumbnails thumbnails;
    std::vector<std::pair<std::shared_ptr<CapturePersistenceTicket>, SharedImage>> stored;
    auto annotate = annotateThroughEditor(
        editor, [&](const std::shared_ptr<CapturePersistenceTicket>& t, SharedImage edited) { stored.emplace_back(t, edited); },
        thumbnails, [] { return ImageFormat::jpeg(); });
    auto ticket = CapturePersistenceTicket::resolved(main, std::nullopt);
    auto original = test::smallImage();
    annotate(original, CaptureSessionInfo{"CAFE0001", CaptureMode::window}, ticket);
    ASSERT_EQ(editor.opened, std::vector<std::string>{"CAFE0001"});
    EXPECT_EQ(editor.openedImage, original);
    EXPECT_TRUE(stored.empty());  // nothing until the user finishes

    auto edited = test::smallImage();
    editor.pending(edited);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].first, ticket);
    EXPECT_EQ(stored[0].second, edited);
    ASSERT_EQ(thumbnails.shown.size(), 1u);
    EXPECT_EQ(thumbnails.shown[0].image, edited);
    EXPECT_EQ(thumbnails.shown[0].ticket, ticket);
    EXPECT_EQ(thumbnails.shown[0].format.kind, ImageFormat::Kind::jpeg);

    // A thumbnail restored at launch has no session: the editor still opens.
    annotate(original, std::nullopt, ticket);
    EXPECT_EQ(editor.opened.size(), 2u);
}

}  // namespace
}  // namespace tessarin
