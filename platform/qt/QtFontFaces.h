#pragma once
// Font faces of Korean Windows are not installed on Linux; the Nanum fonts
// stand in for them: NanumMyeongjo for the serif (Batang, Gungsuh) faces,
// NanumGothic for the sans ones (Gulim, Dotum, Malgun Gothic), for any other
// Hangul name and for no name at all. An installed face is used as it is.

#include <QString>

QString StandInFace(const QString& face);
