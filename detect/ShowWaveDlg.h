#pragma once
// The detection window: plays a clip full-screen with its red-channel copy
// over it, ranks a 7 x 3 grid of that copy about every 0.85 s, outlines the
// top, middle and bottom cells and plays the sounds of their numbers.
// In camera mode it shows the chosen camera's live preview instead and
// measures nothing, unless the launcher asks it to rank the live picture: by
// red level as a clip's, or by how much the red level changed since the tick
// before.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "detect/CellScore.h"
#include "detect/ChannelHandOver.h"
#include "detect/DetectLauncher.h"
#include "detect/ShowWaveOsc.h"
#include "platform/BitmapInfo.h"
#include "platform/Capture.h"
#include "platform/ShowWindow.h"
#include "sound/SoundBank.h"
#include "video/AviControl.h"

class IDeviceContext;

// Display kinds: which display buffer and header ShowImage uses.
constexpr int VIEW_GRAY = 1;
constexpr int VIEW_CELL = 2;
constexpr int VIEW_COLOR = 3;

constexpr uintptr_t TIMER_FRAME = 0;
constexpr uintptr_t TIMER_PLAY = 1;

// A ranking comes once the tick counter, three a tick, passes this divided by
// the frame period: about every 0.85 s.
constexpr unsigned RANKING_INTERVAL_MS = 2500;

constexpr int DETECT_SCREEN_WIDTH = 1024;
constexpr int DETECT_SCREEN_HEIGHT = 768;

// The camera preview's area at the window's top-left, and its frame pacing.
constexpr int CAPTURE_WINDOW_WIDTH = 720;
constexpr int CAPTURE_WINDOW_HEIGHT = 480;
constexpr unsigned CAPTURE_PREVIEW_RATE_MS = 30;
// The frame tick of a camera that reports no frame interval.
constexpr unsigned CAMERA_FRAME_PERIOD_MS = 40;

// Headers come from malloc because their size depends on the colour table.
struct BitmapInfoFree {
    void operator()(BITMAPINFO* p) const { std::free(p); }
};
using BitmapInfoPtr = std::unique_ptr<BITMAPINFO, BitmapInfoFree>;

class CShowWaveDlg : public IShowWindowHandler {
public:
    // pOwner: where the launcher's values are read during initialisation;
    // must outlive the call to Create. pPassDriver: runs the sound bank's
    // passes instead of its worker thread (see sound/PassDriver.h); null for
    // the worker.
    explicit CShowWaveDlg(const IDetectLauncher* pOwner, IPassDriver* pPassDriver = nullptr);
    ~CShowWaveDlg() override;

    CShowWaveDlg(const CShowWaveDlg&) = delete;
    CShowWaveDlg& operator=(const CShowWaveDlg&) = delete;

    // Makes the window and runs its initialisation. False when the window did
    // not survive it (bad clip, camera refused); the object is then already
    // deleted and g_pDetectShow cleared. Objects must come from new: the
    // window deletes its object when it is destroyed.
    bool Create();
    // Clears g_bDetectShowOpen, frees the buffers and destroys the window,
    // which deletes this object.
    void CloseShow();

    IShowWindow* GetWindow() const { return m_pWnd; }

    void OnAttach(IShowWindow* pWnd) override;
    int OnInitDialog() override;
    void OnTimer(uintptr_t nIDEvent) override;
    void OnRButtonDown(unsigned nFlags, int x, int y) override;
    void PostNcDestroy() override;
    AccessibleText Accessible() const override;

    // A sound asked for from outside, played as a ranking plays a cell's: 1
    // when accepted, -1 when the bank holds no clip index.
    int PlayWave(uint32_t index) { return m_soundBank.Play(index); }
    uint32_t WaveCount() const { return m_soundBank.ClipCount(); }

    // A captured frame of nBytes, on the capture service's thread: counted,
    // and with detection on, its red channel handed to the frame tick.
    void OnCameraFrame(const uint8_t* pData, size_t nBytes);

    void DrawCellOutline(int x, int y, int w, int h, int i);
    void ShowImage(IDeviceContext* dc, const uint8_t* pImage, int x, int y, int w, int h,
                   int nKind);

    // Ranks the rows x cols cells of a packed top-down 8-bit image by mean
    // level; out[0] the highest, out[1] the middle place, out[2] the lowest.
    static void RankCells(const uint8_t* pImage, int W, int H, int rows, int cols,
                          CellScore out[3]);
    // A header for a packed bottom-up bitmap of 1 (grey ramp) or 3 bytes per
    // pixel; null for other byte counts.
    static BitmapInfoPtr MakeBitmapInfo(int w, int h, int nBytesPerPixel);
    // Top-down image to bottom-up display buffer; 3 bytes per pixel also
    // turns red-green-blue into blue-green-red.
    static void FlipToView(const uint8_t* pSrc, uint8_t* pView, int w, int h, int nBytesPerPixel);

