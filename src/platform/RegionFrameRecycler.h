#pragma once
// The frame buffers of a region stream, handed back explicitly: a published
// frame is shared with readers, and when the last of them lets go its
// deleter puts the buffer back on the recycler's shelf for the next grab
// (or frees it, once the stream is gone). No one guesses from a reference
// count whether a reader still holds a buffer.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/RegionFrameStream.h"

namespace tessarin {

class RegionFrameRecycler {
public:
    static constexpr size_t kMaxSpares = 2;

    RegionFrameRecycler(int64_t width, int64_t height, size_t bytesPerRow)
        : width_(width), height_(height), bytesPerRow_(bytesPerRow) {
        shelf_->spares.reserve(kMaxSpares);  // handing back never allocates
    }

    // A buffer of the stream's size for the next grab: one handed back when
    // there is one, else a new one.
    std::unique_ptr<RegionFrame> take() {
        {
            std::lock_guard lock(shelf_->mutex);
            if (!shelf_->spares.empty()) {
                auto frame = std::move(shelf_->spares.back());
                shelf_->spares.pop_back();
                return frame;
            }
        }
        auto frame = std::make_unique<RegionFrame>();
        frame->width = width_;
        frame->height = height_;
        frame->bytesPerRow = bytesPerRow_;
        frame->bytes.resize(bytesPerRow_ * static_cast<size_t>(height_));
        return frame;
    }

    // Shares a filled buffer with readers; it comes back when the last one
    // lets go.
    std::shared_ptr<const RegionFrame> publish(std::unique_ptr<RegionFrame> frame) {
        return std::shared_ptr<const RegionFrame>(
            frame.release(), [weakShelf = std::weak_ptr<Shelf>(shelf_)](const RegionFrame* returned) {
                std::unique_ptr<RegionFrame> owned(const_cast<RegionFrame*>(returned));
                const auto shelf = weakShelf.lock();
                if (!shelf) return;
                std::lock_guard lock(shelf->mutex);
                if (shelf->spares.size() < kMaxSpares) shelf->spares.push_back(std::move(owned));
            });
    }

    size_t spares() const {
        std::lock_guard lock(shelf_->mutex);
        return shelf_->spares.size();
    }

private:
    struct Shelf {
        std::mutex mutex;
        std::vector<std::unique_ptr<RegionFrame>> spares;
    };
    int64_t width_;
    int64_t height_;
    size_t bytesPerRow_;
    std::shared_ptr<Shelf> shelf_ = std::make_shared<Shelf>();
};

}  // namespace tessarin
