#pragma once
// Decides whether a finished capture enters the history, and hands out the
// ticket through which the thumbnail and the editor learn its item.

#include <functional>
#include <memory>
#include <optional>

#include "core/capture/CaptureHistoryStore.h"
#include "core/capture/CapturePersistenceTicket.h"

namespace tessarin {

// The retention settings, read when a capture is admitted.
struct HistorySettings {
    bool enabled = true;
    bool paused = false;
    int maxCount = 50;
    int maxAgeDays = 30;
};

class CaptureHistoryAdmission {
public:
    CaptureHistoryAdmission(CaptureHistoryStore& store, Executor& main, std::function<HistorySettings()> settings)
        : store_(store), main_(main), settings_(std::move(settings)) {}

    // Records the image when history is enabled and not paused; otherwise
    // the ticket is already resolved with no item.
    std::shared_ptr<CapturePersistenceTicket> admit(SharedImage image, std::optional<CaptureSessionInfo> session);

    // Writes an edited image over the item the ticket resolves to (the
    // annotation route's store operation). Nothing when the ticket has no
    // item; when the item was removed meanwhile, the edit is admitted anew.
    void mergeEdited(const std::shared_ptr<CapturePersistenceTicket>& ticket, SharedImage edited,
                     Completion<CaptureHistoryStore::Result> done);

private:
    CaptureHistoryStore& store_;
    Executor& main_;
    std::function<HistorySettings()> settings_;
    LifetimeToken lifetime_;
};

}  // namespace tessarin
