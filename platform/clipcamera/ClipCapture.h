#pragma once
// A capture service whose one driver (index 0) is a clip standing in for a
// camera: listed as "Clip camera (NAME)", NAME the clip's file name, it
// delivers the clip's frames looping, at the clip's size and frame rate, as
// packed 24-bit frames from a thread of its own, through the same calls as a
// real camera. The clip is read through the video-file service, as an AVI
// file with the reader's limits, each time a window connects. Install with
// platform::SetCapture (usually combined with the real cameras, see
// platform/CombinedCapture.h); it must outlive every capture window.

#include <map>
#include <memory>
#include <string>

#include "platform/Capture.h"

class ClipCaptureWindow;
class IVideoFiles;

class ClipCapture final : public ICapture {
public:
    // files: not owned, outlives this.
    ClipCapture(IVideoFiles& files, std::string strPath);
    ~ClipCapture() override;

    ClipCapture(const ClipCapture&) = delete;
    ClipCapture& operator=(const ClipCapture&) = delete;

    const std::string& Name() const { return m_strName; }

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
    ClipCaptureWindow* Find(HCAPWND h) const;
    void OnViewEnded(HCAPWND h);

    IVideoFiles& m_files;
    const std::string m_strPath;
    const std::string m_strName;
    // Handles are numbers never given twice.
    uintptr_t m_nLastHandle = 0;
    std::map<HCAPWND, std::unique_ptr<ClipCaptureWindow>> m_windows;
};
