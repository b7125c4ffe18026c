#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>

#include "core/common/Image.h"
#include "core/common/PixelRows.h"

namespace tessarin {
namespace {

TEST(Image, BothAllocatorsRefuseEmptyAndOversizedImagesAndAllowExactlyTheCap) {
    const std::pair<uint32_t, uint32_t> refused[] = {
        {0, 10}, {10, 0}, {100000, 100000}, {16385, 16384},  // one row over 2^28 pixels
        {0xFFFFFFFFu, 0xFFFFFFFFu},                            // would overflow 32-bit arithmetic
    };
    for (const auto& [width, height] : refused) {
        EXPECT_FALSE(Image::allocate(width, height)) << width << "x" << height;
        EXPECT_FALSE(Image::allocateOnDemand(width, height)) << width << "x" << height;
    }
    EXPECT_TRUE(Image::allocateOnDemand(16384, 16384));  // reserves address space only
    auto image = Image::allocate(3, 2);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->stride(), 12u);
    EXPECT_EQ(image->byteCount(), 24u);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // both reserve terabytes of address space
// Out of memory, allocate() says "nothing" as its contract promises; it
// does not throw (which in a background task would end the program).
[[noreturn]] void allocateBeyondTheAddressSpaceLimit() {
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = uint64_t{512} << 20;  // far below 1 GiB of pixels
    if (::setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
    std::_Exit(Image::allocate(16384, 16384) ? 2 : 0);
}

TEST(ImageDeathTest, AllocationWithoutMemoryReturnsNothingInsteadOfThrowing) {
    EXPECT_EXIT(allocateBeyondTheAddressSpaceLimit(), ::testing::ExitedWithCode(0), "");
}
#endif

TEST(Image, CroppedCopiesTheRightPixelsAndRefusesOutOfBounds) {
    auto image = Image::allocate(4, 3);
    for (uint32_t y = 0; y < 3; ++y) {
        for (uint32_t x = 0; x < 4; ++x) image->row(y)[x * 4] = uint8_t(y * 10 + x);
    }
    auto crop = image->cropped(1, 1, 2, 2);
    ASSERT_TRUE(crop);
    EXPECT_EQ(crop->row(0)[0], 11);
    EXPECT_EQ(crop->row(1)[4], 22);
    EXPECT_FALSE(image->cropped(3, 0, 2, 1));
    EXPECT_FALSE(image->cropped(0, 0, 0, 1));
    EXPECT_FALSE(image->cropped(0xFFFFFFFFu, 0, 2, 1));  // no wrap-around
}

TEST(Image, OnDemandAllocationReadsZeroKeepsWritesAndClonesDeeply) {
    auto image = Image::allocateOnDemand(1000, 3000);  // larger than one huge page
    ASSERT_TRUE(image);
    image->prepareRows(2990, 100);  // past the end: clipped
    image->prepareRows(5000, 1);    // outside: ignored
    image->row(2999)[3999] = 7;
    EXPECT_EQ(image->row(0)[0], 0);
    EXPECT_EQ(image->row(2999)[3999], 7);
    image->keepTopRows(10);
    Image moved = std::move(*image);
    EXPECT_EQ(moved.height(), 10u);
    Image copy = moved.clone();
    copy.row(9)[0] = 2;
    EXPECT_EQ(moved.row(9)[0], 0);
    EXPECT_EQ(copy.row(9)[1], 0);
}

TEST(BgrxToRgba, SwapsRedAndBlueAndMakesAlphaOpaque) {
    // Long enough for a vectorised body and a scalar tail.
    constexpr size_t pixels = 37;
    std::vector<uint8_t> source(pixels * 4);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> destination(pixels * 4 + 4, 0xaa);
    bgrxRowToOpaqueRgba(source.data(), destination.data(), pixels);
    for (size_t i = 0; i < pixels; ++i) {
        // The X byte is not alpha.
        const std::vector<uint8_t> expected{source[4 * i + 2], source[4 * i + 1], source[4 * i], 0xff};
        ASSERT_EQ(std::vector<uint8_t>(&destination[4 * i], &destination[4 * i + 4]), expected) << "pixel " << i;
    }
    EXPECT_EQ(destination[pixels * 4], 0xaa);  // nothing past the row
}

}  // namespace
}  // namespace tessarin
