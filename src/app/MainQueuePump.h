// Runs the engine's main queue from Qt's event loop: tasks posted from any thread wake the loop,
// and tasks posted for later run when their time comes, without polling.
#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>

namespace tessera {

class MainQueue;

class MainQueuePump final : public QObject {
public:
    explicit MainQueuePump(MainQueue& queue, QObject* parent = nullptr);
    ~MainQueuePump() override;

private:
    void run();

    MainQueue& queue_;
    QTimer later_;
    // One queued call at a time, however many tasks other threads post meanwhile.
    std::atomic<bool> wakePending_{false};
};

} // namespace tessera