    // Read-only views for the launcher and tests.
    const CellScore* ChosenCells() const { return m_chosenCells; }
    uint32_t FramePeriod() const { return m_nFramePeriod; }
    int32_t TickCount() const { return m_nTickCount; }
    int32_t CurCell() const { return m_nCurCell; }
    int32_t CellWidth() const { return m_nCellWidth; }
    int32_t CellHeight() const { return m_nCellHeight; }
    int32_t PicLeft() const { return m_nPicLeft; }
    int32_t PicTop() const { return m_nPicTop; }
    const CAviControl& Avi() const { return m_avi; }
    const CSoundBank& SoundBank() const { return m_soundBank; }
    uint32_t CameraFrames() const { return m_nCameraFrames.load(); }
    bool UsesCamera() const { return m_bUseCamera != 0; }
    // CAMERA_DETECT_OFF outside camera mode.
    int CameraDetect() const { return m_nCameraDetect; }
    // Camera frames a newer one replaced before a frame tick took them.
    uint64_t CameraFramesDropped() const { return m_handOver.Dropped(); }
    // Times the clip has started again from its first frame.
    uint32_t Repeats() const { return m_nRepeats; }

private:
    void FrameTick();
    void UpdateUnseenChannel(bool bRank);
    // Ranks the grid of a packed top-down W x H image, outlines the three
    // chosen cells over the picture and starts the play tick.
    void RankAndOutline(const uint8_t* pImage, int W, int H);
    void PlayTick();
    bool OpenClip(int& W, int& H);
    bool StartCamera(int nDriver, int& W, int& H);
    void StartCameraDetection(int nDriver, int W, int H);
    void CameraTick();
    void ShowCameraPicture(IDeviceContext& dc);
    void EndCameraDetection();
    void GiveUpCamera();
    void CloseCapture();
    bool AllocateViews(int W, int H);

    const IDetectLauncher* m_pOwner;
    IShowWindow* m_pWnd = nullptr;
    bool m_bDeleting = false;
    bool m_bRepeat = false;
    uint32_t m_nRepeats = 0;

    CellScore m_chosenCells[3] = {};
    int32_t m_bUseCamera = 0;
    CSoundBank m_soundBank;
    int32_t m_nGridCols = 7;
    int32_t m_nGridRows = 3;
    int32_t m_nCurCell = 0;
    uint32_t m_nFramePeriod = 0;
    int32_t m_nTickCount = 0;
    // On a surface nobody sees: the frame the channel would hold by now, if
    // it does not already (-1).
    int64_t m_nUnseenChannelFrame = -1;
    int32_t m_nCellWidth = 0;
    int32_t m_nCellHeight = 0;
    int32_t m_nPicTop = 0;
    int32_t m_nPicLeft = 0;
    BitmapInfoPtr m_pColorBmi;
    BitmapInfoPtr m_pGrayBmi;
    BitmapInfoPtr m_pCellBmi;
    std::unique_ptr<uint8_t[]> m_pColorView;
    std::unique_ptr<uint8_t[]> m_pChannel;
    std::unique_ptr<uint8_t[]> m_pGrayView;
    std::unique_ptr<uint8_t[]> m_pCellView;
    CAviControl m_avi;
    std::string m_strClipPath;
    // Kept past the start-up so that the capture stops before this object goes.
    HCAPWND m_hCapture = nullptr;
    std::atomic<uint32_t> m_nCameraFrames{0};
    int32_t m_nCameraDetect = CAMERA_DETECT_OFF;
    CChannelHandOver m_handOver;
    std::unique_ptr<uint8_t[]> m_pMotion;  // change since the frame before, motion detection only
    CShowWaveOsc m_osc;
};

// The launcher's bookkeeping of the open detection window.
extern bool g_bDetectShowOpen;
extern CShowWaveDlg* g_pDetectShow;

// The window that receives captured frames: set by the camera start-up,
// read on the capture thread, cleared when that window's capture has ended.
extern std::atomic<CShowWaveDlg*> g_pCaptureTarget;

// The capture service's frame callback: hands the frame to g_pCaptureTarget
// when the window, the header, its data and the target are all there.
intptr_t CaptureFrameCallback(HCAPWND hWnd, VIDEOHDR* pHdr);
