#pragma once
// The file dialog service on Qt Widgets (QFileDialog). Needs a QApplication.

#include <QStringList>
#include <string_view>

#include "platform/FileDialog.h"

class QtFileDialogs final : public IFileDialogs {
public:
    int RunOpenFile(const OpenFileRequest& request, IDialog* pOwner,
                    std::vector<std::string>& paths) override;

    // "Avi Files (*.avi)|*.avi||" as Qt's name filters: "Avi Files (*.avi *.AVI)".
    // Lower-case patterns also match upper-case names, as the classic dialog
    // did on its case-blind file system.
    static QStringList NameFilters(std::string_view filter);
};
