#include "app/desktop/QtMainExecutor.h"

#include <QCoreApplication>
#include <QEvent>

namespace tessarin {
namespace {

const QEvent::Type taskEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class TaskEvent final : public QEvent {
public:
    explicit TaskEvent(Task work) : QEvent(taskEventType), task(std::move(work)) {}
    Task task;
};

}  // namespace

QtMainExecutor::QtMainExecutor() = default;

QtMainExecutor::~QtMainExecutor() {
    // Posted tasks die with their events, unrun, on this thread.
    QCoreApplication::removePostedEvents(this, taskEventType);
}

void QtMainExecutor::post(Task task) {
    pending_.fetch_add(1, std::memory_order_relaxed);
    QCoreApplication::postEvent(this, new TaskEvent(std::move(task)));
}

void QtMainExecutor::drain() {
    // Tasks posted by the tasks being run join the queue behind them.
    while (pending_.load(std::memory_order_relaxed) > 0) QCoreApplication::sendPostedEvents(this, taskEventType);
}

void QtMainExecutor::customEvent(QEvent* event) {
    if (event->type() != taskEventType) return;
    pending_.fetch_sub(1, std::memory_order_relaxed);
    auto task = std::move(static_cast<TaskEvent*>(event)->task);
    if (task) task();
}

}  // namespace tessarin
