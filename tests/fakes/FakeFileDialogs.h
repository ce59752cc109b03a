#pragma once
// File dialog service for tests: answers each dialog from a queue set up by
// the test (confirmed with given paths, or cancelled; cancelled when the
// queue is empty) and records what each dialog was asked to show.

#include <deque>
#include <string>
#include <vector>

#include "platform/FileDialog.h"

class FakeFileDialogs final : public IFileDialogs {
public:
    void Confirm(std::vector<std::string> paths) { m_answers.push_back(std::move(paths)); }
    void Cancel() { m_answers.emplace_back(); }

    int RunOpenFile(const OpenFileRequest& request, IDialog* pOwner,
                    std::vector<std::string>& paths) override;

    const std::vector<OpenFileRequest>& Requests() const { return m_requests; }
    const std::vector<IDialog*>& Owners() const { return m_owners; }

private:
    std::deque<std::vector<std::string>> m_answers;
    std::vector<OpenFileRequest> m_requests;
    std::vector<IDialog*> m_owners;
};
