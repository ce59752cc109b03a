#include "app/ZARNDemo.h"

#include "app/ZARNDemoDlg.h"
#include "detect/ShowWaveDlg.h"
#include "gateshow/ShowDlg.h"

CZARNDemoApp theApp;

int CZARNDemoApp::InitInstance() {
    CZARNDemoDlg dlg;
    platform::Dialogs().SetMainWindow(&dlg);
    dlg.DoModal();
    platform::Dialogs().SetMainWindow(nullptr);
    return 0;
}

int CZARNDemoApp::ExitInstance() {
    // The launcher's end takes its windows along; this only catches a window
    // that outlived it.
    if (g_pDetectShow) g_pDetectShow->CloseShow();
    g_bDetectShowOpen = false;
    delete g_pGateShow;
    g_bGateShowOpen = false;
    return 0;
}
