#include "detect/CaptureDriverList.h"

#include "platform/Capture.h"

std::vector<int> FillCaptureDriverList(IListControl& cb) {
    ICapture& capture = platform::Capture();
    std::vector<int> drivers;
    for (int nDriver = 0; nDriver < MAX_CAPTURE_DRIVERS; ++nDriver) {
        char szName[CAPTURE_DRIVER_TEXT_BYTES] = {};
        char szVersion[CAPTURE_DRIVER_TEXT_BYTES] = {};
        if (!capture.GetDriverDescription(nDriver, szName, sizeof(szName), szVersion,
                                          sizeof(szVersion)))
            continue;
        const int nAt = cb.AddString(szName);
        if (nAt >= 0 && static_cast<size_t>(nAt) <= drivers.size())
            drivers.insert(drivers.begin() + nAt, nDriver);
    }
    // On an empty list this clears the selection.
    cb.SetCurSel(0);
    return drivers;
}

int CaptureDriverAt(const std::vector<int>& drivers, int nPosition) {
    if (nPosition < 0 || static_cast<size_t>(nPosition) >= drivers.size()) return -1;
    return drivers[static_cast<size_t>(nPosition)];
}
