#include "tests/support/qt/QtProbedShowWindows.h"

IShowWindow* QtProbedShowWindows::Create(IShowWindowHandler& handler) {
    m_probes.push_back(std::make_unique<QtWindowProbe>(handler));
    return m_host.Create(*m_probes.back());
}
