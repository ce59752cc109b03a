#pragma once
// Show-window service for tests: makes FakeShowWindows and keeps every one
// it made, destroyed or not, until it ends itself.

#include <memory>
#include <vector>

#include "platform/ShowWindow.h"
#include "tests/fakes/FakeShowWindow.h"

class FakeShowWindows final : public IShowWindows {
public:
    IShowWindow* Create(IShowWindowHandler& handler) override;

    // Every window made, oldest first; null before the first.
    size_t Count() const { return m_windows.size(); }
    FakeShowWindow* Last() const { return m_windows.empty() ? nullptr : m_windows.back().get(); }

private:
    std::vector<std::unique_ptr<FakeShowWindow>> m_windows;
};
