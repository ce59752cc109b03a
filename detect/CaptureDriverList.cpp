#include "detect/CaptureDriverList.h"

#include "platform/Capture.h"

void FillCaptureDriverList(IListControl& cb) {
    ICapture& capture = platform::Capture();
    for (int nDriver = 0; nDriver < MAX_CAPTURE_DRIVERS; ++nDriver) {
        char szName[CAPTURE_DRIVER_TEXT_BYTES] = {};
        char szVersion[CAPTURE_DRIVER_TEXT_BYTES] = {};
        if (capture.GetDriverDescription(nDriver, szName, sizeof(szName), szVersion,
                                         sizeof(szVersion)))
            cb.AddString(szName);
    }
    // On an empty list this clears the selection.
    cb.SetCurSel(0);
}
