#include "platform/qt/QtText.h"

#include <iconv.h>

#include <QStringDecoder>
#include <cerrno>
#include <string>

namespace {

// A whole string decoded as code page 949 into UTF-8.
std::string Cp949ToUtf8(std::string_view bytes) {
    static const char kReplacement[] = "\xEF\xBF\xBD";
    std::string out;
    iconv_t cd = iconv_open("UTF-8", "CP949");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        for (size_t i = 0; i < bytes.size(); ++i) out += kReplacement;
        return out;
    }
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // Not a character of the code page, or cut short at the end.
            out += kReplacement;
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

QString DisplayText(std::string_view bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) return text;
    return QString::fromStdString(Cp949ToUtf8(bytes));
}
