#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "TestImages.h"
#include "core/capture/ExportManager.h"
#include "core/common/PosixFiles.h"
#include "render/ImageDecoder.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;

// The encoder's writes; the commit's own failures are the shared writer's (DurableFileTest).
struct Faults {
    long writeBudget = -1;    // bytes written before writes fail; -1: never
    int writeError = ENOSPC;  // 0: write returns 0 instead of failing
    bool interruptAndShortWrites = false;
    int openError = 0;
} faults;

int fail(int error) { return errno = error, -1; }

const FileSystemCalls calls = {
    .openat = [](int folder, const char* name, int flags, mode_t mode) {
        if (flags & O_DIRECTORY) return ::openat(folder, name, flags, mode);
        return faults.openError ? fail(faults.openError) : ::openat(folder, name, flags, mode);
    },
    .write = [](int fd, const void* buffer, size_t count) -> ssize_t {
        static bool interrupt = false;
        if (faults.interruptAndShortWrites && (interrupt = !interrupt)) return fail(EINTR);
        if (faults.interruptAndShortWrites) count = std::min<size_t>(count, 7);
        if (faults.writeBudget == 0) return faults.writeError ? fail(faults.writeError) : 0;
        if (faults.writeBudget > 0) faults.writeBudget -= long(count = std::min(count, size_t(faults.writeBudget)));
        return ::write(fd, buffer, count);
    },
};

class ExportManagerTest : public ::testing::Test {
protected:
    void SetUp() override { faults = {}; }

    fs::path target() const { return folder / "shot.png"; }
    void write(const fs::path& path, ImageFormat format = ImageFormat::png()) {
        ExportManager::writeImage(image, path, format, calls);
    }
    ExportError failure(const fs::path& path, const Image& picture) {
        try {
            ExportManager::writeImage(picture, path, ImageFormat::png(), calls);
        } catch (const ExportError& error) {
            return error;
        }
        ADD_FAILURE() << "no error";
        return ExportError::failedToWriteImage();
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.path())) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    const testing::TempDir folder;
    const Image image = test::noiseImage(120, 90, 1);
};

TEST_F(ExportManagerTest, WritesPngAndJpegIntoNewFoldersUnderAnyName) {
    write(folder / "a" / "b" / "shot.png");
    const auto decoded = decodeImageFile(folder / "a" / "b" / "shot.png");
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_TRUE(test::samePixels(*decoded, image));
    write(folder / "shot.jpg", ImageFormat::jpeg(0.9));
    EXPECT_TRUE(decodeImageFile(folder / "shot.jpg"));
    const std::string longName = std::string(240, 'x') + ".png";  // its temporary name must be shortened
    write(folder / longName);
    EXPECT_EQ(entries(), (std::vector<std::string>{"a", "shot.jpg", longName}));
}

TEST_F(ExportManagerTest, WritesThroughALinkAtTheTargetKeepingItsModeThroughShortAndInterruptedWrites) {
    test::writeFile(folder / "elsewhere", {'k', 'e', 'e', 'p'});
    fs::permissions(folder / "elsewhere", fs::perms(0600));
    fs::create_symlink(folder / "elsewhere", target());
    faults.interruptAndShortWrites = true;
    const mode_t previous = umask(022);
    write(target());
    write(folder / "new.png");
    umask(previous);
    EXPECT_TRUE(fs::is_symlink(target()));
    EXPECT_TRUE(test::samePixels(*decodeImageFile(folder / "elsewhere"), image));
    EXPECT_EQ(fs::status(folder / "elsewhere").permissions(), fs::perms(0600));  // the file's own mode
    EXPECT_EQ(fs::status(folder / "new.png").permissions(), fs::perms(0644));    // a new file's
    EXPECT_EQ(entries(), (std::vector<std::string>{"elsewhere", "new.png", "shot.png"}));
}

TEST_F(ExportManagerTest, EveryFailureLeavesTheOldFileAndNoTemporary) {
    const struct {
        const char* name;
        Faults faults;
        int error;
    } cases[] = {
        {"disk full midway", {.writeBudget = 1000}, ENOSPC},
        {"I/O error midway", {.writeBudget = 50, .writeError = EIO}, EIO},
        {"write makes no progress", {.writeBudget = 100, .writeError = 0}, ENOSPC},
        {"cannot create", {.openError = EACCES}, EACCES},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        faults = c.faults;
        test::writeFile(target(), {9, 8, 7, 6});
        const ExportError error = failure(target(), image);
        EXPECT_EQ(error.kind(), ExportError::Kind::fileSystem);
        EXPECT_EQ(error.errorNumber(), c.error);
        EXPECT_EQ(error.description(), "Cannot write " + target().string() + ": " + errnoText(c.error));
        EXPECT_EQ(test::readFile(target()), (test::Bytes{9, 8, 7, 6}));
        EXPECT_EQ(entries(), std::vector<std::string>{"shot.png"});
    }
}

// A platform's own PNG goes out byte for byte, with the same guarantees.
TEST_F(ExportManagerTest, EncodedBytesAreWrittenAsTheyAreOrNotAtAll) {
    const test::Bytes png = test::pngOf(image);
    faults.interruptAndShortWrites = true;
    ExportManager::writeResolvedEncoded(png, folder / "new" / "shot.png", "new/shot.png", calls);
    EXPECT_EQ(test::readFile(folder / "new" / "shot.png"), png);

    faults = {.writeBudget = 100};
    test::writeFile(target(), {9, 8, 7, 6});
    try {
        ExportManager::writeResolvedEncoded(png, target(), "shown.png", calls);
        ADD_FAILURE() << "no error";
    } catch (const ExportError& error) {
        EXPECT_EQ(error.description(), "Cannot write shown.png: " + errnoText(ENOSPC));
    }
    EXPECT_EQ(test::readFile(target()), (test::Bytes{9, 8, 7, 6}));
    EXPECT_EQ(entries(), (std::vector<std::string>{"new", "shot.png"}));
}

TEST_F(ExportManagerTest, FolderAndImageProblemsAreClearSentences) {
    fs::create_directory(target());
    EXPECT_EQ(failure(target(), image).errorNumber(), EISDIR);
    EXPECT_EQ(entries(), std::vector<std::string>{"shot.png"});
    test::writeFile(folder / "file", {1});
    const std::string description = failure(folder / "file" / "shot.png", image).description();
    EXPECT_EQ(description.rfind("Cannot create folder " + (folder / "file").string() + ": ", 0), 0u) << description;
    const ExportError error = failure(folder / "empty.png", Image{});
    EXPECT_EQ(error.kind(), ExportError::Kind::cannotCreateImageFile);
    EXPECT_EQ(error.description(), "Cannot create image file");
    EXPECT_EQ(entries(), (std::vector<std::string>{"file", "shot.png"}));
}

}  // namespace
}  // namespace tessarin
