#pragma once
// The one guard for work that comes back to an object later: a
// continuation posted to the main executor holds a weak view of its owner's
// token and runs only while the owner lives and has not shut down. The
// owner invalidates the token in shutdown() (and its destructor); a
// continuation that finds it gone is dropped, and with it any Completion it
// carried, which then delivers "cancelled" to its caller.
//
// Checked and invalidated on the main executor only, so no continuation can
// start after the owner decided to stop. Background halves never capture
// `this`: they take values (and objects that outlive the background
// executor), and only their main-thread continuation is guarded.

#include <memory>
#include <utility>

namespace tessarin {

class LifetimeToken {
public:
    class Weak {
    public:
        bool alive() const { return !alive_.expired(); }

    private:
        friend class LifetimeToken;
        explicit Weak(std::weak_ptr<const bool> alive) : alive_(std::move(alive)) {}
        std::weak_ptr<const bool> alive_;
    };

    LifetimeToken() = default;
    LifetimeToken(const LifetimeToken&) = delete;
    LifetimeToken& operator=(const LifetimeToken&) = delete;
    ~LifetimeToken() { invalidate(); }

    Weak weak() const { return Weak(alive_); }
    bool alive() const { return alive_ != nullptr; }
    void invalidate() { alive_.reset(); }

    // `f` wrapped so that it runs only while this token is alive; otherwise
    // it is dropped unrun (its captures, completions included, are destroyed).
    template <class F>
    auto guard(F f) const {
        return [weak = weak(), f = std::move(f)](auto&&... args) mutable {
            if (weak.alive()) f(std::forward<decltype(args)>(args)...);
        };
    }

private:
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

}  // namespace tessarin
