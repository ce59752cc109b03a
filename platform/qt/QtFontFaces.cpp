#include "platform/qt/QtFontFaces.h"

#include <QFontDatabase>
#include <algorithm>

namespace {

bool HasHangul(const QString& s) {
    return std::any_of(s.begin(), s.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0x1100 && u <= 0x11FF) ||
               (u >= 0x3130 && u <= 0x318F);
    });
}

}  // namespace

QString StandInFace(const QString& face) {
    if (!face.isEmpty() && QFontDatabase::hasFamily(face)) return face;
    static const char* const kSerif[] = {"바탕",   "바탕체",    "궁서",    "궁서체",
                                         "Batang", "BatangChe", "Gungsuh", "GungsuhChe"};
    for (const char* serif : kSerif)
        if (face.compare(QString::fromUtf8(serif), Qt::CaseInsensitive) == 0)
            return "NanumMyeongjo";
    static const char* const kSans[] = {"굴림",  "굴림체",   "돋움",  "돋움체",   "맑은 고딕",
                                        "Gulim", "GulimChe", "Dotum", "DotumChe", "Malgun Gothic"};
    for (const char* sans : kSans)
        if (face.compare(QString::fromUtf8(sans), Qt::CaseInsensitive) == 0) return "NanumGothic";
    if (face.isEmpty() || HasHangul(face)) return "NanumGothic";
    return face;
}
