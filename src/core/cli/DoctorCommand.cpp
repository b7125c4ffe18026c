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

// "  label:" padded so every value starts in column 27.
std::string reportLabel(const std::string& label) {
    std::string text = "  " + label + ":";
    text.append(text.size() < 26 ? 26 - text.size() : 1, ' ');
    return text;
}

}  // namespace

int runDoctor(TessarinCLI& cli, const CLIArguments&) {
    const BackendDescription backend = cli.describeBackend ? cli.describeBackend() : BackendDescription{};
    const AccessStatus screen = cli.capture.screenCaptureAccess();
    const AccessStatus input = cli.capture.syntheticInputAccess();
    auto& out = cli.out;
    out << "tessarin doctor\n";
    out << reportLabel(backend.captureLabel) << (screen.granted ? "granted ✓" : "NOT granted ✗") << '\n';
    out << reportLabel(backend.inputLabel) << (input.granted ? "granted ✓" : "not granted (optional)") << '\n';
    out << reportLabel("app id") << AppInfo::appId << '\n';
    out << reportLabel("binary") << (cli.programPath.empty() ? "unknown" : cli.programPath) << '\n';
    out << reportLabel("signing") << BuildIdentity::signingDescription(AppInfo::buildType, BuildIdentity::buildID())
        << '\n';
    for (const auto& detail : backend.details) out << reportLabel(detail.label) << detail.value << '\n';
    for (const auto& hint : backend.hints) out << "  → " << hint << '\n';
    if (screen.granted) return 0;
    for (size_t i = 0; i < backend.noCaptureHint.size(); ++i) {
        out << (i == 0 ? "  → " : "  ") << backend.noCaptureHint[i] << '\n';
    }
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
