// doctor, version and help.

#include "core/cli/BuildIdentity.h"
#include "core/cli/CLIError.h"
#include "core/cli/Commands.h"
#include "core/common/AppInfo.h"

namespace tessarin::Commands {
namespace {

std::string versionString() {
    return std::string("tessarin ") + AppInfo::shortVersion + " (" + AppInfo::buildNumber + ")";
}

}  // namespace

int runDoctor(TessarinCLI& cli, const CLIArguments&) {
    const AccessStatus screen = cli.capture.screenCaptureAccess();
    const AccessStatus input = cli.capture.syntheticInputAccess();
    auto& out = cli.out;
    out << "tessarin doctor\n";
    out << "  screen recording (X11): " << (screen.granted ? "granted ✓" : "NOT granted ✗") << '\n';
    out << "  accessibility (XTEST):  " << (input.granted ? "granted ✓" : "not granted (optional)") << '\n';
    out << "  app id:                 " << AppInfo::appId << '\n';
    out << "  binary:                 " << (cli.programPath.empty() ? "unknown" : cli.programPath) << '\n';
    out << "  signing:                "
        << BuildIdentity::signingDescription(AppInfo::buildType, BuildIdentity::buildID()) << '\n';
    if (screen.granted) return 0;
    out << "  → capture-* needs an X display. Set DISPLAY to a running X server\n";
    out << "    (or run under Xvfb); Wayland sessions need the portal back end (coming later).\n";
    return 1;
}

int runVersion(TessarinCLI& cli, const CLIArguments&) {
    cli.out << versionString() << '\n';
    return 0;
}

int runHelp(TessarinCLI& cli, const CLIArguments&) {
    cli.out << TessarinCLI::usageText() << '\n';
    return 0;
}


}  // namespace tessarin::Commands
