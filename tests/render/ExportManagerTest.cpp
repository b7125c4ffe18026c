#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <regex>

#include "TestImages.h"
#include "core/capture/ExportManager.h"
#include "render/ImageDecoder.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;

// System calls that pass through to the real ones until told to fail.
struct Faults {
    static inline long writeBudget = -1;    // bytes written before writes fail; -1: never
    static inline int writeError = ENOSPC;  // 0: write returns 0 instead of failing
    static inline bool interruptAndShortWrites = false;
    static inline int fsyncError = 0, closeError = 0, renameError = 0, openError = 0;
    static inline int collisions = 0;  // opens that report EEXIST first
    static inline std::vector<std::string> opened;

    static void reset() {
        writeBudget = -1, writeError = ENOSPC, interruptAndShortWrites = false, collisions = 0;
        fsyncError = closeError = renameError = openError = 0;
        opened.clear();
    }
    static int fail(int error) {
        errno = error;
        return -1;
    }
    static int open(const char* path, int flags, mode_t mode) {
        if (flags & O_DIRECTORY) return ::open(path, flags, mode);
        opened.push_back(fs::path(path).filename().string());
        if (collisions > 0) return --collisions, fail(EEXIST);
        return openError ? fail(openError) : ::open(path, flags, mode);
    }
    static ssize_t write(int fd, const void* buffer, size_t count) {
        static bool interrupt = false;
        if (interruptAndShortWrites && (interrupt = !interrupt)) return fail(EINTR);
        if (interruptAndShortWrites) count = std::min<size_t>(count, 7);
        if (writeBudget == 0) return writeError ? fail(writeError) : 0;
        if (writeBudget > 0) writeBudget -= long(count = std::min<size_t>(count, size_t(writeBudget)));
        return ::write(fd, buffer, count);
    }
    static FileSystemCalls calls() {
        return {open, write, [](int fd) { return fsyncError ? fail(fsyncError) : ::fsync(fd); },
                [](int fd) { return ::close(fd) != 0 ? -1 : closeError ? fail(closeError) : 0; },
                [](const char* from, const char* to) { return renameError ? fail(renameError) : ::rename(from, to); }};
    }
};

class ExportManagerTest : public testing::Test {
protected:
    void SetUp() override { Faults::reset(); }

    fs::path target() const { return folder.path() / "shot.png"; }
    void write(const Image& picture, const fs::path& path, ImageFormat format = ImageFormat::png()) {
        ExportManager::writeImage(picture, path, format, Faults::calls());
    }
    ExportError failure(const Image& picture, const fs::path& path) {
        try {
            write(picture, path);
        } catch (const ExportError& error) {
            return error;
        }
        ADD_FAILURE() << "no error";
        return ExportError::failedToWriteImage();
    }

    test::TemporaryFolder folder;
    const Image image = test::noiseImage(120, 90, 1);
};

TEST_F(ExportManagerTest, WritesPngAndJpegIntoNewFoldersUnderAnyName) {
    const fs::path png = folder.path() / "a" / "b" / "shot.png";
    write(image, png);
    const auto decoded = decodeImageFile(png);
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_TRUE(test::samePixels(*decoded, image));

    write(image, folder.path() / "shot.jpg", ImageFormat::jpeg(0.9));
    EXPECT_TRUE(decodeImageFile(folder.path() / "shot.jpg"));
    const std::string longName = std::string(240, 'x') + ".png";  // its temporary name must be shortened
    write(image, folder.path() / longName);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a", "shot.jpg", longName}));
}

TEST_F(ExportManagerTest, ReplacesAnExistingFileWithDefaultPermissions) {
    test::writeFile(target(), {1, 2, 3});
    const mode_t previous = umask(022);
    write(image, target());
    umask(previous);
    EXPECT_TRUE(test::samePixels(*decodeImageFile(target()), image));
    struct stat info {};
    ASSERT_EQ(stat(target().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"shot.png"});
}

