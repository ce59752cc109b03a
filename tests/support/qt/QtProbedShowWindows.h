#pragma once
// The Qt host's show windows, each with a QtWindowProbe between it and its
// handler. Probes are kept, their windows ended or not, until this ends.

#include <memory>
#include <vector>

#include "platform/qt/QtShowWindows.h"
#include "tests/support/qt/QtWindowProbe.h"

class QtProbedShowWindows final : public IShowWindows {
public:
    IShowWindow* Create(IShowWindowHandler& handler) override;

    void SetMainWindow(QWidget* pMainWindow) { m_host.SetMainWindow(pMainWindow); }
    // The probe of the last window asked for; null before the first.
    QtWindowProbe* Last() const { return m_probes.empty() ? nullptr : m_probes.back().get(); }

private:
    QtShowWindows m_host;
    std::vector<std::unique_ptr<QtWindowProbe>> m_probes;
};
