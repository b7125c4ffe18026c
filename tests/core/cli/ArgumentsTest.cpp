#include <gtest/gtest.h>

#include "core/cli/CLIArguments.h"
#include "core/cli/CLIError.h"
#include "core/cli/CaptureCommandSupport.h"

namespace tessarin {
namespace {

CLIArguments parse(std::vector<std::string> args) { return CLIArguments(args); }

TEST(CLIArguments, ValuesSwitchesAndEquals) {
    const auto args = parse({"capture-full", "--out=a=b.png", "--empty=", "--shapes", "-", "--a", "--b", "x"});
    EXPECT_EQ(args.command(), "capture-full");
    EXPECT_EQ(args.values().at("out"), "a=b.png");
    EXPECT_EQ(args.values().at("empty"), "");
    EXPECT_EQ(args.values().at("shapes"), "-");
    EXPECT_TRUE(args.switches().contains("a"));  // followed by another flag
    EXPECT_EQ(args.values().at("b"), "x");
}

TEST(CLIArguments, PositionalWordsAreSkippedAndLastValueWins) {
    const auto args = parse({"capture-full", "stray", "--out", "1.png", "word", "--out", "2.png", "-5"});
    EXPECT_EQ(args.values().at("out"), "2.png");
    EXPECT_EQ(args.values().size(), 1u);
    EXPECT_TRUE(args.ignoredFlags() == std::vector<std::string>{"out"});
}

TEST(CLIArguments, EmptyArgumentsHaveEmptyCommand) {
    EXPECT_EQ(parse({}).command(), "");
}

TEST(CLIArguments, FlagReadsSwitchesAndFalseWords) {
    const auto args = parse({"x", "--a", "false", "--b=0", "--c", "yes", "--d=FALSE", "--e", "--f=No"});
    EXPECT_FALSE(args.flag("a"));
    EXPECT_FALSE(args.flag("b"));
    EXPECT_TRUE(args.flag("c"));
    EXPECT_FALSE(args.flag("d"));
    EXPECT_TRUE(args.flag("e"));
    EXPECT_FALSE(args.flag("f"));
    EXPECT_FALSE(args.flag("absent"));
}

TEST(CLIArguments, StrictIntegers) {
    EXPECT_EQ(parseStrictInteger("+2"), 2);
    EXPECT_EQ(parseStrictInteger("-17"), -17);
    EXPECT_EQ(parseStrictInteger("007"), 7);
    EXPECT_EQ(parseStrictInteger("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(parseStrictInteger("-9223372036854775808"), INT64_MIN);
    for (const char* bad : {"2.0", " 2", "2 ", "", "+", "-", "12345678901234567890", "9223372036854775808", "0x10",
                            "1e3", "--1", "+-1", "٣"}) {
        EXPECT_FALSE(parseStrictInteger(bad)) << bad;
    }
}

TEST(CLIArguments, IgnoredFlagsAreWhatNobodyRead) {
    const auto args = parse({"x", "--zeta", "1", "--alpha", "--out", "o"});
    (void)args.value("out");
    EXPECT_EQ(args.ignoredFlags(), (std::vector<std::string>{"alpha", "zeta"}));
    const CLIArguments copy = args;  // copies share one record of what was read
    (void)copy.flag("alpha");
    EXPECT_EQ(args.ignoredFlags(), (std::vector<std::string>{"zeta"}));
}

TEST(RectArgument, AcceptsSpacesEmptyAndUnparseablePieces) {
    using CaptureCommandSupport::parseRect;
    const auto r = parseRect("10, 20,\t300 ,200");
    EXPECT_EQ(r.x, 10);
    EXPECT_EQ(r.height, 200);
    EXPECT_EQ(parseRect("10,,20,300,200").y, 20);
    EXPECT_EQ(parseRect("10,20,300,200,abc").width, 300);
    EXPECT_EQ(parseRect("+1.5,-2e1,0x10,4").y, -20);
    EXPECT_EQ(parseRect("+1.5,-2e1,0x10,4").width, 16);
}

TEST(RectArgument, RejectsWrongCountsAndNonFiniteNumbers) {
    using CaptureCommandSupport::parseRect;
    for (const char* bad : {"10,20,300", "10,20,abc,200", "", ",,,,", "nan,0,10,10", "0,0,inf,10", "0,0,10,-infinity",
                            "1e999,0,10,10", "10,20,300,200,NaN"}) {
        try {
            parseRect(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const CLIError& e) {
            EXPECT_EQ(e.description(), "--rect must be x,y,w,h (top-left image pixels)") << bad;
        }
    }
}

}  // namespace
}  // namespace tessarin
