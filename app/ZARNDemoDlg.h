#pragma once
// The launcher: picks the clip or the camera and the wave list, opens and
// closes the detection window and the gate show. And the about box.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "detect/DetectLauncher.h"
#include "platform/DialogBase.h"

class IListControl;

// What the launcher does by itself once it is on screen, as if its controls
// had been used in this order: "Wave Open" and "등록" with the wave list, then
// "Avi Open" with the clip and "Show and Detect and wave play", or the camera
// box ticked with camera position nCamera chosen and the same button, or
// command 1000. Empty: it waits for clicks.
struct LauncherStart {
    std::string strWaveList;
    std::string strClip;
    int nCamera = -1;
    bool bGate = false;
    // The detection show starts again when its segment runs out.
    bool bRepeat = false;
    // How every camera show ranks the live picture (CAMERA_DETECT_*).
    int nCameraDetect = CAMERA_DETECT_OFF;
    // Called once all of it has been done (whether the shows opened or not).
    std::function<void()> onStarted;
};

class CZARNDemoDlg : public CDialogBase, public IDetectLauncher {
public:
    CZARNDemoDlg();
    explicit CZARNDemoDlg(LauncherStart start);
    ~CZARNDemoDlg() override;

    // Deletes a gate show that is still open, then destroys the window and
    // with it the windows it owns.
    bool DestroyWindow() override;
    int OnInitDialog() override;
    void OnCommand(int nId) override;
    void OnSysCommand(unsigned nId) override;
    void OnShown() override;
    void PostNcDestroy() override;

    void OnGateShow();
    void OnAviOpen();
    void OnShowDetect();
    void OnWaveOpen();
    void OnWaveRegister();
    void OnUseCamera();
    // Adds the names of the wave list at path to the list box.
    void LoadWaveList(const std::string& path);

    // What the detection window reads while it initialises. The wave count
    // never exceeds the entries the list box holds.
    int GetCaptureDriver() const override;
    int GetUseCamera() const override { return m_bUseCamera; }
    int GetWaveCount() const override;
    std::string GetWaveName(int n) const override;
    std::string GetWaveFolder() const override { return m_strWaveFolder; }
    std::string GetAviPath() const override { return m_strAviPath; }
    int GetRepeat() const override { return m_start.bRepeat ? 1 : 0; }
    int GetCameraDetect() const override { return m_start.nCameraDetect; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;

private:
    // The first file chosen in an open-file dialog; empty when cancelled.
    std::string ChooseFile(const char* pszDefExt, const char* pszFilter);
    void RunStart();
    // The wave list chosen: its path and its folder.
    void SetWaveListPath(const std::string& path);

    int32_t m_bCameraChecked = 0;
    std::string m_strWaveFolder;
    int32_t m_nWaveCount = 0;
    IListControl* m_cbCaptureDriver = nullptr;
    std::vector<int> m_captureDrivers;  // driver index of each entry of m_cbCaptureDriver
    IListControl* m_lbWaveNames = nullptr;
    std::string m_strAviPath;
    std::string m_strWaveListPath;
    int32_t m_bUseCamera = 0;
    const IconResource* m_hIcon;
    LauncherStart m_start;
};

class CAboutDlg : public CDialogBase {
public:
    CAboutDlg();
};
