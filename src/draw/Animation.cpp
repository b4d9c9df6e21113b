#include "draw/Animation.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tessera {
namespace {

double wallClock() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Animation::Clock& currentClock() {
    static Animation::Clock clock = wallClock;
    return clock;
}

} // namespace

Animation::Animation(double duration, ProgressType type, ProgressCurve curve)
    : duration_(duration), progressType_(type), progressCurve_(curve), start_(now()) {}

Animation::Clock Animation::setClock(Clock clock) {
    Clock old = std::move(currentClock());
    currentClock() = clock ? std::move(clock) : Clock(wallClock);
    return old;
}

double Animation::now() {
    return currentClock()();
}

double Animation::apply(ProgressCurve curve, double x) {
    switch (curve) {
    case ProgressCurve::linear:
        return x;
    case ProgressCurve::easeInOut:
        return x < 0.5 ? 2 * x * x : 2 * x * (2 - x) - 1;
    case ProgressCurve::easeIn:
        return x * x;
    case ProgressCurve::easeOut:
        return 1 - (1 - x) * (1 - x);
    }
    return x;
}

void Animation::update() {
    if (duration_ == 0) {
        progress_ = 1.0;
        return;
    }
    double x = (now() - start_) / duration_;
    switch (progressType_) {
    case ProgressType::periodic: {
        const double r = x - std::trunc(x);
        x = 1 - 2 * std::min(r, 1 - r);
        break;
    }
    case ProgressType::clampedToUnit:
        x = std::min(x, 1.0);
        break;
    }
    progress_ = std::max(0.0, std::min(apply(progressCurve_, x), 1.0));
}

} // namespace tessera