TEST_F(ExportManagerTest, EveryFailureLeavesTheOldFileAndNoTemporary) {
    const struct {
        const char* name;
        void (*arrange)();
        int error;
    } cases[] = {
        {"disk full at once", [] { Faults::writeBudget = 0; }, ENOSPC},
        {"disk full midway", [] { Faults::writeBudget = 1000; }, ENOSPC},
        {"I/O error midway", [] { Faults::writeBudget = 50, Faults::writeError = EIO; }, EIO},
        {"write makes no progress", [] { Faults::writeBudget = 100, Faults::writeError = 0; }, ENOSPC},
        {"fsync fails", [] { Faults::fsyncError = EIO; }, EIO},
        {"close fails", [] { Faults::closeError = EDQUOT; }, EDQUOT},
        {"rename fails", [] { Faults::renameError = EXDEV; }, EXDEV},
        {"cannot create", [] { Faults::openError = EACCES; }, EACCES},
    };
    const std::vector<uint8_t> old = {9, 8, 7, 6};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Faults::reset();
        test::writeFile(target(), old);
        c.arrange();
        const ExportError error = failure(image, target());
        EXPECT_EQ(error.kind(), ExportError::Kind::fileSystem);
        EXPECT_EQ(error.errorNumber(), c.error);
        EXPECT_EQ(error.description(), "Cannot write " + target().string() + ": " + std::strerror(c.error));
        EXPECT_EQ(test::readFile(target()), old);
        EXPECT_EQ(folder.entries(), std::vector<std::string>{"shot.png"});
    }
}

TEST_F(ExportManagerTest, InterruptedAndShortWritesAreResumed) {
    Faults::interruptAndShortWrites = true;
    write(image, target());
    EXPECT_TRUE(test::samePixels(*decodeImageFile(target()), image));
}

TEST_F(ExportManagerTest, TemporaryNamesAreHiddenRandomAndRetriedOnCollision) {
    Faults::collisions = 3;
    write(image, target());
    ASSERT_EQ(Faults::opened.size(), 4u);
    const std::regex pattern(R"(\.shot\.png\.tmp-[A-Za-z0-9]{6})");
    for (const auto& name : Faults::opened) EXPECT_TRUE(std::regex_match(name, pattern)) << name;
    EXPECT_NE(Faults::opened[0], Faults::opened[1]);

    Faults::collisions = 1000;
    EXPECT_EQ(failure(image, target()).errorNumber(), EEXIST);
}

TEST_F(ExportManagerTest, ASymbolicLinkAtTheTargetIsReplacedNotFollowed) {
    const fs::path elsewhere = folder.path() / "elsewhere.txt";
    test::writeFile(elsewhere, {'k', 'e', 'e', 'p'});
    fs::create_symlink(elsewhere, target());
    write(image, target());
    EXPECT_FALSE(fs::is_symlink(target()));
    EXPECT_EQ(test::readFile(elsewhere), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
}

TEST_F(ExportManagerTest, FolderProblemsAreClearSentences) {
    fs::create_directory(target());
    EXPECT_EQ(failure(image, target()).errorNumber(), EISDIR);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"shot.png"});

    test::writeFile(folder.path() / "file", {1});
    const ExportError error = failure(image, folder.path() / "file" / "shot.png");
    EXPECT_EQ(error.description().rfind("Cannot create folder " + (folder.path() / "file").string() + ": ", 0), 0u)
        << error.description();
}

TEST_F(ExportManagerTest, ImagesThatCannotBeEncodedUseTheFixedMessages) {
    const ExportError error = failure(Image{}, target());
    EXPECT_EQ(error.kind(), ExportError::Kind::cannotCreateImageFile);
    EXPECT_EQ(error.description(), "Cannot create image file");
    EXPECT_STREQ(error.what(), "Cannot create image file");
    EXPECT_EQ(ExportError::failedToWriteImage().description(), "Failed to write image");
    EXPECT_EQ(ExportError::cannotLocateDesktop().description(), "Cannot locate Desktop directory");
    EXPECT_TRUE(folder.entries().empty());
}

}  // namespace
}  // namespace tessarin
