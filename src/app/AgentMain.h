#pragma once

#include <string>
#include <vector>

namespace tessarin {

// Runs one agent command with the real platform, preferences and executors;
// returns the exit status.
int runAgent(const std::string& programPath, const std::vector<std::string>& args);

}  // namespace tessarin
