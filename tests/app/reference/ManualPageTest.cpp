#include "app/reference/ManualPage.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tessarin {
namespace {

TEST(ManualPage, ProseIsEscapedForRoff) {
    const std::pair<const char*, const char*> cases[] = {
        {"capture-full", "capture\\-full"},
        {"C:\\path", "C:\\epath"},
        {".TH looks like a request", "\\&.TH looks like a request"},
        {"'quoted at the start", "\\&'quoted at the start"},
        {"mid.dle", "mid.dle"},
        {"one\n.two", "one\n\\&.two"},
        {"text \xE2\x80\xA6 more", "text \\[u2026] more"},
        {"\xC3\xA9", "\\[u00E9]"},
        {"bad \xFF byte", "bad \\[uFFFD] byte"},
        {"cut \xE2\x80", "cut \\[uFFFD]\\[uFFFD]"},
        {"", ""},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(roffEscaped(text), expected) << text;
}

ReferenceFacts sampleFacts() {
    ReferenceFacts facts;
    facts.version = "9.8.7";
    facts.commands = {
        {"shoot", {"--shoot"}, {"Take one", "--out <png> [--delay N]"}, nullptr},
        {".hidden", {}, {".Starts with a dot", ".--x"}, nullptr},
        {"bare", {}, {}, nullptr},
    };
    facts.shapeSpecLines = {"{ \"shapes\": [] }"};
    facts.exitStatuses = {{0, "fine"}, {7, "seven"}};
    facts.environment = {{"SAMPLE_VARIABLE", "what it does"}};
    facts.linkCommands = {"open-thing", "close-thing"};
    facts.moduleFolder = "lib/arch/tessarin";
    return facts;
}

// No line of the page starts with a control character unless it is one of
// the requests the page means to make.
TEST(ManualPage, EveryLineIsTextOrAKnownRequest) {
    std::istringstream page(manualPage(sampleFacts()));
    for (std::string line; std::getline(page, line);) {
        if (line.empty() || (line[0] != '.' && line[0] != '\'')) continue;
        const std::string request = line.substr(0, line.find(' '));
        static const char* const known[] = {".TH", ".SH", ".SS", ".TP", ".PP", ".br", ".nf", ".fi",
                                            ".B",  ".I",  ".RI", ".BR", ".nh", ".ad"};
        EXPECT_TRUE(std::find(std::begin(known), std::end(known), request) != std::end(known)) << line;
    }
}

TEST(ManualPage, DocumentsEachCommandFlagStatusVariableAndLink) {
    const std::string page = manualPage(sampleFacts());
    for (const char* expected : {
             ".TH TESSARIN 1 \"\" \"Tessarin 9.8.7\"",
             "\\fBshoot\\fR, \\fB\\-\\-shoot\\fR\nTake one.\n.br\n\\fB\\-\\-out\\fR <png> [\\fB\\-\\-delay\\fR N]\n",
             "\\fB\\-\\-delay\\fR \\fIN\\fR\n",
             "\\fB\\&.hidden\\fR\n\\&.Starts with a dot.\n",
             ".TP\n\\fBbare\\fR\n.SH FLAGS",
             ".SH EXIT STATUS\n.TP\n\\fB0\\fR\nfine\n.TP\n\\fB7\\fR\nseven\n",
             ".TP\n\\fBSAMPLE_VARIABLE\\fR\nwhat it does\n",
             "\\fBopen\\-thing\\fR,\n\\fBclose\\-thing\\fR.\n",
             "\\fBlib/arch/tessarin/\\fR",
             "{ \"shapes\": [] }\n",
         }) {
        EXPECT_NE(page.find(expected), std::string::npos) << expected;
    }
}

TEST(ManualPage, TheRealTablesGiveEveryCommandASection) {
    const ReferenceFacts facts = currentReferenceFacts();
    const std::string page = manualPage(facts);
    for (const auto& command : facts.commands) {
        EXPECT_NE(page.find(".TP\n\\fB" + roffEscaped(command.name) + "\\fR"), std::string::npos) << command.name;
    }
    EXPECT_FALSE(facts.linkCommands.empty());
    EXPECT_FALSE(facts.moduleFolder.empty());
}

}  // namespace
}  // namespace tessarin
