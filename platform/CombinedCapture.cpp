#include "platform/CombinedCapture.h"

#include "platform/CombinedCaptureWindow.h"

CombinedCapture::CombinedCapture(ICapture& first, ICapture& second) : m_routes(first, second) {}

CombinedCapture::~CombinedCapture() = default;

int CombinedCapture::GetDriverDescription(int nDriver, char* pszName, int cbName, char* pszVersion,
                                          int cbVersion) {
    if (nDriver < 0 || nDriver >= MAX_CAPTURE_DRIVERS) return 0;
    const CaptureRoutes::Route route = m_routes.Of(nDriver);
    return route.pService->GetDriverDescription(route.nDriver, pszName, cbName, pszVersion,
                                                cbVersion);
}

std::unique_ptr<ICaptureWindow> CombinedCapture::MakeWindow(const CaptureWindowPlace& place,
                                                            HCAPWND /*hWnd*/) {
    ICapture& first = m_routes.First();
    const HCAPWND hInner =
        first.CreateCaptureWindow(place.strName.c_str(), place.dwStyle, place.x, place.y, place.w,
                                  place.h, place.pParent, place.nId);
    if (!hInner) return nullptr;
    return std::make_unique<CombinedCaptureWindow>(m_routes, first, hInner, place);
}
