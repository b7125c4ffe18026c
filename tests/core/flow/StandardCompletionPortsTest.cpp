#include "core/flow/StandardCompletionPorts.h"
#include "FlowTestSupport.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

using testing::FlowHarness;

std::optional<CapturePersistenceTicket::Result> resolve(FlowHarness& h, CapturePersistenceTicket& ticket) {
    std::optional<CapturePersistenceTicket::Result> item;
    ticket.value([&](CapturePersistenceTicket::Result r) { item = std::move(r); });
    h.settle();
    return item;
}

TEST(StandardCompletionPorts, TheThumbnailLearnsTheHistoryItemOrThatThereIsNone) {
    for (const bool paused : {false, true}) {
        FlowHarness h;
        testing::TempDir folder;
        BackgroundImageWriter writer(h.main, h.main);
        CaptureHistoryStore store(CaptureArtifactDirectory(folder.path(), {"images", "thumbnails"}), h.main, h.main,
                                  writer);
        CaptureHistoryAdmission admission(store, h.main, [paused] { return HistorySettings{true, paused, 50, 30}; });
        const auto persist = storingIn(admission);
        h.ticketFactory = [&] {
            return persist(std::make_shared<const Image>(std::move(*Image::allocate(20, 10))),
                           CaptureSession{"5EED0001", CaptureMode::area, {}, std::nullopt});
        };
        h.flow.captureSelection({h.backend.displayList[0], {0, 0, 20, 10}});
        h.settle();
        ASSERT_EQ(h.quickAccess.shown.size(), 1u) << paused;
        EXPECT_EQ(h.sound.played, 1) << paused;
        const auto item = resolve(h, *h.quickAccess.shown[0].ticket);
        ASSERT_TRUE(item.has_value());
        EXPECT_EQ(item->has_value(), !paused);
        EXPECT_EQ(store.items().size(), paused ? 0u : 1u);
        if (!paused) {
            EXPECT_EQ((*item)->captureID, std::optional<std::string>("5EED0001"));
            // An edit replaces the same item rather than adding one.
            mergingEditsInto(admission)(h.quickAccess.shown[0].ticket,
                                        std::make_shared<const Image>(std::move(*Image::allocate(30, 10))));
            h.settle();
            ASSERT_EQ(store.items().size(), 1u);
            EXPECT_EQ(store.items()[0].pixelWidth, 30);
        }
        store.shutdown();
    }
}

}  // namespace
}  // namespace tessarin
