#pragma once
// The launcher: picks the clip or the camera and the wave list, opens and
// closes the detection window and the gate show. And the about box.

#include <cstdint>
#include <string>

#include "detect/DetectLauncher.h"
#include "platform/DialogBase.h"

class IListControl;

class CZARNDemoDlg : public CDialogBase, public IDetectLauncher {
public:
    CZARNDemoDlg();
    ~CZARNDemoDlg() override;

    // Deletes a gate show that is still open, then destroys the window and
    // with it the windows it owns.
    bool DestroyWindow() override;
    int OnInitDialog() override;
    void OnCommand(int nId) override;
    void OnSysCommand(unsigned nId) override;
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

    // For tests.
    int32_t CameraChecked() const { return m_bCameraChecked; }
    int32_t WaveCount() const { return m_nWaveCount; }
    const std::string& WaveListPath() const { return m_strWaveListPath; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;

private:
    // The first file chosen in an open-file dialog; empty when cancelled.
    std::string ChooseFile(const char* pszDefExt, const char* pszFilter);

    int32_t m_bCameraChecked = 0;
    std::string m_strWaveFolder;
    int32_t m_nWaveCount = 0;
    IListControl* m_cbCaptureDriver = nullptr;
    IListControl* m_lbWaveNames = nullptr;
    std::string m_strAviPath;
    std::string m_strWaveListPath;
    int32_t m_bUseCamera = 0;
    const IconResource* m_hIcon;
};

class CAboutDlg : public CDialogBase {
public:
    CAboutDlg();
};
