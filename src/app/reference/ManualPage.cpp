#include "app/reference/ManualPage.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace tessarin {
namespace {

// The code point of the UTF-8 sequence starting at text[index], and its
// length; a malformed byte reads as U+FFFD, one byte long.
std::pair<uint32_t, size_t> codePointAt(std::string_view text, size_t index) {
    const auto lead = static_cast<unsigned char>(text[index]);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || index + length > text.size()) return {0xFFFD, 1};
    uint32_t code = lead & (0x3F >> (length - 1));
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[index + i]);
        if ((next & 0xC0) != 0x80) return {0xFFFD, 1};
        code = (code << 6) | (next & 0x3F);
    }
    return {code, length};
}

std::string glyph(uint32_t code) {
    char name[16];
    std::snprintf(name, sizeof name, "\\[u%04X]", static_cast<unsigned>(code));
    return name;
}

std::string bold(std::string_view text) { return "\\fB" + roffEscaped(text) + "\\fR"; }

// A usage line with its flags in bold and the rest as it stands.
std::string usageLine(std::string_view line) {
    std::string result;
    size_t index = 0;
    while (index < line.size()) {
        if (line.substr(index).starts_with("--")) {
            size_t end = index + 2;
            while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) || line[end] == '-')) ++end;
            result += bold(line.substr(index, end - index));
            index = end;
            continue;
        }
        const size_t next = line.find("--", index);
        const size_t end = next == std::string_view::npos ? line.size() : next;
        result += roffEscaped(line.substr(index, end - index));
        index = end;
    }
    return result;
}

std::string commandHeading(const TessarinCLI::Subcommand& command) {
    std::string heading = bold(command.name);
    for (const auto& alias : command.aliases) heading += ", " + bold(alias);
    return heading;
}

void appendCommands(std::string& page, const ReferenceFacts& facts) {
    page += ".SH COMMANDS\n";
    for (const auto& command : facts.commands) {
        page += ".TP\n" + commandHeading(command) + "\n";
        if (command.usageLines.empty()) continue;
        page += roffEscaped(command.usageLines[0]) + ".\n";
        for (size_t i = 1; i < command.usageLines.size(); ++i) page += ".br\n" + usageLine(command.usageLines[i]) + "\n";
    }
}

void appendFlags(std::string& page, const ReferenceFacts& facts) {
    page += ".SH FLAGS\n"
            "A flag is written \\fB\\-\\-name value\\fR, \\fB\\-\\-name=value\\fR or, for a switch, a bare "
            "\\fB\\-\\-name\\fR. Words that are not flags are ignored. A flag the command does not read is reported "
            "on standard error as a warning, and the command still succeeds.\n";
    for (const auto& command : facts.commands) {
        const auto flags = flagsOf(command);
        if (flags.empty()) continue;
        page += ".TP\n" + bold(command.name) + "\n";
        for (size_t i = 0; i < flags.size(); ++i) {
            if (i > 0) page += ".br\n";
            page += bold(flags[i].name);
            if (!flags[i].valueHint.empty()) page += " \\fI" + roffEscaped(flags[i].valueHint) + "\\fR";
            page += "\n";
        }
    }
}

void appendShapeSpec(std::string& page, const ReferenceFacts& facts) {
    page += ".SS Annotate shape spec\n"
            "Read from the \\fB\\-\\-shapes\\fR file or standard input; coordinates are top-left image pixels.\n"
            ".PP\n.nf\n";
    for (const auto& line : facts.shapeSpecLines) page += roffEscaped(line) + "\n";
    page += ".fi\n";
}

void appendApplication(std::string& page) {
    page += R"(.SH APPLICATION
Started with no arguments, or with a \fBtessarin:\fR link, the program runs the tray application: global
shortcuts (Print captures an area, Shift+Print the full screen), the tray menu, the capture overlay, Quick Access
thumbnails, pinned screenshots, the capture history and the settings window. One copy runs per session: it owns
the name io.tessarin.Tessarin on the session bus, and starting the program again replaces the running copy. A start
with a link hands the link to the running copy and exits; with no copy running, the application starts and handles
the link. Without a display the program says so on standard error and exits with status 1.
)";
}

void appendLinks(std::string& page, const ReferenceFacts& facts) {
    page += ".SH LINKS\nOther programs drive the running application with links of the form "
            "\\fBtessarin://\\fR\\fIcommand\\fR?\\fIquery\\fR, opened by \\fBxdg\\-open\\fR(1), a browser or "
            "\\fBtessarin\\fR \\fIlink\\fR. The commands:\n.PP\n";
    for (size_t i = 0; i < facts.linkCommands.size(); ++i) {
        page += bold(facts.linkCommands[i]) + (i + 1 < facts.linkCommands.size() ? ",\n" : ".\n");
    }
    page += R"(.PP
A region is \fBx\fR, \fBy\fR, \fBwidth\fR and \fBheight\fR in the display's pixels (all four, or none), on
\fBdisplay\-id\fR, the \fBdisplay\fR numbered from 1, or the display under the pointer; \fBaction\fR is
\fBsave\fR, \fBcopy\fR, \fBpin\fR, \fBannotate\fR or \fBocr\fR (\fBlinebreaks=false\fR joins the lines);
\fBself\-timer\fR takes \fBseconds\fR; \fBpin\fR, \fBopen\-annotate\fR and \fBadd\-quick\-access\-overlay\fR take
a \fBfilepath\fR; \fBopen\-settings\fR takes a \fBtab\fR. With "confirmURLSchemeActions" on in the preferences,
the application asks before a link captures, records or reads a file.
)";
}

