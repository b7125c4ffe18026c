#pragma once
// The history item of a capture that may still be being written. The
// thumbnail and the annotation route hold the ticket and ask it for the item
// id when they need it; the persisting operation starts at once and runs
// once, however many ask.

#include <memory>
#include <optional>
#include <vector>

#include "core/capture/CaptureHistoryItem.h"
#include "core/common/Executor.h"

namespace tessarin {

class CapturePersistenceTicket : public std::enable_shared_from_this<CapturePersistenceTicket> {
public:
    using Result = std::optional<CaptureHistoryItem>;

    // Starts `operation` now, on the calling (main) thread.
    static std::shared_ptr<CapturePersistenceTicket> start(Executor& main, AsyncOperation<Result> operation);
    // A ticket already resolved, e.g. with no item while history is off.
    static std::shared_ptr<CapturePersistenceTicket> resolved(Executor& main, Result result);

    // Completes with the result on the main executor, never inside this call.
    void value(Completion<Result> done);
    bool isResolved() const { return result_.has_value(); }

private:
    explicit CapturePersistenceTicket(Executor& main) : main_(main) {}
    void resolve(Result result);

    Executor& main_;
    std::optional<Result> result_;
    std::vector<Completion<Result>> waiting_;
};

}  // namespace tessarin
