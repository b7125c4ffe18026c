#include "core/cli/Commands.h"
#include "core/cli/TessarinCLI.h"

namespace tessarin {
namespace {

constexpr size_t kNameColumn = 18;

std::vector<TessarinCLI::Subcommand> makeTable() {
    return {
        {"annotate", {}, {"Draw a JSON shape spec onto an image (no permission needed)",
                          "--in <png> --out <png> [--shapes <file>|-]   (- = stdin)"},
         Commands::runAnnotate},
        {"capture-full", {}, {"Capture a display", "--out <png> [--display-id ID | --display N]"},
         Commands::runCaptureFull},
        {"capture-region", {}, {"Capture an explicit region (top-left image pixels)",
                                "--rect x,y,w,h --out <png> [--display-id ID | --display N]"},
         Commands::runCaptureRegion},
        {"capture-previous-region", {}, {"Repeat the last region captured (by the CLI or the app)", "--out <png>"},
         Commands::runCapturePreviousRegion},
        {"capture-window", {}, {"Capture one app window (no picker)", "--app <name> --out <png> [--window <title substring>]"},
         Commands::runCaptureWindow},
        {"list-targets", {}, {"Enumerate on-screen windows + displays as JSON"}, Commands::runListTargets},
        {"capture-scrolling", {}, {"Auto-scroll a region and stitch a tall image",
                                   "--rect x,y,w,h --out <png> [--display-id ID | --display N]",
                                   "[--max-seconds N] [--idle-seconds N] [--no-auto-scroll]"},
         Commands::runCaptureScrolling},
        {"capture-text", {}, {"Extract text (OCR, on-device) from a region, window, or image file",
                              "--in <png> | --rect x,y,w,h [--display-id ID | --display N] | --app <name> [--window <t>]",
                              "[--no-linebreaks] [--out <png>]"},
         Commands::runCaptureText},
        {"doctor", {}, {"Check Screen Recording / Accessibility permission + signing"}, Commands::runDoctor},
        {"version", {"--version"}, {"Print the version"}, Commands::runVersion},
        {"help", {"--help", "-h"}, {"Show this help"}, Commands::runHelp},
    };
}

}  // namespace

const std::vector<std::string>& TessarinCLI::shapeSpecLines() {
    static const std::vector<std::string> lines{
        R"(  { "shapes": [)",
        R"(    {"type":"box","x":N,"y":N,"w":N,"h":N,"color":"#RRGGBB","lineWidth":N,"filled":false},)",
        R"(    {"type":"arrow","from":[x,y],"to":[x,y]},)",
        R"(    {"type":"text","x":N,"y":N,"text":"…","fontSize":N},)",
        R"(    {"type":"number","x":N,"y":N,"n":N},)",
        R"(    {"type":"highlight","x":N,"y":N,"w":N,"h":N},)",
        R"(    {"type":"blur","x":N,"y":N,"w":N,"h":N,"style":"pixelate|secureBlur|smoothBlur|blackOut"})",
        R"(  ] })",
    };
    return lines;
}

const std::vector<TessarinCLI::Subcommand>& TessarinCLI::subcommands() {
    static const std::vector<Subcommand> table = makeTable();
    return table;
}

const TessarinCLI::Subcommand* TessarinCLI::subcommand(std::string_view word) {
    for (const auto& row : subcommands()) {
        if (row.name == word) return &row;
        for (const auto& alias : row.aliases) {
            if (alias == word) return &row;
        }
    }
    return nullptr;
}

bool TessarinCLI::isCommandWord(std::string_view word) { return subcommand(word) != nullptr; }

std::string TessarinCLI::usageText() {
    std::string text =
        "tessarin — capture and annotate Linux screenshots (agent CLI)\n\nUSAGE\n  tessarin <command> [flags]\n\n"
        "COMMANDS\n";
    const std::string indent(20, ' ');
    std::vector<std::string> lines;
    for (const auto& row : subcommands()) {
        if (!row.usageLines.empty() && row.name.size() < kNameColumn) {
            lines.push_back("  " + row.name + std::string(kNameColumn - row.name.size(), ' ') + row.usageLines[0]);
            for (size_t i = 1; i < row.usageLines.size(); ++i) lines.push_back(indent + row.usageLines[i]);
        } else {
            lines.push_back("  " + row.name);
            for (const auto& line : row.usageLines) lines.push_back(indent + line);
        }
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    text += "\n\nANNOTATE SHAPE SPEC (stdin or --shapes file), coordinates are TOP-LEFT image pixels:";
    for (const auto& line : shapeSpecLines()) {
        text += '\n';
        text += line;
    }
    return text;
}

}  // namespace tessarin
