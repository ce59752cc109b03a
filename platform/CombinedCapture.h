#pragma once
// Two capture services as one. The first's drivers keep their indices; the
// second's take, in order, the indices at which the first had no driver when
// this was made. A capture window lives in the first service until it
// connects a driver of the second, and then in the second: the first's
// window ends and one of the second is made in its place, with the same
// parent, place and style. Neither service is owned; both outlive this.

#include <memory>

#include "platform/CaptureRoutes.h"
#include "platform/CaptureService.h"

class CombinedCapture final : public CaptureService {
public:
    CombinedCapture(ICapture& first, ICapture& second);
    ~CombinedCapture() override;

    int GetDriverDescription(int nDriver, char* pszName, int cbName, char* pszVersion,
                             int cbVersion) override;

private:
    std::unique_ptr<ICaptureWindow> MakeWindow(const CaptureWindowPlace& place,
                                               HCAPWND hWnd) override;

    CaptureRoutes m_routes;
};
