// Writes the manual page or a shell's completion script, generated from the
// program's own tables, to a file: the build runs it so that what is
// installed cannot drift from the usage text.
//   tessarin-reference man|bash|zsh|fish <output file>

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "app/reference/ManualPage.h"
#include "app/reference/ShellCompletions.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: tessarin-reference man|bash|zsh|fish <output file>\n", stderr);
        return 64;
    }
    const std::string_view kind = argv[1];
    const tessarin::ReferenceFacts facts = tessarin::currentReferenceFacts();
    std::string text;
    if (kind == "man") {
        text = tessarin::manualPage(facts);
    } else if (kind == "bash") {
        text = tessarin::bashCompletion(facts);
    } else if (kind == "zsh") {
        text = tessarin::zshCompletion(facts);
    } else if (kind == "fish") {
        text = tessarin::fishCompletion(facts);
    } else {
        std::fprintf(stderr, "tessarin-reference: unknown kind \"%s\" (expected man, bash, zsh or fish)\n", argv[1]);
        return 64;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "tessarin-reference: could not write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
