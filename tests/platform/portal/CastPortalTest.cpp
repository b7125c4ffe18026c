// The ScreenCast portal's answers read without a session: streams from
// Start's results, which stream shows a display, the errors a person sees,
// and the restore token's file.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "platform/portal/CastRegionStreams.h"
#include "platform/portal/PortalRemoteDesktop.h"
#include "platform/portal/PortalWindowPick.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

namespace tessarin::portal {
namespace {

GVariantPtr startResults(const char* text) {
    GError* error = nullptr;
    GVariant* parsed = g_variant_parse(G_VARIANT_TYPE_VARDICT, text, nullptr, nullptr, &error);
    if (error) g_error_free(error);
    return ownVariant(parsed);
}

TEST(CastStreams, ReadsNodesWithTheirPlaceInTheLayoutOrNone) {
    auto results = startResults(
        "{'streams': <[(uint32 42, {'position': <(1280, 0)>, 'size': <(640, 360)>, 'source_type': <uint32 1>}),"
        " (uint32 43, {'source_type': <uint32 1>})]>, 'restore_token': <'abc'>}");
    ASSERT_TRUE(results);
    const auto streams = castStreamsOf(results.get());
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].nodeID, 42u);
    EXPECT_EQ(streams[0].logicalRect, (PixelRect{1280, 0, 640, 360}));
    EXPECT_EQ(streams[1].nodeID, 43u);
    EXPECT_FALSE(streams[1].logicalRect);
    // None when the results hold none or the wrong type.
    EXPECT_TRUE(castStreamsOf(nullptr).empty());
    EXPECT_TRUE(castStreamsOf(startResults("{'restore_token': <'abc'>}").get()).empty());
    EXPECT_TRUE(castStreamsOf(startResults("{'streams': <'not a list'>}").get()).empty());
    const auto noSize = castStreamsOf(startResults("{'streams': <[(uint32 7, {'size': <(0, 10)>})]>}").get());
    ASSERT_EQ(noSize.size(), 1u);
    EXPECT_FALSE(noSize[0].logicalRect) << "an empty size says nothing";
}

TEST(CastStreamFor, PicksTheStreamAtTheDisplaysPlace) {
    const std::vector<CastStream> two = {{1, PixelRect{0, 0, 1280, 720}}, {2, PixelRect{1280, 0, 640, 360}}};
    const std::vector<CastStream> unplaced = {{9, std::nullopt}};
    const struct {
        const std::vector<CastStream>* streams;
        std::optional<PixelRect> display;
        std::optional<uint32_t> node;
    } cases[] = {
        {&two, PixelRect{1280, 0, 640, 360}, 2u},
        {&two, PixelRect{0, 0, 1280, 720}, 1u},
        {&two, std::nullopt, 1u},                   // nothing known: the first
        {&two, PixelRect{1920, 0, 100, 100}, std::nullopt},
        {&unplaced, PixelRect{1280, 0, 640, 360}, 9u},  // the only one, placed nowhere
    };
    for (const auto& c : cases) {
        const auto stream = castStreamFor(*c.streams, c.display);
        EXPECT_EQ(stream ? std::optional<uint32_t>(stream->nodeID) : std::nullopt, c.node);
    }
    EXPECT_FALSE(castStreamFor({}, std::nullopt));
}

TEST(CastCaptureError, ARefusalOrCancelIsThePermissionError) {
    const struct {
        PortalError::Kind kind;
        std::string description;
    } cases[] = {
        {PortalError::Kind::denied, "Screen recording permission denied"},
        {PortalError::Kind::cancelled, "Screen recording permission denied"},
        {PortalError::Kind::missingPortal, "Capture failed: why"},
        {PortalError::Kind::failed, "Capture failed: why"},
    };
    for (const auto& c : cases) EXPECT_EQ(castCaptureError({c.kind, "why"}).description(), c.description);
}

TEST(WindowPickFailure, ClosingTheChooserPicksNothingAndOtherFailuresAreErrors) {
    const auto closed = windowPickFailure({PortalError::Kind::cancelled, "closed"});
    ASSERT_TRUE(closed);
    EXPECT_FALSE(closed->has_value());
    for (const auto kind : {PortalError::Kind::denied, PortalError::Kind::missingPortal, PortalError::Kind::timedOut}) {
        EXPECT_FALSE(windowPickFailure({kind, "why"})) << int(kind);
    }
    EXPECT_EQ(windowPickFailure({PortalError::Kind::denied, "why"}).error().description(),
              "Screen recording permission denied");
}

