#pragma once
// Holds the tessarin: links that arrive before anything can handle them
// (the one in the start-up arguments, one forwarded while the application
// is still loading) and hands them over, in arrival order, once the
// handler is installed. From then on links go straight through.

#include <deque>
#include <functional>
#include <string>

namespace tessarin {

class LinkInbox {
public:
    using Handler = std::function<void(const std::string& link)>;

    void deliver(std::string link);
    // Delivers what was queued, then every later link. Installing again
    // replaces the handler.
    void install(Handler handler);
    size_t pendingCount() const { return pending_.size(); }

private:
    std::deque<std::string> pending_;
    Handler handler_;
    // While the queue is handed over, a link delivered from inside the
    // handler waits its turn behind the older ones.
    bool draining_ = false;
};

}  // namespace tessarin
