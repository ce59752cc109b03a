#include "platform/qt/QtSettingsFile.h"

#include <sys/stat.h>

#include <QSettings>
#include <QStringList>
#include <cerrno>
#include <cstring>

namespace {

// Far more than the dozen keys a venue writes.
constexpr off_t MAX_SETTINGS_BYTES = 64 * 1024;

}  // namespace

bool ReadSettingsFile(const std::string& path, std::map<std::string, std::string>& values,
                      std::string& error) {
    values.clear();
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
        return false;
    }
    if (st.st_size > MAX_SETTINGS_BYTES) {
        error = "larger than " + std::to_string(MAX_SETTINGS_BYTES / 1024) + " KiB";
        return false;
    }
    QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        error = "not a settings file (INI)";
        return false;
    }
    for (const QString& key : settings.allKeys()) {
        const QVariant value = settings.value(key);
        // An unquoted comma makes a list; the text was meant as it stands.
        const QString text = value.typeId() == QMetaType::QStringList
                                 ? value.toStringList().join(QStringLiteral(","))
                                 : value.toString();
        values[key.toStdString()] = text.toStdString();
    }
    return true;
}
