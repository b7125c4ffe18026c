#pragma once
// The Qt event loop as the main executor: post() queues the task as an
// event for a receiver object living on the main thread, so tasks run in
// order between the loop's other events. Tasks posted for a receiver that
// is gone are dropped by the loop with their event (destroying what they
// carried), which is the rule for continuations whose owner died.

#include <QObject>
#include <atomic>

#include "core/common/Executor.h"

namespace tessarin {

class QtMainExecutor final : public QObject, public Executor {
public:
    QtMainExecutor();
    ~QtMainExecutor() override;

    void post(Task task) override;  // thread-safe
    // Runs every task posted so far (and what they post), at the end of the
    // application, once the loop no longer runs.
    void drain();

protected:
    void customEvent(QEvent* event) override;

private:
    std::atomic<int> pending_{0};  // posted, not yet run
};

}  // namespace tessarin
