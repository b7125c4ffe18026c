// File names, exclusive unique names, the Desktop folder, drag files, the clipboard and the image actions.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <latch>
#include <regex>
#include <set>
#include <thread>

#include "core/capture/BackgroundImageWriter.h"
#include "core/capture/CapturedImageActions.h"
#include "core/common/EventLoop.h"
#include "core/common/Localization.h"
#include "core/common/ThreadPool.h"
#include "render/ImageDecoder.h"
#include "render/TestImages.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

// 2025-03-07 14:05:09 in the test's time zone (UTC).
system_clock::time_point march7() { return system_clock::from_time_t(1741356309); }

// An environment holding only HOME.
ExportManager::EnvironmentLookup homeAt(std::string home) {
    return [home = std::move(home)](const char* name) { return std::string_view(name) == "HOME" ? home.c_str() : nullptr; };
}

class CaptureOutput : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    template <class T, class Start>
    T await(Start start) {
        return runAsyncOnMain<T>(loop, [&](Completion<T> done) { start(std::move(done)); });
    }

    testing::TempDir folder;
    EventLoop loop;
    ThreadPool pool{2};
    BackgroundImageWriter writer{pool, loop};
    SharedImage image = std::make_shared<const Image>(test::noiseImage(64, 48, 3));
};

TEST_F(CaptureOutput, FileNamesFollowTheLocalisedWordAndDatePattern) {
    EXPECT_EQ(ExportManager::generateFilename(ImageFormat::png(), march7()), "Screenshot 2025-03-07 at 14.05.09.png");
    auto english = setLocalizationTable({{"Screenshot", "Bildschirmfoto"}, {"yyyy-MM-dd 'at' HH.mm.ss", "dd.MM.yy 'um' H.mm 'Uhr'''"}});
    EXPECT_EQ(ExportManager::generateFilename(ImageFormat::png(), march7()), "Bildschirmfoto 07.03.25 um 14.05 Uhr'.png");
    setLocalizationTable(std::move(english));
}

TEST_F(CaptureOutput, UniqueNamesAreClaimedExclusivelyEvenWhenSavesRace) {
    const auto name = [&](const std::string& file) { return ExportManager::uniqueURL(file, folder.path()).filename().string(); };
    const std::string generated = ExportManager::generateFilename(ImageFormat::png(), march7());
    for (const auto& [file, expected] : std::vector<std::pair<std::string, std::string>>{
             {"shot.png", "shot.png"}, {"shot.png", "shot (2).png"}, {"shot.png", "shot (3).png"},
             {generated, generated}, {generated, "Screenshot 2025-03-07 at 14.05.09 (2).png"}, {"README", "README"},
             {"README", "README (2)"}})
        EXPECT_EQ(name(file), expected);

    // Threads released at once claim the same name: each claim is a file of its own.
    for (int round = 0; round < 20; ++round) {
        std::vector<std::string> claimed(16);
        std::latch start(16);
        std::vector<std::jthread> threads;
        for (auto& slot : claimed) threads.emplace_back([&] {
            start.arrive_and_wait();
            slot = name("race.png");
        });
        threads.clear();
        ASSERT_EQ(std::set<std::string>(claimed.begin(), claimed.end()).size(), claimed.size()) << "round " << round;
    }

    chmod(folder.path().c_str(), 0500);
    if (access(folder.path().c_str(), W_OK) != 0) {  // root writes anyway
        EXPECT_THROW(name("other.png"), ExportError);
    }
    chmod(folder.path().c_str(), 0700);
}

