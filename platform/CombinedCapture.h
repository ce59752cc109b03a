#pragma once
// Two capture services as one. The first's drivers keep their indices; the
// second's take, in order, the indices at which the first had no driver when
// this was made. A capture window lives in the first service until it
// connects a driver of the second, and then in the second: the first's
// window ends and one of the second is made in its place, with the same
// parent, place and style. Neither service is owned; both outlive this.

#include <map>
#include <string>
#include <utility>

#include "platform/Capture.h"

class CombinedCapture final : public ICapture {
public:
    CombinedCapture(ICapture& first, ICapture& second);
    ~CombinedCapture() override;

    CombinedCapture(const CombinedCapture&) = delete;
    CombinedCapture& operator=(const CombinedCapture&) = delete;

    int GetDriverDescription(int nDriver, char* pszName, int cbName, char* pszVersion,
                             int cbVersion) override;
    HCAPWND CreateCaptureWindow(const char* pszName, uint32_t dwStyle, int x, int y, int w, int h,
                                IShowWindow* pParent, int nId) override;
    int IsWindow(HCAPWND h) override;
    int DriverConnect(HCAPWND h, int nDriver) override;
    int SetScale(HCAPWND h, int bScale) override;
    int SetPreviewRate(HCAPWND h, unsigned nMilliseconds) override;
    int GetVideoFormat(HCAPWND h, BITMAPINFO* pFormat, unsigned cbFormat) override;
    int SetVideoFormat(HCAPWND h, const BITMAPINFO* pFormat, unsigned cbFormat) override;
    int SetCallbackOnFrame(HCAPWND h, CaptureFrameProc proc) override;
    int SetPreview(HCAPWND h, int bPreview) override;
    int IsPreviewing(HCAPWND h) override;
    uint32_t GetFrameInterval(HCAPWND h) override;
    int DestroyWindow(HCAPWND h) override;

private:
    // Where a driver index of ours leads.
    struct Route {
        ICapture* pService = nullptr;
        int nDriver = -1;
    };
    struct Window {
        ICapture* pService = nullptr;
        HCAPWND hInner = nullptr;  // null once it could not be made again
        // What it was made with, to make it again in the other service.
        std::string strName;
        uint32_t dwStyle = 0;
        int x = 0, y = 0, w = 0, h = 0;
        IShowWindow* pParent = nullptr;
        int nId = 0;
    };

    Route RouteOf(int nDriver) const;
    Window* Find(HCAPWND h);
    // The call on the window's service as it stands; 0 without a window.
    template <typename Call>
    auto Forward(HCAPWND h, Call call) -> decltype(call(std::declval<ICapture&>(), h)) {
        Window* pWnd = Find(h);
        return pWnd && pWnd->hInner ? call(*pWnd->pService, pWnd->hInner) : 0;
    }

    ICapture& m_first;
    Route m_routes[MAX_CAPTURE_DRIVERS];
    uintptr_t m_nLastHandle = 0;
    std::map<HCAPWND, Window> m_windows;
};
