#include "platform/CaptureRoutes.h"

namespace {

bool HasDriver(ICapture& service, int nDriver) {
    char szName[CAPTURE_DRIVER_TEXT_BYTES] = {};
    char szVersion[CAPTURE_DRIVER_TEXT_BYTES] = {};
    return service.GetDriverDescription(nDriver, szName, sizeof(szName), szVersion,
                                        sizeof(szVersion)) != 0;
}

}  // namespace

CaptureRoutes::CaptureRoutes(ICapture& first, ICapture& second) : m_first(first) {
    int nNextOfSecond = 0;
    for (int n = 0; n < MAX_CAPTURE_DRIVERS; ++n) {
        m_routes[n] = Route{&first, n};
        if (HasDriver(first, n)) continue;
        while (nNextOfSecond < MAX_CAPTURE_DRIVERS && !HasDriver(second, nNextOfSecond))
            ++nNextOfSecond;
        if (nNextOfSecond < MAX_CAPTURE_DRIVERS) m_routes[n] = Route{&second, nNextOfSecond++};
    }
}

CaptureRoutes::Route CaptureRoutes::Of(int nDriver) const {
    if (nDriver < 0 || nDriver >= MAX_CAPTURE_DRIVERS) return Route{&m_first, nDriver};
    return m_routes[nDriver];
}
