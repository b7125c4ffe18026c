#include "core/automation/URLLinkHandler.h"

#include "core/common/Localization.h"
#include "core/common/Log.h"

namespace tessarin {

URLLinkHandler::URLLinkHandler(Ports ports, std::unique_ptr<URLCommandExecutor> executor)
    : ports_(std::move(ports)), executor_(std::move(executor)) {}

URLLinkHandler::~URLLinkHandler() { *alive_ = false; }

void URLLinkHandler::handle(const std::string& link) {
    if (waiting_.size() >= kMaximumWaitingLinks) {
        logLine(LogLevel::info, LogCategory::app,
                "link.dropped reason=too_many_waiting waiting=" + std::to_string(waiting_.size()));
        return;
    }
    waiting_.push_back(link);
    drain();
}

void URLLinkHandler::drain() {
    // An answer given at once (or a link handled from within a run) lands
    // here again: the loop below picks it up.
    if (draining_) return;
    draining_ = true;
    while (!asking_ && !waiting_.empty()) {
        const std::string link = std::move(waiting_.front());
        waiting_.pop_front();
        const auto command = TessarinURLCommand::parse(link);
        if (!command) {
            ports_.warn(localized("Unsupported URL"), localized("Tessarin cannot handle this URL."));
            continue;
        }
        const auto phrase = URLCommandExecutor::confirmableURLAction(*command);
        if (!phrase || !ports_.confirmationRequired()) {
            executor_->execute(*command);
            continue;
        }
        std::string message = localized("A link asked Tessarin to %@. Only allow this if you started it.");
        message.replace(message.find("%@"), 2, *phrase);
        asking_ = true;
        ports_.presentConfirmation(localized("Allow this Tessarin action?"), message, localized("Allow"),
                                   [this, alive = std::weak_ptr<bool>(alive_), command = *command](bool allowed) {
                                       if (alive.expired()) return;
                                       asking_ = false;
                                       logLine(LogLevel::info, LogCategory::app,
                                               std::string("link.confirmation allowed=") + (allowed ? "true" : "false"));
                                       if (allowed) executor_->execute(command);
                                       drain();
                                   });
    }
    draining_ = false;
}

}  // namespace tessarin
