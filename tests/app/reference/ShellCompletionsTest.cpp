#include "app/reference/ShellCompletions.h"

#include <gtest/gtest.h>

namespace tessarin {
namespace {

ReferenceFacts sampleFacts() {
    ReferenceFacts facts;
    facts.commands = {
        {"shoot", {}, {"Take one's picture: now", "--out <png> --rect x,y,w,h [--quiet]"}, nullptr},
        {"read", {}, {"Read a file", "--in <file>"}, nullptr},
        {"plain", {}, {"No flags"}, nullptr},
    };
    return facts;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ShellCompletions, BashOffersCommandsThenFlagsAndFilesAfterPathFlags) {
    const std::string script = bashCompletion(sampleFacts());
    EXPECT_TRUE(contains(script, "compgen -W 'shoot read plain' -- \"$cur\""));
    EXPECT_TRUE(contains(script, "        --in|--out)\n            compopt -o filenames"));
    EXPECT_TRUE(contains(script, "        --rect) return ;;\n"));
    EXPECT_TRUE(contains(script, "        shoot) flags='--out --rect --quiet' ;;\n"));
    EXPECT_FALSE(contains(script, "plain) flags"));
    EXPECT_TRUE(contains(script, "complete -F _tessarin tessarin\n"));
}

TEST(ShellCompletions, ZshQuotesSummariesAndEscapesArgumentSpecs) {
    const std::string script = zshCompletion(sampleFacts());
    EXPECT_EQ(script.rfind("#compdef tessarin\n", 0), 0u);
    EXPECT_TRUE(contains(script, "'shoot:Take one'\\''s picture: now'"));
    EXPECT_TRUE(contains(script, "'--out[<png>]:<png>:_files'"));
    EXPECT_TRUE(contains(script, "'--rect[x,y,w,h]:x,y,w,h: '"));
    EXPECT_TRUE(contains(script, "'--quiet' ;;"));
    EXPECT_TRUE(contains(script, "'--in[<file>]:<file>:_files'"));
}

TEST(ShellCompletions, FishGivesEachFlagItsCommandAndValueKind) {
    const std::string script = fishCompletion(sampleFacts());
    EXPECT_TRUE(contains(script, "-n __fish_use_subcommand -a shoot -d 'Take one\\'s picture: now'\n"));
    EXPECT_TRUE(contains(script, "-n '__fish_seen_subcommand_from shoot' -l out -r -F -d '<png>'\n"));
    EXPECT_TRUE(contains(script, "-n '__fish_seen_subcommand_from shoot' -l rect -x -d 'x,y,w,h'\n"));
    EXPECT_TRUE(contains(script, "-n '__fish_seen_subcommand_from shoot' -l quiet\n"));
    EXPECT_TRUE(contains(script, "-n '__fish_seen_subcommand_from read' -l in -r -F -d '<file>'\n"));
}

}  // namespace
}  // namespace tessarin
