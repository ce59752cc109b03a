#include "tests/fakes/FakeShowWindows.h"

IShowWindow* FakeShowWindows::Create(IShowWindowHandler& handler) {
    m_windows.push_back(std::make_unique<FakeShowWindow>(handler));
    FakeShowWindow* pWnd = m_windows.back().get();
    handler.OnAttach(pWnd);
    handler.OnInitDialog();
    return pWnd->Destroyed() ? nullptr : pWnd;
}
