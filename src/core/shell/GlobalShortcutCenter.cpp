#include "core/shell/GlobalShortcutCenter.h"

#include <algorithm>
#include <utility>

#include "core/common/Localization.h"
#include "core/common/Log.h"
#include "core/shell/StatusBarMenu.h"

namespace tessarin {
namespace {

int idOf(ShortcutName name) {
    for (size_t i = 0; i < allShortcutNames.size(); ++i) {
        if (allShortcutNames[i] == name) return static_cast<int>(i);
    }
    return -1;
}

// A localised sentence with "%1" and "%2" filled in, so a translation may
// put them where its language wants them.
std::string sentence(std::string_view english, const std::string& first, const std::string& second = {}) {
    std::string text = localized(english);
    for (const auto& [marker, value] : {std::pair{"%1", &first}, std::pair{"%2", &second}}) {
        if (const size_t at = text.find(marker); at != std::string::npos) text.replace(at, 2, *value);
    }
    return text;
}

void logProblem(std::string_view step, ShortcutName name, const KeyCombination& keys, std::string_view reason) {
    logLine(LogLevel::info, LogCategory::app,
            std::string(step) + " name=" + std::string(rawValue(name)) + " keys=" + keys.text() +
                " reason=" + std::string(reason));
}

}  // namespace

GlobalShortcutCenter::GlobalShortcutCenter(KeyboardShortcuts& shortcuts, GlobalShortcutGrabber& grabber, Action action)
    : shortcuts_(shortcuts), grabber_(grabber), action_(std::move(action)) {}

GlobalShortcutCenter::~GlobalShortcutCenter() { releaseAll(); }

void GlobalShortcutCenter::registerAll() {
    if (registered_) return;
    registered_ = true;
    grabber_.setKeyListener([this](int id, KeyTransition transition) { keyTransition(id, transition); });
    grabber_.setRegrabListener([this](int id, const GrabResult& result) { regrabbed(id, result); });
    subscription_ = shortcuts_.subscribe([this](ShortcutName) { synchronize(); });
    synchronize();
}

void GlobalShortcutCenter::releaseAll() {
    subscription_.reset();
    if (registered_) {
        grabber_.setKeyListener(nullptr);
        grabber_.setRegrabListener(nullptr);
        registered_ = false;
    }
    for (const ShortcutName name : allShortcutNames) {
        if (states_[idOf(name)].requested) releaseName(name);
    }
}

ShortcutStatus GlobalShortcutCenter::status(ShortcutName name) const { return states_[idOf(name)].status; }
bool GlobalShortcutCenter::wasRefused(ShortcutName name) const { return states_[idOf(name)].everRefused; }
std::string GlobalShortcutCenter::problem(ShortcutName name) const { return states_[idOf(name)].problem; }

void GlobalShortcutCenter::synchronize() {
    // Releases first, so a combination one name gave up is free for another.
    for (const ShortcutName name : allShortcutNames) {
        const NameState& state = states_[idOf(name)];
        if (state.requested && state.requested != shortcuts_.shortcut(name)) releaseName(name);
    }
    for (const ShortcutName name : allShortcutNames) {
        NameState& state = states_[idOf(name)];
        const auto wanted = shortcuts_.shortcut(name);
        if (!wanted) {
            state.status = ShortcutStatus::unassigned;
            state.problem.clear();
            continue;
        }
        if (state.requested == wanted) continue;
        const auto holder = std::find_if(allShortcutNames.begin(), allShortcutNames.end(), [&](ShortcutName other) {
            return other != name && states_[idOf(other)].requested == wanted;
        });
        if (holder == allShortcutNames.end()) {
            grabName(name, *wanted);
            continue;
        }
        // Two names cannot share one grab; the one that has it keeps it.
        std::string problem = sentence("%1 is already the shortcut of “%2”.", wanted->displayText(),
                                       menuTitle(menuActionOf(*holder)));
        if (state.status == ShortcutStatus::unavailable && state.problem == problem) continue;
        state.status = ShortcutStatus::unavailable;
        state.problem = std::move(problem);
        logProblem("shortcut.unavailable", name, *wanted, "duplicate of " + std::string(rawValue(*holder)));
    }
}

void GlobalShortcutCenter::releaseName(ShortcutName name) {
    NameState& state = states_[idOf(name)];
    grabber_.release(idOf(name));
    state.requested.reset();
    state.keyDown = false;
    state.status = ShortcutStatus::unassigned;
    state.problem.clear();
}

void GlobalShortcutCenter::grabName(ShortcutName name, const KeyCombination& combination) {
    NameState& state = states_[idOf(name)];
    state.requested = combination;
    state.keyDown = false;
    applyResult(name, grabber_.grab(idOf(name), combination));
}

void GlobalShortcutCenter::applyResult(ShortcutName name, const GrabResult& result) {
    NameState& state = states_[idOf(name)];
    const KeyCombination& keys = *state.requested;
    switch (result.outcome) {
        case GrabOutcome::grabbed:
            state.status = ShortcutStatus::active;
            state.problem.clear();
            return;
        case GrabOutcome::refused:
            state.status = ShortcutStatus::refused;
            state.everRefused = true;
            state.problem = sentence("%1 is already used by another application.", keys.displayText());
            logProblem("shortcut.refused", name, keys, result.detail);
            return;
        case GrabOutcome::unknownKey:
            state.status = ShortcutStatus::unavailable;
            state.problem = sentence("%1 is not on this keyboard.", keys.displayText());
            logProblem("shortcut.unavailable", name, keys, result.detail);
            return;
        case GrabOutcome::failed:
            state.status = ShortcutStatus::unavailable;
            state.problem = result.detail.empty()
                                ? sentence("%1 cannot be used as a global shortcut here.", keys.displayText())
                                : sentence("%1 cannot be used as a global shortcut here: %2", keys.displayText(),
                                           result.detail);
            logProblem("shortcut.unavailable", name, keys, result.detail);
            return;
    }
}

GlobalShortcutCenter::NameState* GlobalShortcutCenter::stateOf(int id) {
    if (id < 0 || static_cast<size_t>(id) >= states_.size()) return nullptr;
    NameState& state = states_[static_cast<size_t>(id)];
    return state.requested ? &state : nullptr;
}

void GlobalShortcutCenter::regrabbed(int id, const GrabResult& result) {
    NameState* state = stateOf(id);
    if (!state) return;
    state->keyDown = false;
    applyResult(allShortcutNames[static_cast<size_t>(id)], result);
}

void GlobalShortcutCenter::keyTransition(int id, KeyTransition transition) {
    NameState* state = stateOf(id);
    if (!state) return;
    if (transition == KeyTransition::pressed) {
        state->keyDown = true;
        return;
    }
    // A release whose press came before the grab belongs to someone else.
    if (!state->keyDown) return;
    state->keyDown = false;
    const Action action = action_;  // the action may change what this object holds
    if (action) action(allShortcutNames[static_cast<size_t>(id)]);
}

}  // namespace tessarin
