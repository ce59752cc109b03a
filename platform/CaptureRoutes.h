#pragma once
// The driver indices of two capture services as one list. The first's
// drivers keep their indices; the second's take, in order, the indices at
// which the first had no driver when this was made. Neither service is
// owned; both outlive this.

#include "platform/Capture.h"

class CaptureRoutes {
public:
    // Where a driver index of the list leads.
    struct Route {
        ICapture* pService = nullptr;
        int nDriver = -1;
    };

    CaptureRoutes(ICapture& first, ICapture& second);

    // An index outside the list leads to the first, unchanged.
    Route Of(int nDriver) const;
    ICapture& First() const { return m_first; }

private:
    ICapture& m_first;
    Route m_routes[MAX_CAPTURE_DRIVERS];
};
