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
    QCoreApplication::postEvent(this, new TaskEvent(std::move(task)));
}

void QtMainExecutor::drain() {
    QCoreApplication::sendPostedEvents(this, taskEventType);
}

void QtMainExecutor::customEvent(QEvent* event) {
    if (event->type() != taskEventType) return;
    auto& task = static_cast<TaskEvent*>(event)->task;
    if (task) task();
}

}  // namespace tessarin
