// Writes the program's icon into an icon theme folder as PNG files:
// DIR/32x32/apps/zarndemo.png and DIR/16x16/apps/zarndemo.png.

#include <QDir>
#include <QImage>
#include <cstdio>

#include "res/Resources.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ICON-THEME-DIR\n", argv[0]);
        return 2;
    }
    for (const IconImage& image : AppIcon().images) {
        const QString folder =
            QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(image.nSize);
        const QString path = folder + "/zarndemo.png";
        if (!QDir().mkpath(folder) || !QImage(image.ppXpm).save(path, "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(path));
            return 1;
        }
    }
    return 0;
}
