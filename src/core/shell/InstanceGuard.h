#pragma once
// One running copy per session, decided by the session bus: the copy that
// owns the well-known name is the application.
//
// - A plain start claims the name, replacing the owner: the newest start
//   wins, and the older copy, told it lost the name, quits in order. The new
//   copy then waits (bounded) until the old one has left the bus, so its key
//   grabs are free and its pending writes are done before the new copy
//   loads the stores and grabs the keys.
// - A start whose arguments hold tessarin: links forwards them to the
//   running copy and exits: a link never ends a capture or recording in
//   progress. With no running copy it becomes the application (without
//   replacing anyone) and handles the links itself.
// - Two starts at the same moment: the bus orders the claims, so exactly
//   one copy ends up owning the name and the other quits.
// - No session bus: the application runs unguarded and says so in the log.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tessarin {

inline constexpr std::string_view applicationBusName = "io.tessarin.Tessarin";
inline constexpr std::string_view applicationObjectPath = "/io/tessarin/Tessarin";

struct LaunchRequest {
    std::vector<std::string> links;  // tessarin: links among the arguments, in order
    std::vector<std::string> ignoredArguments;
    bool isLinkLaunch() const { return !links.empty(); }
};

// Arguments after the program name. The scheme compares without regard to
// case ("TESSARIN://…" is a link).
LaunchRequest classifyLaunch(const std::vector<std::string>& arguments);

// The session bus as the guard needs it; the desktop module implements it
// with QtDBus, tests with a fake.
class SessionBus {
public:
    enum class Claim {
        owned,     // this process is the primary owner now
        taken,     // another process owns it and it was not replaced
        failed,    // the bus refused or failed; see the log
    };
    virtual ~SessionBus() = default;
    virtual bool connected() const = 0;
    // The unique name ("":1.42") of the current owner, if any.
    virtual std::optional<std::string> nameOwner() = 0;
    // Requests the name, allowing later claims to replace this process.
    virtual Claim claimName(bool replaceExisting) = 0;
    // Calls Open on the owner with the links; true when it answered.
    virtual bool forwardLinks(const std::vector<std::string>& links) = 0;
    // True once `uniqueName` has left the bus, false after `limit`.
    virtual bool waitUntilGone(const std::string& uniqueName, std::chrono::milliseconds limit) = 0;
};

struct LaunchDecision {
    enum class Kind {
        run,        // this process is the application
        exit,       // done: links forwarded (status 0) or failure (status 1)
    };
    Kind kind = Kind::run;
    int exitStatus = 0;
    // Links this process must handle itself once its handler exists.
    std::vector<std::string> linksToHandle;
    // The one line to print on standard error before exiting with failure.
    std::string message;
};

inline constexpr std::chrono::milliseconds handoverLimit{5000};

// Runs the protocol above. Logs each step.
LaunchDecision decideLaunch(const LaunchRequest& request, SessionBus& bus,
                            std::chrono::milliseconds handover = handoverLimit);

}  // namespace tessarin
