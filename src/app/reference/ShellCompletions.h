#pragma once
// Completion scripts for bash, zsh and fish: the agent's command words at
// the first position, each command's flags after it, file names after the
// flags that take a path.

#include <string>

#include "app/reference/ReferenceFacts.h"

namespace tessarin {

std::string bashCompletion(const ReferenceFacts& facts);
std::string zshCompletion(const ReferenceFacts& facts);
std::string fishCompletion(const ReferenceFacts& facts);

}  // namespace tessarin
