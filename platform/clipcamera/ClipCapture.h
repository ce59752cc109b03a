#pragma once
// A capture service whose one driver (index 0) is a clip standing in for a
// camera: listed as "Clip camera (NAME)", NAME the clip's file name, it
// delivers the clip's frames looping, at the clip's size and frame rate, as
// packed 24-bit frames from a thread of its own, through the same calls as a
// real camera. The clip is read through the video-file service, as an AVI
// file with the reader's limits, each time a window connects. Install with
// platform::SetCapture (usually combined with the real cameras, see
// platform/CombinedCapture.h); it must outlive every capture window.

#include <memory>
#include <string>

#include "platform/CaptureService.h"

class IVideoFiles;

class ClipCapture final : public CaptureService {
public:
    // files: not owned, outlives this.
    ClipCapture(IVideoFiles& files, std::string strPath);
    ~ClipCapture() override;

    int GetDriverDescription(int nDriver, char* pszName, int cbName, char* pszVersion,
                             int cbVersion) override;

private:
    std::unique_ptr<ICaptureWindow> MakeWindow(const CaptureWindowPlace& place,
                                               HCAPWND hWnd) override;

    IVideoFiles& m_files;
    const std::string m_strPath;
    const std::string m_strName;
};
