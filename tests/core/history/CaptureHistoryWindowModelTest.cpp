#include <gtest/gtest.h>

#include "core/history/CaptureHistoryWindowModel.h"

namespace tessarin {
namespace {

using Action = HistoryAction;

CaptureHistoryItem item(std::string id, std::optional<CaptureMode> mode = CaptureMode::area) {
    CaptureHistoryItem entry;
    entry.id = std::move(id);
    entry.imageFilename = entry.id + ".png";
    entry.pixelWidth = 40;
    entry.pixelHeight = 30;
    entry.sourceMode = mode;
    return entry;
}

TEST(HistoryWindowModel, OffersOnlyActionsWithATarget) {
    auto pinned = item("p");
    pinned.isPinned = true;
    {
        CaptureHistoryWindowModel model({});
        model.setItems({item("a"), pinned});
        const auto& cell = model.cells().at(0);
        EXPECT_EQ(cell.buttons, (std::vector<Action>{Action::copy, Action::save}));
        EXPECT_EQ(cell.moreActions, (std::vector<Action>{Action::reveal, Action::remove}));
        EXPECT_FALSE(model.offers("a", Action::open));
        EXPECT_FALSE(model.offers("a", Action::pin));
        EXPECT_FALSE(model.offers("p", Action::unpin));
    }
    {
        CaptureHistoryWindowModel model({.editor = true, .pin = true, .unpin = true});
        model.setItems({item("a"), pinned});
        EXPECT_EQ(model.cells().at(0).buttons, (std::vector<Action>{Action::open, Action::copy, Action::save}));
        EXPECT_EQ(model.cells().at(0).moreActions,
                  (std::vector<Action>{Action::annotate, Action::pin, Action::reveal, Action::remove}));
        // A pinned item offers Unpin instead of Pin.
        EXPECT_TRUE(model.offers("p", Action::unpin));
        EXPECT_FALSE(model.offers("p", Action::pin));
    }
    {
        // Pinning without a way to unpin: a pinned item offers neither.
        CaptureHistoryWindowModel model({.pin = true});
        model.setItems({pinned});
        EXPECT_FALSE(model.offers("p", Action::pin));
        EXPECT_FALSE(model.offers("p", Action::unpin));
    }
}

TEST(HistoryWindowModel, ARemovedItemOffersNothing) {
    CaptureHistoryWindowModel model({});
    model.setItems({item("a")});
    model.setItems({});
    EXPECT_FALSE(model.offers("a", Action::copy));
    EXPECT_TRUE(model.isEmpty());
}

TEST(HistoryWindowModel, ChangesNameWhatMoved) {
    CaptureHistoryWindowModel model({});
    auto first = model.setItems({item("a"), item("b")});
    EXPECT_EQ(first.added, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(first.cellsChanged);

    // The same list again changes nothing.
    auto same = model.setItems({item("a"), item("b")});
    EXPECT_FALSE(same.cellsChanged);
    EXPECT_TRUE(same.added.empty() && same.removed.empty() && same.thumbnailsChanged.empty());

    // A new capture first, "b" gone.
    auto next = model.setItems({item("c"), item("a")});
    EXPECT_EQ(next.added, (std::vector<std::string>{"c"}));
    EXPECT_EQ(next.removed, (std::vector<std::string>{"b"}));
    EXPECT_EQ(model.cells().at(0).item.id, "c");
}

TEST(HistoryWindowModel, AnEditedImageGetsANewThumbnailRevision) {
    CaptureHistoryWindowModel model({});
    model.setItems({item("a"), item("b")});
    const uint64_t before = model.cell("a")->thumbnailRevision;
    const uint64_t other = model.cell("b")->thumbnailRevision;

    auto pinned = item("a");
    pinned.isPinned = true;  // a flag only: the same picture
    auto flag = model.setItems({pinned, item("b")});
    EXPECT_TRUE(flag.cellsChanged);
    EXPECT_TRUE(flag.thumbnailsChanged.empty());
    EXPECT_EQ(model.cell("a")->thumbnailRevision, before);

    auto edited = pinned;
    edited.isAnnotated = true;
    edited.pixelWidth = 80;
    auto edit = model.setItems({edited, item("b")});
    EXPECT_EQ(edit.thumbnailsChanged, (std::vector<std::string>{"a"}));
    EXPECT_NE(model.cell("a")->thumbnailRevision, before);
    EXPECT_EQ(model.cell("b")->thumbnailRevision, other);

    const uint64_t annotated = model.cell("a")->thumbnailRevision;
    model.imageReplaced("a");  // edited again, same size
    EXPECT_NE(model.cell("a")->thumbnailRevision, annotated);
}

TEST(HistoryWindowModel, OneCellPerID) {
    CaptureHistoryWindowModel model({});
    model.setItems({item("a"), item("a"), item("b")});
    ASSERT_EQ(model.cells().size(), 2u);
}

TEST(HistoryWindowModel, ClearAsksOnceAndConfirmsOnlyAnOpenQuestion) {
    CaptureHistoryWindowModel model({});
    EXPECT_FALSE(model.confirmClear()) << "nothing was asked";
    EXPECT_TRUE(model.requestClear());
    EXPECT_FALSE(model.requestClear()) << "the question is already up";
    EXPECT_TRUE(model.isConfirmingClear());
    EXPECT_TRUE(model.confirmClear());
    EXPECT_FALSE(model.confirmClear()) << "one question, one clear";

    EXPECT_TRUE(model.requestClear());
    model.cancelClear();
    EXPECT_FALSE(model.confirmClear());
    EXPECT_TRUE(model.requestClear()) << "asks again after a cancel";
}

}  // namespace
}  // namespace tessarin
