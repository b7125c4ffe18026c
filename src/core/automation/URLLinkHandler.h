#pragma once
// Takes links as they arrive (the start-up arguments, later starts over
// the session bus) and handles them one at a time, in order: parse, ask the
// user when that is wanted, run. While a question is on the screen further
// links wait behind it, at most kMaximumWaitingLinks of them (the rest are
// dropped with a log line), so a web page cannot stack dialogs or flood the
// history. The question and the run come from the same parsed command.

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "core/automation/URLCommandExecutor.h"

namespace tessarin {

class URLLinkHandler {
public:
    static constexpr size_t kMaximumWaitingLinks = 8;

    struct Ports {
        // Whether links must be allowed by the user first.
        std::function<bool()> confirmationRequired;
        // Asks; "Cancel" is the default answer. `answer` runs once, after
        // the question has left the screen.
        std::function<void(const std::string& title, const std::string& message, const std::string& confirmTitle,
                           std::function<void(bool allowed)> answer)>
            presentConfirmation;
        std::function<void(const std::string& title, const std::string& message)> warn;
    };

    URLLinkHandler(Ports ports, std::unique_ptr<URLCommandExecutor> executor);
    ~URLLinkHandler();

    void handle(const std::string& link);
    size_t waitingLinks() const { return waiting_.size(); }

private:
    void drain();

    Ports ports_;
    std::unique_ptr<URLCommandExecutor> executor_;
    std::deque<std::string> waiting_;
    bool asking_ = false;
    bool draining_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tessarin
