#pragma once
// Starting the application again, for a change that only a new process
// sees. The owner quits in order (grabs released, preferences and history
// written, the bus name given up), then calls execNow() on its way out:
// the process image is replaced by the program's own absolute path, resolved
// at start, with the argument list as it stands. No shell is involved, so an
// install path with spaces, quotes or '$' is a path and nothing more, and
// the process keeps its id, so whatever waits on it sees it come back.

#include <string>
#include <vector>

namespace tessarin {

class AppRelauncher {
public:
    // `program` absolute; `arguments` after the program name.
    AppRelauncher(std::string program, std::vector<std::string> arguments);

    void request() { requested_ = true; }
    bool requested() const { return requested_; }

    // Closes every descriptor above standard error (the old X and bus
    // connections must not outlive the process they belonged to) and
    // replaces the process. Returns only on failure, with the reason.
    std::string execNow() const;

private:
    std::string program_;
    std::vector<std::string> arguments_;
    bool requested_ = false;
};

}  // namespace tessarin
