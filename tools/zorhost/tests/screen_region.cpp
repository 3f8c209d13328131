// What a region of a window shows on the screen, for the scripts that test windows on a
// display: the number of distinct colours in it and a hash of its pixels.
//
//   screen_region WINDOW X Y WIDTH HEIGHT   (WINDOW: an X window id; the region in its pixels)
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: screen_region WINDOW X Y WIDTH HEIGHT\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return 1;
    const QImage image =
        screen
            ->grabWindow(static_cast<WId>(std::stoull(argv[1], nullptr, 0)), std::stoi(argv[2]),
                         std::stoi(argv[3]), std::stoi(argv[4]), std::stoi(argv[5]))
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) return 1;
    std::set<QRgb> colours;
    std::uint64_t hash = 14695981039346656037ull;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            colours.insert(pixel);
            hash = (hash ^ pixel) * 1099511628211ull;
        }
    }
    std::printf("colours=%zu hash=%016llx\n", colours.size(), static_cast<unsigned long long>(hash));
    return 0;
}
