#include "platform/qt/QtFileDialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QRegularExpression>

#include "platform/Dialog.h"

QStringList QtFileDialogs::NameFilters(std::string_view filter) {
    const QStringList fields =
        QString::fromUtf8(filter.data(), static_cast<qsizetype>(filter.size())).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < fields.size() && !fields[i].isEmpty(); i += 2) {
        QString description = fields[i];
        description.remove(QRegularExpression(R"(\s*\([^()]*\)\s*$)"));
        QStringList patterns;
        for (const QString& pattern : fields[i + 1].split(';', Qt::SkipEmptyParts)) {
            patterns << pattern.trimmed();
            if (pattern.toUpper() != pattern) patterns << pattern.trimmed().toUpper();
        }
        filters << description + " (" + patterns.join(' ') + ")";
    }
    return filters;
}

int QtFileDialogs::RunOpenFile(const OpenFileRequest& request, IDialog* pOwner,
                               std::vector<std::string>& paths) {
    paths.clear();
    QFileDialog dialog(dynamic_cast<QWidget*>(pOwner));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (request.dwFlags & OFN_ALLOWMULTISELECT)
        dialog.setFileMode(QFileDialog::ExistingFiles);
    else if (request.dwFlags & OFN_FILEMUSTEXIST)
        dialog.setFileMode(QFileDialog::ExistingFile);
    else
        dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = NameFilters(request.strFilter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!request.strDefExt.empty())
        dialog.setDefaultSuffix(QString::fromStdString(request.strDefExt));
    if (!request.strFileName.empty())
        dialog.selectFile(QFile::decodeName(request.strFileName.c_str()));
    if (dialog.exec() != QDialog::Accepted) return IDCANCEL;
    for (const QString& file : dialog.selectedFiles())
        paths.push_back(QFile::encodeName(file).toStdString());
    return paths.empty() ? IDCANCEL : IDOK;
}
