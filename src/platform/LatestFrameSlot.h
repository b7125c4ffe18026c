#pragma once
// The newest frame of a region stream and how the stream ended, shared
// between the thread that delivers frames and the readers: the delivering
// thread only swaps the frame and its id under the lock.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "core/screen/RegionFrame.h"
#include "platform/RegionFrameStream.h"

namespace tessarin {

class LatestFrameSlot {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    // Makes `frame` the newest, with an id one more than the last; the id.
    uint64_t publish(std::shared_ptr<const RegionFrame> frame) {
        // Let go outside the lock: its deleter takes the recycler's lock.
        std::shared_ptr<const RegionFrame> replaced;
        uint64_t id = 0;
        {
            std::lock_guard guard(lock_);
            replaced = std::exchange(latest_, std::move(frame));
            id = ++latestID_;
        }
        changed_.notify_all();
        return id;
    }

    // Ends the stream with `error`; false when it had ended already (failed,
    // or closed as asked: what fails after that is no error).
    bool fail(CaptureError error) {
        {
            std::lock_guard guard(lock_);
            if (stopError_ || closed_) return false;
            stopError_ = std::move(error);
        }
        changed_.notify_all();
        return true;
    }

    // Ends the stream as asked: every waiter returns.
    void close() {
        {
            std::lock_guard guard(lock_);
            closed_ = true;
        }
        changed_.notify_all();
    }

    LatestRegionFrame latest() const {
        std::lock_guard guard(lock_);
        return {latest_, latestID_};
    }

    std::optional<CaptureError> stopError() const {
        std::lock_guard guard(lock_);
        return stopError_;
    }

    // Waits until a frame newer than `frameID` is there, the stream ended,
    // or `deadline` passed; the newest frame either way.
    LatestRegionFrame waitForFrameAfter(uint64_t frameID, Deadline deadline) const {
        std::unique_lock guard(lock_);
        changed_.wait_until(guard, deadline, [&] { return latestID_ > frameID || stopError_ || closed_; });
        return {latest_, latestID_};
    }

    // Waits until the stream is closed or `deadline` passed; true when closed.
    bool waitForClose(Deadline deadline) const {
        std::unique_lock guard(lock_);
        return changed_.wait_until(guard, deadline, [&] { return closed_; });
    }

private:
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::shared_ptr<const RegionFrame> latest_;
    uint64_t latestID_ = 0;
    std::optional<CaptureError> stopError_;
    bool closed_ = false;
};

}  // namespace tessarin
