#pragma once
// A key grabber that grabs nothing: it records what it was asked, answers
// with the outcome the test set for a combination (grabbed otherwise), and
// lets the test press keys and remap the keyboard.

#include <map>
#include <string>
#include <vector>

#include "platform/GlobalShortcutGrabber.h"

namespace tessarin::testing {

class FakeGlobalShortcutGrabber final : public GlobalShortcutGrabber {
public:
    // Outcomes by the combination's text form ("Shift+Print").
    std::map<std::string, GrabResult> outcomes;
    // What each id holds now (a refused grab holds too: granted variants stay).
    std::map<int, KeyCombination> held;
    // "grab 1 Shift+Print", "release 1", in call order.
    std::vector<std::string> calls;

    void setKeyListener(KeyListener listener) override { keyListener_ = std::move(listener); }
    void setRegrabListener(RegrabListener listener) override { regrabListener_ = std::move(listener); }

    GrabResult grab(int id, const KeyCombination& combination) override {
        calls.push_back("grab " + std::to_string(id) + " " + combination.text());
        const GrabResult result = outcomeFor(combination);
        held.erase(id);
        if (result.outcome == GrabOutcome::grabbed || result.outcome == GrabOutcome::refused) held[id] = combination;
        return result;
    }
    void release(int id) override {
        calls.push_back("release " + std::to_string(id));
        held.erase(id);
    }
    int eventDescriptor() const override { return -1; }
    void processPendingEvents() override {}

    bool listening() const { return static_cast<bool>(keyListener_); }
    void keyDown(int id) { send(id, KeyTransition::pressed); }
    void keyUp(int id) { send(id, KeyTransition::released); }
    // A new keyboard map: every held id is grabbed again under `outcomes`.
    void remap() {
        const auto now = held;
        for (const auto& [id, combination] : now) {
            const GrabResult result = outcomeFor(combination);
            if (regrabListener_) regrabListener_(id, result);
        }
    }

private:
    GrabResult outcomeFor(const KeyCombination& combination) const {
        const auto it = outcomes.find(combination.text());
        return it == outcomes.end() ? GrabResult{GrabOutcome::grabbed, {}} : it->second;
    }
    void send(int id, KeyTransition transition) {
        if (keyListener_) keyListener_(id, transition);
    }

    KeyListener keyListener_;
    RegrabListener regrabListener_;
};

}  // namespace tessarin::testing
