// The clock of every animation: progress recomputed from elapsed time at each frame, so a
// dropped frame shortens nothing. Tests replace the clock.
#pragma once

#include <functional>

namespace tessera {

class Animation {
public:
    enum class ProgressType { clampedToUnit, periodic };
    enum class ProgressCurve { linear, easeInOut, easeIn, easeOut };
    /// Seconds on a monotonic clock.
    using Clock = std::function<double()>;

    Animation(double duration, ProgressType type, ProgressCurve curve);

    /// Recomputes progress from the time elapsed since creation.
    void update();
    double progress() const { return progress_; }
    double duration() const { return duration_; }
    ProgressType progressType() const { return progressType_; }
    ProgressCurve progressCurve() const { return progressCurve_; }

    /// The clock of all animations (the wall clock unless replaced); returns the old one.
    static Clock setClock(Clock clock);
    static double now();

    static double apply(ProgressCurve curve, double x);

private:
    double progress_ = 0;
    double duration_;
    ProgressType progressType_;
    ProgressCurve progressCurve_;
    double start_;
};

} // namespace tessera
