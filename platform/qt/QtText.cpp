#include "platform/qt/QtText.h"

#include <QStringDecoder>

#include "platform/CodePage949.h"

QString DisplayText(std::string_view bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) return text;
    return QString::fromStdString(Cp949ToUtf8(bytes));
}