TEST_F(CaptureOutput, DesktopIsTheXdgDesktopFolderCreatedWhenMissing) {
    const std::string home = (folder / "home").string();
    const struct {
        const char* userDirs;  // nullptr: no file
        fs::path expected;
    } cases[] = {
        {nullptr, fs::path(home) / "Desktop"},
        {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n", fs::path(home) / "Schreibtisch"},
        {"XDG_DESKTOP_DIR = \"" "/ABS/Bureau\"\n", folder / "ABS/Bureau"},
        {"XDG_DESKTOP_DIR=\"$HOME\"\n", fs::path(home)},
        {"XDG_DESKTOP_DIR=\"relative/path\"\nXDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n", fs::path(home) / "Desktop"},
    };
    for (const auto& c : cases) {
        fs::remove_all(folder / "home");
        fs::remove_all(folder / "ABS");
        fs::create_directories(folder / "home/.config");
        if (c.userDirs) {
            std::string text = c.userDirs;
            if (const auto at = text.find("/ABS"); at != std::string::npos) text.insert(at, folder.path().string());
            std::ofstream(folder / "home/.config/user-dirs.dirs") << text;
        }
        EXPECT_EQ(ExportManager::desktopDirectory(homeAt(home)), c.expected) << (c.userDirs ? c.userDirs : "none");
        EXPECT_TRUE(fs::is_directory(c.expected));
    }
    for (const char* badHome : {"", "relative"}) {
        EXPECT_THAT([&] { ExportManager::desktopDirectory(homeAt(badHome)); },
                    ::testing::Throws<ExportError>(::testing::Property(&ExportError::description,
                                                                        "Cannot locate Desktop directory")))
            << badHome;
    }
}

TEST_F(CaptureOutput, SavingTwiceInOneSecondKeepsBothFilesAndJpegIsJpeg) {
    fs::create_directories(folder / "Desktop");
    std::vector<fs::path> saved;
    for (const ImageFormat format : {ImageFormat::png(), ImageFormat::png(), ImageFormat::jpeg()}) {
        const auto result = await<PathResult>([&](auto done) {
            writer.saveToDefaultLocation(image, format, std::move(done), homeAt(folder.path()));
        });
        ASSERT_TRUE(result) << result.error().description();
        EXPECT_EQ(result->parent_path(), folder / "Desktop");
        saved.push_back(*result);
    }
    EXPECT_NE(saved[0], saved[1]);
    EXPECT_TRUE(test::samePixels(*decodeImageFile(saved[0]), *image));
    const auto jpeg = decodeImageFile(saved[2]);
    EXPECT_TRUE(saved[2].extension() == ".jpg" && jpeg && jpeg->width() == 64u);
}

TEST_F(CaptureOutput, DragFilesAreFreshNamesAndOldOnesAreSweptAfterADay) {
    const fs::path drags = ExportManager::temporaryDragDirectory(folder.path());
    EXPECT_EQ((fs::status(drags).permissions() & fs::perms::all), fs::perms::owner_all);
    const auto age = [&](const char* name, int hours) {
        std::ofstream(drags / name) << "x";
        const time_t stamp = system_clock::to_time_t(march7() - std::chrono::hours(hours));
        const utimbuf times{stamp, stamp};
        utime((drags / name).c_str(), &times);
    };
    age("old.png", 25);
    age("recent.png", 23);
    const fs::path next = ExportManager::prepareTemporaryDragImageURL(ImageFormat::jpeg(), folder.path(), march7());
    EXPECT_FALSE(fs::exists(drags / "old.png"));
    EXPECT_TRUE(fs::exists(drags / "recent.png"));
    EXPECT_TRUE(std::regex_match(next.filename().string(), std::regex(R"(Screenshot 2025-03-07 at 14\.05\.09 [0-9A-F]{8}\.jpg)")))
        << next;

    const auto written = await<PathResult>([&](auto done) {
        writer.writeTemporaryDragImageFile(image, ImageFormat::png(), std::move(done), folder.path());
    });
    EXPECT_TRUE(written && test::samePixels(*decodeImageFile(*written), *image));

    // A folder planted by someone else (here: a link) or one others may write into is not used.
    fs::remove_all(drags);
    fs::create_symlink(folder.path(), drags);
    EXPECT_THROW(ExportManager::temporaryDragDirectory(folder.path()), ExportError);
    fs::remove(drags);
    fs::create_directory(drags);
    fs::permissions(drags, fs::perms::owner_all | fs::perms::group_write);
    EXPECT_THROW(ExportManager::temporaryDragDirectory(folder.path()), ExportError);
}

TEST_F(CaptureOutput, ClipboardGetsPngAndTiffOrTheImageWhenNeitherEncodes) {
    MemoryPasteboard pasteboard;
    const auto copy = [&](BackgroundImageEncoder&& encoder) {
        return await<bool>([&](Completion<bool> done) { ExportManager::copyToClipboard(image, pasteboard, encoder, std::move(done)); });
    };
    EXPECT_TRUE(copy(BackgroundImageEncoder(pool, loop)));
    ASSERT_EQ(pasteboard.representations.size(), 2u);
    EXPECT_EQ(pasteboard.representations[0].mimeType, "image/png");
    EXPECT_TRUE(test::samePixels(*decodeImage(pasteboard.representations[0].bytes), *image));
    const auto& tiff = pasteboard.representations[1];
    ASSERT_EQ(tiff.mimeType + " " + std::to_string(tiff.bytes.size()),
              "image/tiff " + std::to_string(154 + image->byteCount()));
    EXPECT_EQ(std::vector<uint8_t>(tiff.bytes.begin(), tiff.bytes.begin() + 4), (std::vector<uint8_t>{'I', 'I', 42, 0}));
    EXPECT_TRUE(std::equal(tiff.bytes.begin() + 154, tiff.bytes.end(), image->bytes().begin()));

    EXPECT_TRUE(copy(BackgroundImageEncoder(pool, loop, [](const Image&, auto) { return std::optional<std::vector<uint8_t>>(); })));
    EXPECT_TRUE(pasteboard.representations.empty() && pasteboard.image == image);
    pasteboard.refuseWrites = true;
    EXPECT_FALSE(copy(BackgroundImageEncoder(pool, loop)));
}

TEST_F(CaptureOutput, ThumbnailActionsReachTheirServicesAndReportSaveFailures) {
    std::vector<std::string> calls;
    const auto note = [&](std::string call) { calls.push_back(std::move(call)); };
    const auto edited = std::make_shared<const Image>(test::noiseImage(8, 8, 9));
    const auto actions = CapturedImageActions::thumbnailActions(
        image, ImageFormat::jpeg(),
        CapturedImageActions::AnnotationRoute::mergingIntoCaptureHistory(
            CaptureSessionInfo{"AB12CD34", CaptureMode::area},
            [&](SharedImage opened, auto finish) { note(opened == image ? "editor" : "editor?"), finish(edited); },
            [&](SharedImage result) { note(result == edited ? "store" : "store?"); },
            [&](SharedImage result) { note(result == edited ? "thumbnail" : "thumbnail?"); }),
        {[&](SharedImage, Completion<bool> done) { note("copy"), done(true); },
         [&](SharedImage, ImageFormat format, Completion<PathResult> done) {
             note("save " + std::string(format.fileExtension())), done(unexpected(ExportError::cannotLocateDesktop()));
         },
         [&](const std::string& message) { note("failure: " + message); }, [&](SharedImage) { note("text"); }});
    actions.copy([&](bool copied) { note(copied ? "copied" : "not copied"); });
    actions.save(), actions.annotate(), actions.extractText();
    EXPECT_EQ(calls, (std::vector<std::string>{"copy", "copied", "save jpg", "failure: Cannot locate Desktop directory",
                                               "editor", "store", "thumbnail", "text"}));
}

}  // namespace
}  // namespace tessarin
