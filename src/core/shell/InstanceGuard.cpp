#include "core/shell/InstanceGuard.h"

#include "core/common/Log.h"
#include "core/common/TessarinLink.h"

namespace tessarin {
namespace {

void logStep(const std::string& message) { logLine(LogLevel::info, LogCategory::app, message); }

std::string_view claimText(SessionBus::Claim claim) {
    switch (claim) {
        case SessionBus::Claim::owned: return "owned";
        case SessionBus::Claim::taken: return "taken";
        case SessionBus::Claim::failed: return "failed";
    }
    return "failed";
}

LaunchDecision run(std::vector<std::string> links) {
    LaunchDecision decision;
    decision.linksToHandle = std::move(links);
    return decision;
}

LaunchDecision forwarded() {
    LaunchDecision decision;
    decision.kind = LaunchDecision::Kind::exit;
    return decision;
}

// Hands the links to whoever owns the name; false when nobody answered.
bool forward(const LaunchRequest& request, SessionBus& bus) {
    const bool answered = bus.forwardLinks(request.links);
    logStep("instance.forward links=" + std::to_string(request.links.size()) +
            " answered=" + (answered ? "true" : "false"));
    return answered;
}

SessionBus::Claim claim(SessionBus& bus, bool replaceExisting) {
    const SessionBus::Claim result = bus.claimName(replaceExisting);
    logStep("instance.claim replace=" + std::string(replaceExisting ? "true" : "false") +
            " result=" + std::string(claimText(result)));
    return result;
}

// A start with links: the running copy handles them, whatever it is doing;
// this process only becomes the application when there is none to ask.
LaunchDecision decideLinkLaunch(const LaunchRequest& request, SessionBus& bus) {
    if (bus.nameOwner() && forward(request, bus)) return forwarded();
    // Nobody, or an owner that did not answer (it may just have quit):
    // claim without replacing anyone, so a copy that is busy stays.
    if (claim(bus, false) == SessionBus::Claim::taken && forward(request, bus)) return forwarded();
    return run(request.links);
}

LaunchDecision decidePlainLaunch(const LaunchRequest& request, SessionBus& bus, std::chrono::milliseconds handover) {
    const auto previousOwner = bus.nameOwner();
    switch (claim(bus, true)) {
        case SessionBus::Claim::owned:
            if (previousOwner) {
                // Its grabs and pending writes must be gone before ours start;
                // after the limit we start anyway and the grabs say what they find.
                const bool gone = bus.waitUntilGone(*previousOwner, handover);
                logStep("instance.handover owner=" + *previousOwner + " gone=" + (gone ? "true" : "false"));
            }
            return run(request.links);
        case SessionBus::Claim::taken: {
            LaunchDecision decision;
            decision.kind = LaunchDecision::Kind::exit;
            decision.exitStatus = 1;
            decision.message = "tessarin: another copy of Tessarin is starting or running and could not be replaced";
            return decision;
        }
        case SessionBus::Claim::failed:
            logStep("instance.unguarded reason=claim_failed");
            return run(request.links);
    }
    return run(request.links);
}

}  // namespace

LaunchRequest classifyLaunch(const std::vector<std::string>& arguments) {
    LaunchRequest request;
    for (const auto& argument : arguments) {
        (isTessarinLink(argument) ? request.links : request.ignoredArguments).push_back(argument);
    }
    return request;
}

LaunchDecision decideLaunch(const LaunchRequest& request, SessionBus& bus, std::chrono::milliseconds handover) {
    if (!request.ignoredArguments.empty()) {
        logStep("instance.ignored_arguments count=" + std::to_string(request.ignoredArguments.size()));
    }
    if (!bus.connected()) {
        logStep("instance.unguarded reason=no_session_bus");
        return run(request.links);
    }
    return request.isLinkLaunch() ? decideLinkLaunch(request, bus) : decidePlainLaunch(request, bus, handover);
}

}  // namespace tessarin
