#pragma once
// Show windows in virtual time, off any screen: the host of a show that runs
// faster than real time. Everything platform/ShowWindow.h promises holds,
// except:
// - Time is the host's own clock, in milliseconds from its start. Timers tick
//   only when the owner calls FireNext: the tick due first runs, the clock
//   moving on to its due time. Ticks due at the same time run in the order
//   their timers were armed, and a timer is armed for its next tick just
//   before its handler runs, so a timer (re)started by a tick comes after the
//   ticking one at the same time, as on the screen's host.
// - Nothing reaches a screen: Picture gives what the screen would show of the
//   window made last.
// Used on one thread.

#include <cstdint>

#include "platform/ShowWindow.h"

class IVirtualShowWindows : public IShowWindows {
public:
    virtual int64_t NowMs() const = 0;
    // Due time of the next tick; INT64_MAX while no timer runs.
    virtual int64_t NextDueMs() const = 0;
    // Runs the next tick; false when no timer runs.
    virtual bool FireNext() = 0;
    // Moves the clock on to ms, which no tick may be due before.
    virtual void AdvanceTo(int64_t ms) = 0;
    // The client area of the window made last, while it stands: rows
    // top-down of 0xFFRRGGBB pixels, nStride pixels apart; valid until the
    // next call into the host or its windows. Null when no window stands.
    virtual const uint32_t* Picture(int& nWidth, int& nHeight, int& nStride) = 0;
};
