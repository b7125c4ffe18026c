#pragma once
// Observers of a main-thread object, with the two rules views rely on:
//
// - removal takes effect at once, even in the middle of a notification: a
//   view that closes another view from inside a callback never has the
//   closed one called afterwards. The slot is emptied during the
//   notification and the list compacted once the outermost one ends;
// - an observer added during a notification hears from the next one on.
//
// add() returns a Subscription that removes the observer when destroyed or
// reset, and is safe to outlive the list.

#include <cstdint>
#include <deque>
#include <memory>
#include <utility>

namespace tessarin {

namespace detail {
class ObserverListCore {
public:
    virtual ~ObserverListCore() = default;
    virtual void remove(uint64_t id) = 0;
};
}  // namespace detail

class Subscription {
public:
    Subscription() = default;
    Subscription(std::weak_ptr<detail::ObserverListCore> list, uint64_t id) : list_(std::move(list)), id_(id) {}
    Subscription(Subscription&& other) noexcept = default;
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            list_ = std::move(other.list_);
            id_ = other.id_;
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    void reset() {
        if (const auto list = list_.lock()) list->remove(id_);
        list_.reset();
    }
    bool active() const { return !list_.expired(); }

private:
    std::weak_ptr<detail::ObserverListCore> list_;
    uint64_t id_ = 0;
};

template <class Observer>
class ObserverList {
public:
    [[nodiscard]] Subscription add(Observer observer) {
        const uint64_t id = core_->nextId++;
        core_->slots.push_back({id, std::move(observer), true});
        return Subscription(core_, id);
    }

    // Calls `call(observer)` for every observer present when it starts and
    // still present when its turn comes.
    template <class Call>
    void notify(Call call) {
        Core& core = *core_;
        const auto keepAlive = core_;  // an observer may destroy the list's owner
        const size_t count = core.slots.size();
        ++core.depth;
        for (size_t i = 0; i < count; ++i) {
            // A deque keeps element addresses while observers are added.
            auto& slot = core.slots[i];
            if (slot.live) call(slot.observer);
        }
        if (--core.depth == 0) core.compact();
    }

    size_t size() const {
        size_t live = 0;
        for (const auto& slot : core_->slots) live += slot.live ? 1 : 0;
        return live;
    }

private:
    struct Slot {
        uint64_t id;
        Observer observer;
        bool live;
    };
    struct Core final : detail::ObserverListCore {
        void remove(uint64_t id) override {
            for (auto it = slots.begin(); it != slots.end(); ++it) {
                if (it->id != id) continue;
                if (depth > 0) {
                    it->live = false;  // the notification in progress skips it
                } else {
                    slots.erase(it);
                }
                return;
            }
        }
        void compact() {
            std::erase_if(slots, [](const Slot& slot) { return !slot.live; });
        }
        std::deque<Slot> slots;
        uint64_t nextId = 1;
        int depth = 0;
    };

    std::shared_ptr<Core> core_ = std::make_shared<Core>();
};

}  // namespace tessarin
