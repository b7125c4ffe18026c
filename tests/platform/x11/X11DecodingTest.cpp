// What the server hands over, decoded: pixel rows and window properties.

#include <gtest/gtest.h>

#include <vector>

#include "platform/x11/PixelConversion.h"
#include "platform/x11/WindowProperties.h"

namespace tessarin::x11 {
namespace {

using namespace std::string_view_literals;

TEST(PixelFormat, OnlyLsbFirstTrueColourIn32BitsIsRead) {
    const PixelFormat depth24{24, 32, 32, true, 0xff0000, 0xff00, 0xff};
    EXPECT_EQ(zpixmapStride(1920, depth24), 7680u);
    const std::string prefix = "unsupported X pixel format (depth ";
    const std::pair<PixelFormat, std::optional<std::string>> rows[] = {
        {depth24, std::nullopt},
        {{32, 32, 32, true, 0xff0000, 0xff00, 0xff}, std::nullopt},
        {{16, 16, 32, true, 0xf800, 0x7e0, 0x1f}, "16, 16 bits per pixel): only depth 24 and 32 are read"},
        {{24, 24, 32, true, 0xff0000, 0xff00, 0xff}, "24, 24 bits per pixel): only 32 bits per pixel are read"},
        {{24, 32, 32, false, 0xff0000, 0xff00, 0xff},
         "24, 32 bits per pixel, most significant byte first): only LSBFirst is read"},
        {{24, 32, 32, true, 0xff, 0xff00, 0xff0000},
         "24, 32 bits per pixel): only 8-bit red, green and blue channels in that order are read"},
    };
    for (const auto& [format, reason] : rows) {
        EXPECT_EQ(unsupportedFormatReason(format), reason ? std::optional(prefix + *reason) : std::nullopt);
    }
}

TEST(WmClass, InstanceAndClassFromTerminatedLatin1Strings) {
    const std::pair<std::string_view, std::optional<WmClass>> rows[] = {
        {"xterm\0XTerm\0"sv, WmClass{"xterm", "XTerm"}}, {"a\0B\0extra\0"sv, WmClass{"a", "B"}},
        {"caf\xe9\0Caf\xe9\0"sv, WmClass{"caf\u00e9", "Caf\u00e9"}},
        // Missing terminators or class are tolerated.
        {"xterm\0XTerm"sv, WmClass{"xterm", "XTerm"}}, {"xterm\0"sv, WmClass{"xterm", ""}},
        {"xterm"sv, WmClass{"xterm", ""}}, {"\0Class\0"sv, WmClass{"", "Class"}}, {""sv, std::nullopt},
    };
    for (const auto& [bytes, expected] : rows) EXPECT_EQ(parseWmClass(bytes), expected) << bytes;
}

TEST(TextProperty, Latin1AndUtf8Titles) {
    EXPECT_EQ(decodeTextProperty("Gr\xfc\xdf" "e \xff", false), "Gr\u00fc\u00df" "e \u00ff");
    EXPECT_EQ(decodeTextProperty("\u03a9 \u2014 done", true), "\u03a9 \u2014 done");  // not decoded twice
    EXPECT_EQ(decodeTextProperty("title\0\0"sv, true), "title");  // trailing NULs some clients add
    EXPECT_EQ(trimProcessName("xterm\n"), "xterm");
}

}  // namespace
}  // namespace tessarin::x11
