// Saves what an X display shows as a PNG, cropped to the area that is not
// background: on a bare virtual display that is exactly the program's window.
// Exits with 3 while the screen shows nothing but background. Used by the
// demonstration that `make run` gives on a machine without a desktop.
//
//   tarvik-grabscreen OUTPUT.png

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

namespace {

QRect contentRect(const QImage& image)
{
    // The program's window sits at the top left, so the opposite corner shows
    // the background.
    const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
    int left = image.width();
    int top = image.height();
    int right = -1;
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == background)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    QGuiApplication application(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "no screen to grab\n");
        return 1;
    }
    const QImage image = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    const QRect content = contentRect(image);
    if (content.isEmpty()) {
        std::fprintf(stderr, "the screen shows nothing yet\n");
        return 3;
    }
    if (!image.copy(content).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