void appendTable(std::string& page, const std::string& heading, const std::vector<std::pair<std::string, std::string>>& rows) {
    page += ".SH " + heading + "\n";
    for (const auto& [term, text] : rows) page += ".TP\n" + bold(term) + "\n" + roffEscaped(text) + "\n";
}

void appendFiles(std::string& page, const ReferenceFacts& facts) {
    appendTable(page, "FILES",
                {
                    {"$XDG_CONFIG_HOME/io.tessarin.Tessarin/preferences.json",
                     "the preferences, shared by the application and the agent (the previous region)"},
                    {"$XDG_CONFIG_HOME/autostart/io.tessarin.Tessarin.desktop", "present while launching at login is on"},
                    {"$XDG_DATA_HOME/io.tessarin.Tessarin/History/",
                     "the capture history: index.json, images/ and thumbnails/"},
                    {"$XDG_DATA_HOME/io.tessarin.Tessarin/Pins/", "pinned screenshots: index.json, images/ and previews/"},
                    {"$XDG_DATA_HOME/io.tessarin.Tessarin/screencast-restore-token",
                     "on Wayland, the screen-sharing choice the ScreenCast portal remembers; delete it to be asked again"},
                    {"XDG_DESKTOP_DIR (~/Desktop)", "where Save puts captures"},
                    {"$TMPDIR/tessarin-drags-<uid>/", "files dragged out of the application, swept after a day"},
                    {facts.moduleFolder + "/", "the engine modules, under the installation prefix"},
                    {"share/applications/io.tessarin.Tessarin.desktop",
                     "the menu entry, which makes the program the handler of tessarin: links"},
                });
}

}  // namespace

std::string roffEscaped(std::string_view text) {
    std::string result;
    for (size_t index = 0; index < text.size();) {
        const char c = text[index];
        if (static_cast<unsigned char>(c) >= 0x80) {
            const auto [code, length] = codePointAt(text, index);
            result += glyph(code);
            index += length;
            continue;
        }
        const bool startsLine = result.empty() || result.back() == '\n';
        if (startsLine && (c == '.' || c == '\'')) result += "\\&";
        if (c == '\\') {
            result += "\\e";
        } else if (c == '-') {
            result += "\\-";
        } else {
            result += c;
        }
        ++index;
    }
    return result;
}

std::string manualPage(const ReferenceFacts& facts) {
    std::string page = ".TH TESSARIN 1 \"\" \"Tessarin " + roffEscaped(facts.version) + "\" \"User Commands\"\n";
    page += ".nh\n.ad l\n";  // flags and JSON read better unbroken and unjustified
    page += R"(.SH NAME
tessarin \- capture, annotate, scroll-capture, recognise text and record the Linux screen
.SH SYNOPSIS
.B tessarin
.RI [ tessarin://link ]
.br
.B tessarin
.I command
.RI [ flags ]
.SH DESCRIPTION
\fBtessarin\fR is a screenshot, annotation, scrolling-capture, text-recognition and screen-recording tool for the
X11 desktop. Started with no arguments it runs the tray application (see \fBAPPLICATION\fR). Started with a
command word it runs as a command-line agent for scripts: it does the one job, prints its result on standard
output (one JSON line for most commands) and exits with a status. Standard error carries only JSON lines: an
\fB{"error":"..."}\fR object when the command fails, and \fB{"warning":"..."}\fR objects beside a result that
succeeded. A result that cannot be written (a closed pipe, a full disk) is a failure. A failed command writes
nothing to standard output.
)";
    appendCommands(page, facts);
    appendFlags(page, facts);
    appendShapeSpec(page, facts);
    appendApplication(page);
    appendLinks(page, facts);

    std::vector<std::pair<std::string, std::string>> statuses;
    for (const auto& row : facts.exitStatuses) statuses.emplace_back(std::to_string(row.status), row.meaning);
    appendTable(page, "EXIT STATUS", statuses);
    std::vector<std::pair<std::string, std::string>> environment;
    for (const auto& row : facts.environment) environment.emplace_back(row.name, row.effect);
    appendTable(page, "ENVIRONMENT", environment);
    appendFiles(page, facts);
    page += R"(.SH EXAMPLES
.nf
tessarin capture\-full \-\-out shot.png
tessarin capture\-region \-\-rect 10,20,300,200 \-\-out region.jpg
tessarin capture\-text \-\-in shot.png \-\-no\-linebreaks
tessarin annotate \-\-in shot.png \-\-out marked.png \-\-shapes spec.json
xdg\-open 'tessarin://capture\-area?x=10&y=20&width=300&height=200&action=save'
.fi
.SH SEE ALSO
.BR xdg\-open (1)
)";
    return page;
}

}  // namespace tessarin
