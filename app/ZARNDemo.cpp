#include "app/ZARNDemo.h"

#include "app/ShowOwner.h"
#include "platform/Dialog.h"

CZARNDemoApp theApp;

int CZARNDemoApp::InitInstance() {
    CZARNDemoDlg dlg(m_start);
    platform::Dialogs().SetMainWindow(&dlg);
    dlg.DoModal();
    platform::Dialogs().SetMainWindow(nullptr);
    return 0;
}

int CZARNDemoApp::ExitInstance() {
    ShowOwner().EndShows();
    return 0;
}
