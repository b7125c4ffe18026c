#pragma once
// SIGTERM (logout, shutdown), SIGINT (Ctrl-C) and SIGHUP (the terminal
// went away) end the application the same orderly way as its Quit row.
// The handler only writes a byte to a pipe; the event loop reads it and
// runs the quit on the main thread.

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace tessarin {

class QuitSignals final : public QObject {
public:
    explicit QuitSignals(std::function<void(int signal)> quit);
    ~QuitSignals() override;

    bool installed() const { return notifier_ != nullptr; }

private:
    std::function<void(int)> quit_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tessarin
