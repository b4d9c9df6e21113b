#include "app/MainQueuePump.h"

#include "platform/MainQueue.h"

#include <algorithm>
#include <chrono>

namespace tessera {

MainQueuePump::MainQueuePump(MainQueue& queue, QObject* parent) : QObject(parent), queue_(queue) {
    later_.setSingleShot(true);
    connect(&later_, &QTimer::timeout, this, &MainQueuePump::run);
    // The handler may run on any thread: it only posts a queued call to this object's thread.
    queue_.setWakeHandler([this] {
        if (!wakePending_.exchange(true))
            QMetaObject::invokeMethod(this, &MainQueuePump::run, Qt::QueuedConnection);
    });
    wakePending_ = true;
    QMetaObject::invokeMethod(this, &MainQueuePump::run, Qt::QueuedConnection);
}

MainQueuePump::~MainQueuePump() {
    queue_.setWakeHandler({});
}

void MainQueuePump::run() {
    wakePending_ = false;
    queue_.runPending();
    const auto next = queue_.nextDueTime();
    if (!next) {
        later_.stop();
        return;
    }
    using namespace std::chrono;
    const auto wait = duration_cast<milliseconds>(*next - MainQueue::Clock::now()) + 1ms;
    later_.start(static_cast<int>(std::clamp<long long>(wait.count(), 0, 60'000)));
}

} // namespace tessera
