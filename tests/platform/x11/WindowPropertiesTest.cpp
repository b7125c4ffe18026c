#include <gtest/gtest.h>

#include "platform/x11/WindowProperties.h"

namespace tessarin::x11 {
namespace {

using namespace std::string_view_literals;

TEST(WmClass, InstanceAndClassFromTwoTerminatedStrings) {
    EXPECT_EQ(parseWmClass("xterm\0XTerm\0"sv), (WmClass{"xterm", "XTerm"}));
    EXPECT_EQ(parseWmClass("a\0B\0extra\0"sv), (WmClass{"a", "B"}));
    EXPECT_EQ(parseWmClass("caf\xe9\0Caf\xe9\0"sv), (WmClass{"caf\u00e9", "Caf\u00e9"}));  // Latin-1
}

TEST(WmClass, ToleratesMissingTerminatorsAndMissingClass) {
    EXPECT_EQ(parseWmClass("xterm\0XTerm"sv), (WmClass{"xterm", "XTerm"}));
    EXPECT_EQ(parseWmClass("xterm\0"sv), (WmClass{"xterm", ""}));
    EXPECT_EQ(parseWmClass("xterm"sv), (WmClass{"xterm", ""}));
    EXPECT_EQ(parseWmClass("\0Class\0"sv), (WmClass{"", "Class"}));
    EXPECT_EQ(parseWmClass(""sv), std::nullopt);
}

TEST(TextProperty, Latin1AndUtf8Titles) {
    EXPECT_EQ(decodeTextProperty("Gr\xfc\xdf" "e \xff", false), "Gr\u00fc\u00df" "e \u00ff");
    EXPECT_EQ(decodeTextProperty("\u03a9 \u2014 done", true), "\u03a9 \u2014 done");  // not decoded twice
    EXPECT_EQ(decodeTextProperty("title\0\0"sv, true), "title");  // trailing NULs some clients add
    EXPECT_EQ(trimProcessName("xterm\n"), "xterm");
}

}  // namespace
}  // namespace tessarin::x11
