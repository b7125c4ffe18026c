#include <gtest/gtest.h>

#include <array>

#include "core/cli/CLIArguments.h"
#include "core/cli/CLIError.h"
#include "core/cli/CaptureCommandSupport.h"

namespace tessarin {
namespace {

TEST(CLIArguments, ValuesSwitchesEqualsAndTheLastValueWins) {
    // Positional words and negative numbers in flag position are skipped.
    const CLIArguments args({"capture-full", "stray", "--out=a=b.png", "--empty=", "--shapes", "-", "--a", "--b", "x",
                             "word", "--b", "y", "-5"});
    EXPECT_EQ(args.command(), "capture-full");
    EXPECT_EQ(args.values(), (std::map<std::string, std::string>{{"out", "a=b.png"}, {"empty", ""}, {"shapes", "-"},
                                                                 {"b", "y"}}));
    EXPECT_EQ(args.switches(), std::set<std::string>{"a"});  // followed by another flag
    EXPECT_EQ(CLIArguments({}).command(), "");
}

TEST(CLIArguments, FlagReadsSwitchesAndFalseWords) {
    const CLIArguments args({"x", "--a", "false", "--b=0", "--c", "yes", "--d=FALSE", "--e", "--f=No"});
    for (const char* off : {"a", "b", "d", "f", "absent"}) EXPECT_FALSE(args.flag(off)) << off;
    for (const char* on : {"c", "e"}) EXPECT_TRUE(args.flag(on)) << on;
}

TEST(CLIArguments, IgnoredFlagsAreWhatNobodyRead) {
    const CLIArguments args({"x", "--zeta", "1", "--alpha", "--out", "o"});
    (void)args.value("out");
    EXPECT_EQ(args.ignoredFlags(), (std::vector<std::string>{"alpha", "zeta"}));
    const CLIArguments copy = args;  // copies share one record of what was read
    (void)copy.flag("alpha");
    EXPECT_EQ(args.ignoredFlags(), (std::vector<std::string>{"zeta"}));
}

TEST(CLIArguments, StrictIntegers) {
    const std::pair<const char*, int64_t> good[] = {
        {"+2", 2}, {"-17", -17}, {"007", 7}, {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN}};
    for (const auto& [text, value] : good) EXPECT_EQ(parseStrictInteger(text), value) << text;
    for (const char* bad : {"2.0", " 2", "2 ", "", "+", "-", "12345678901234567890", "9223372036854775808", "0x10",
                            "1e3", "--1", "+-1", "٣"}) {
        EXPECT_FALSE(parseStrictInteger(bad)) << bad;
    }
}

TEST(RectArgument, FourFiniteNumbersOrTheFormatError) {
    using Numbers = std::optional<std::array<double, 4>>;
    const std::pair<const char*, Numbers> rows[] = {
        {"10, 20,\t300 ,200", {{10, 20, 300, 200}}}, {"10,,20,300,200", {{10, 20, 300, 200}}},
        {"10,20,300,200,abc", {{10, 20, 300, 200}}}, {"+1.5,-2e1,0x10,4", {{1.5, -20, 16, 4}}},
        {"10,20,300", {}}, {"10,20,abc,200", {}}, {"", {}}, {",,,,", {}}, {"nan,0,10,10", {}}, {"0,0,inf,10", {}},
        {"0,0,10,-infinity", {}}, {"1e999,0,10,10,10", {}}, {"10,20,300,200,NaN", {}}};
    for (const auto& [text, expected] : rows) {
        Numbers parsed;
        try {
            const auto r = CaptureCommandSupport::parseRect(text);
            parsed = {{r.x, r.y, r.width, r.height}};
        } catch (const CLIError& e) {
            EXPECT_EQ(e.description(), "--rect must be x,y,w,h (top-left image pixels)") << text;
        }
        EXPECT_EQ(parsed, expected) << text;
    }
}

}  // namespace
}  // namespace tessarin
