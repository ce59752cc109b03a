#pragma once
// The clip frame rates a show can play. Its timers tick every 1000 / n ms for
// n whole frames per second: below 1 there is no n to divide by, and above
// 1000 the period would be 0 ms.

constexpr double MIN_FRAMES_PER_SEC = 1.0;
constexpr double MAX_FRAMES_PER_SEC = 1000.0;

// 1 to 1000 inclusive; NaN is refused, and so are the infinities.
constexpr bool IsPlayableFrameRate(double dFramesPerSec) {
    return dFramesPerSec >= MIN_FRAMES_PER_SEC && dFramesPerSec <= MAX_FRAMES_PER_SEC;
}

// The timer period in milliseconds of a playable rate: 1000 / its whole
// frames per second (29.97 gives 34).
constexpr unsigned FramePeriodMs(double dFramesPerSec) {
    return 1000u / static_cast<unsigned>(dFramesPerSec);
}