TEST(WindowPickFrame, BlueGreenRedBecomesOpaqueRgbaAndAShortFrameIsNone) {
    RegionFrame frame;
    frame.width = 2;
    frame.height = 1;
    frame.bytesPerRow = 12;  // padded rows are read by their stride
    frame.bytes = {10, 20, 30, 0, 40, 50, 60, 7, 99, 99, 99, 99};
    const auto image = opaqueImageOfFrame(frame);
    ASSERT_TRUE(image);
    EXPECT_EQ(std::vector<uint8_t>(image->row(0), image->row(0) + 8),
              (std::vector<uint8_t>{30, 20, 10, 255, 60, 50, 40, 255}));
    frame.bytes.resize(4);
    EXPECT_FALSE(opaqueImageOfFrame(frame));
}

// Kept for the user alone in the data folder; only plausible tokens are
// saved or read back.
TEST(CastRestoreToken, SavesLoadsAndForgetsOnlyPlausibleTokens) {
    testing::TempDir folder;
    testing::ScopedEnvironment data("XDG_DATA_HOME", folder.path().string());
    const auto tokens = CastRestoreTokenFile::inDataHome();
    ASSERT_TRUE(tokens);
    EXPECT_EQ(tokens->file(), folder.path() / "io.tessarin.Tessarin" / "screencast-restore-token");
    EXPECT_FALSE(tokens->load()) << "nothing stored yet";
    ASSERT_TRUE(tokens->save("6a98e0ba-aee1-47f9-9d37-82df0952766c"));
    EXPECT_EQ(tokens->load(), "6a98e0ba-aee1-47f9-9d37-82df0952766c");
    struct stat info {};
    ASSERT_EQ(::stat(tokens->file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "only the user may read it";
    for (const std::string& bad : {std::string(), std::string("two words"), std::string("line\nbreak"), std::string(300, 'a')}) {
        EXPECT_FALSE(tokens->save(bad)) << bad;
    }
    EXPECT_EQ(tokens->load(), "6a98e0ba-aee1-47f9-9d37-82df0952766c") << "a refused save keeps the token";
    tokens->forget();
    EXPECT_FALSE(tokens->load());
    tokens->forget();  // twice is fine
    std::ofstream(tokens->file()) << "\x01\x02 binary junk";
    EXPECT_FALSE(tokens->load());

    testing::ScopedEnvironment noData("XDG_DATA_HOME", std::nullopt);
    testing::ScopedEnvironment noHome("HOME", std::nullopt);
    EXPECT_FALSE(CastRestoreTokenFile::inDataHome()) << "no folder to keep it in";
}

TEST(RemoteDesktopInput, WheelStepsRunOppositeToOurLines) {
    const struct {
        int32_t lines;
        int32_t steps;
    } cases[] = {{-3, 3}, {1, -1}, {0, 0}, {INT32_MAX, -INT32_MAX}, {INT32_MIN, INT32_MAX}};
    for (const auto& c : cases) EXPECT_EQ(discreteAxisSteps(c.lines), c.steps) << c.lines;
}

TEST(RemoteDesktopInput, PlacesLayoutPointsInTheStreamThatHoldsThem) {
    const std::vector<CastStream> two = {{1, PixelRect{0, 0, 1280, 720}}, {2, PixelRect{1280, 0, 640, 360}}};
    const struct {
        Point layout;
        std::optional<uint32_t> node;
        Point inStream;
    } cases[] = {
        {{10, 20}, 1u, {10, 20}},
        {{1279.5, 719}, 1u, {1279.5, 719}},
        {{1280, 0}, 2u, {0, 0}},
        {{1500, 100}, 2u, {220, 100}},
        {{1500, 400}, std::nullopt, {}},  // below the small screen
        {{-1, 0}, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        const auto found = streamPointFor(two, c.layout);
        ASSERT_EQ(found ? std::optional<uint32_t>(found->nodeID) : std::nullopt, c.node) << c.layout.x << "," << c.layout.y;
        if (found) {
            EXPECT_EQ(found->position, c.inStream);
        }
    }
    const auto unplaced = streamPointFor({{9, std::nullopt}}, {5, 6});
    ASSERT_TRUE(unplaced);
    EXPECT_EQ(unplaced->position, (Point{5, 6}));
}

}  // namespace
}  // namespace tessarin::portal
