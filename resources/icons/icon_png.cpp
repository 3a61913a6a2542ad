// Writes the window icon as a PNG of the given size for the icon theme.
//
//   quillarc_icon_png ICON.xpm SIZE OUT.png
//
// SIZE must be a whole multiple of the icon's own size: each pixel becomes a
// square block, so the pixel art stays sharp.
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fputs("usage: quillarc_icon_png ICON.xpm SIZE OUT.png\n", stderr);
        return 2;
    }
    const QImage icon(QString::fromLocal8Bit(argv[1]));
    const int size = std::atoi(argv[2]);
    if (icon.isNull() || size <= 0 || size % icon.width() != 0 || size % icon.height() != 0) {
        std::fprintf(stderr, "quillarc_icon_png: cannot make a %s pixel icon of %s\n", argv[2], argv[1]);
        return 1;
    }
    const QImage scaled = icon.convertToFormat(QImage::Format_ARGB32)
                              .scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (!scaled.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "quillarc_icon_png: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
