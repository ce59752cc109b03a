#include "app/ZARNDemoDlg.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "app/ShowOwner.h"
#include "detect/CaptureDriverList.h"
#include "platform/DataExchange.h"
#include "platform/FileDialog.h"
#include "platform/ListControl.h"
#include "res/Resources.h"
#include "res/resource.h"

CZARNDemoDlg::CZARNDemoDlg() : CZARNDemoDlg(LauncherStart{}) {}

CZARNDemoDlg::CZARNDemoDlg(LauncherStart start)
    : CDialogBase(LauncherTemplate()), m_hIcon(&AppIcon()), m_start(std::move(start)) {}

CZARNDemoDlg::~CZARNDemoDlg() = default;

void CZARNDemoDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_CAPTURE_DRIVER, m_cbCaptureDriver);
    DDX_Control(pDX, IDC_WAVE_NAMES, m_lbWaveNames);
    DDX_Text(pDX, IDC_AVI_PATH, m_strAviPath);
    DDX_Text(pDX, IDC_WAVE_LIST_PATH, m_strWaveListPath);
    DDX_Check(pDX, IDC_USE_CAMERA, m_bUseCamera);
}

int CZARNDemoDlg::OnInitDialog() {
    CDialogBase::OnInitDialog();

    if (m_pWnd->HasSystemMenu()) {
        const std::string strAboutMenu = LoadResString(IDS_ABOUTBOX);
        if (!strAboutMenu.empty()) {
            m_pWnd->AppendSystemMenu(MF_SEPARATOR, 0, std::string());
            m_pWnd->AppendSystemMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
        }
    }

    m_pWnd->SetIcon(*m_hIcon, true);
    m_pWnd->SetIcon(*m_hIcon, false);

    m_captureDrivers = FillCaptureDriverList(*m_cbCaptureDriver);

    UpdateData(false);
    return 1;
}

void CZARNDemoDlg::OnCommand(int nId) {
    switch (nId) {
        case ID_GATE_SHOW:
            OnGateShow();
            break;
        case IDC_AVI_OPEN:
            OnAviOpen();
            break;
        case IDC_SHOW_DETECT:
            OnShowDetect();
            break;
        case IDC_WAVE_OPEN:
            OnWaveOpen();
            break;
        case IDC_WAVE_REGISTER:
            OnWaveRegister();
            break;
        case IDC_USE_CAMERA:
            OnUseCamera();
            break;
        default:
            CDialogBase::OnCommand(nId);
    }
}

void CZARNDemoDlg::OnSysCommand(unsigned nId) {
    if ((nId & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        CDialogBase::OnSysCommand(nId);
    }
}

void CZARNDemoDlg::OnShown() {
    RunStart();
    if (m_start.onStarted) m_start.onStarted();
}

void CZARNDemoDlg::RunStart() {
    if (!m_start.strWaveList.empty()) {
        SetWaveListPath(m_start.strWaveList);
        UpdateData(false);
        OnWaveRegister();
    }
    if (!m_start.strClip.empty()) {
        m_strAviPath = m_start.strClip;
        UpdateData(false);
        OnShowDetect();
    } else if (m_start.nCamera >= 0) {
        const int nCameras = m_cbCaptureDriver ? m_cbCaptureDriver->GetCount() : 0;
        if (m_start.nCamera >= nCameras) {
            std::fprintf(stderr, "zarndemo: camera %d is not in the list (%d found)\n",
                         m_start.nCamera, nCameras);
            return;
        }
        m_cbCaptureDriver->SetCurSel(m_start.nCamera);
        // As a click: the box ticks itself, then the launcher follows.
        m_pWnd->CheckDlgButton(IDC_USE_CAMERA, 1);
        OnUseCamera();
        OnShowDetect();
    }
    if (m_start.bGate) OnGateShow();
}

void CZARNDemoDlg::OnGateShow() { ShowOwner().OpenGateShow(); }

std::string CZARNDemoDlg::ChooseFile(const char* pszDefExt, const char* pszFilter) {
    OpenFileRequest request;
    request.strDefExt = pszDefExt;
    request.dwFlags = OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT;
    request.strFilter = pszFilter;
    std::vector<std::string> paths;
    // Several files may be chosen; the launcher works with one, the first.
    if (platform::FileDialogs().RunOpenFile(request, m_pWnd, paths) != IDOK || paths.empty())
        return {};
    return paths.front();
}

void CZARNDemoDlg::OnAviOpen() {
    const std::string path = ChooseFile("Avi", "Avi Files (*.avi)|*.avi||");
    if (!path.empty()) m_strAviPath = path;
    UpdateData(false);
}

void CZARNDemoDlg::OnShowDetect() {
    UpdateData(true);
    ShowOwner().OpenDetectShow(*this);
}

void CZARNDemoDlg::OnUseCamera() {
    if (m_bCameraChecked) {
        m_bCameraChecked = 0;
        m_pWnd->ShowDlgItem(IDC_AVI_OPEN, true);
    } else {
        m_bCameraChecked = 1;
        m_pWnd->ShowDlgItem(IDC_AVI_OPEN, false);
    }
    m_pWnd->CheckDlgButton(IDC_USE_CAMERA, m_bCameraChecked);
}

bool CZARNDemoDlg::DestroyWindow() {
    ShowOwner().DeleteGateShow();
    // The detection window goes with the launcher's window, which owns it.
    return CDialogBase::DestroyWindow();
}

void CZARNDemoDlg::PostNcDestroy() {
    // The controls go with the window.
    m_cbCaptureDriver = nullptr;
    m_lbWaveNames = nullptr;
    CDialogBase::PostNcDestroy();
}

int CZARNDemoDlg::GetCaptureDriver() const {
    return m_cbCaptureDriver ? CaptureDriverAt(m_captureDrivers, m_cbCaptureDriver->GetCurSel())
                             : LB_ERR;
}

int CZARNDemoDlg::GetWaveCount() const {
    // Entries that the list never gained (a count with no names after it)
    // would name no file.
    return std::clamp(m_nWaveCount, 0, m_lbWaveNames ? m_lbWaveNames->GetCount() : 0);
}

std::string CZARNDemoDlg::GetWaveName(int n) const {
    return m_lbWaveNames ? m_lbWaveNames->GetText(n) : std::string();
}

CAboutDlg::CAboutDlg() : CDialogBase(AboutTemplate()) {}
