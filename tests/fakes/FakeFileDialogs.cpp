#include "tests/fakes/FakeFileDialogs.h"

#include "platform/Dialog.h"

int FakeFileDialogs::RunOpenFile(const OpenFileRequest& request, IDialog* pOwner,
                                 std::vector<std::string>& paths) {
    m_requests.push_back(request);
    m_owners.push_back(pOwner);
    paths.clear();
    if (!m_answers.empty()) {
        paths = std::move(m_answers.front());
        m_answers.pop_front();
    }
    return paths.empty() ? IDCANCEL : IDOK;
}
