#include "core/capture/CapturePersistenceTicket.h"

namespace tessarin {

std::shared_ptr<CapturePersistenceTicket> CapturePersistenceTicket::start(Executor& main,
                                                                          AsyncOperation<Result> operation) {
    std::shared_ptr<CapturePersistenceTicket> ticket(new CapturePersistenceTicket(main));
    // The ticket stays alive until the operation completes, even when every
    // holder has let go of it.
    operation([ticket](Result result) { ticket->resolve(std::move(result)); });
    return ticket;
}

std::shared_ptr<CapturePersistenceTicket> CapturePersistenceTicket::resolved(Executor& main, Result result) {
    std::shared_ptr<CapturePersistenceTicket> ticket(new CapturePersistenceTicket(main));
    ticket->result_ = std::move(result);
    return ticket;
}

void CapturePersistenceTicket::value(Completion<Result> done) {
    if (!result_) {
        waiting_.push_back(std::move(done));
        return;
    }
    main_.post([self = shared_from_this(), done = std::move(done)]() mutable { done(*self->result_); });
}

void CapturePersistenceTicket::resolve(Result result) {
    if (result_) return;  // an operation that completes twice keeps its first answer
    result_ = std::move(result);
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (auto& done : waiting) done(*result_);
}

}  // namespace tessarin
