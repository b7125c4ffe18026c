#pragma once
// What the shell's tests share: an alert presenter that remembers.

#include <string>
#include <utility>
#include <vector>

#include "core/shell/AppState.h"

namespace tessarin::testing {

struct RecordingAlerts final : AlertPresenter {
    std::vector<std::pair<std::string, std::string>> shown;  // title, message
    void showWarning(const std::string& title, const std::string& message) override { shown.emplace_back(title, message); }
};

}  // namespace tessarin::testing
