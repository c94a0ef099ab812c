// Peak memory of writing full-map pictures, above the process's baseline with the map and
// the parts already in memory: a 9999 x 9999 map of 16 x 16 parts as a BMP at cell size 1,
// and as PNG tiles of 8192 x 8192 at the part size. The whole PNG (159,984 pixels square)
// would take most of an hour, so its map is 9999 cells wide but only a few rows high; the
// picture is written a few rows at a time, so the peak does not grow with the rows: the
// run shows this by writing two heights and comparing their peaks.

#include "MapPicture.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // ru_maxrss is in kilobytes
}

constexpr double TargetMB = 64;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const int side = 9999;
    std::vector<uint8_t> cells(size_t(side) * side);
    QRandomGenerator random(3);
    for (size_t i = 0; i < cells.size(); i += 4096)
        cells[i] = uint8_t(random.bounded(256)); // every page touched: in the baseline
    std::array<QImage, 256> parts;
    for (int n = 0; n < 256; ++n) {
        parts[size_t(n)] = QImage(16, 16, QImage::Format_RGB32);
        parts[size_t(n)].fill(qRgb(n, 255 - n, n / 2));
    }
    const double baseline = peakMegabytes();

    TMapPictureOptions png;
    png.Format = TMapPictureFormat::Png;
    png.Cell = QSize(16, 16);
    png.Tile = QSize(8192, 8192);
    double peaks[2] = {};
    const int heights[2] = {24, 96};
    for (int i = 0; i < 2; ++i) {
        // The rows of a 9999-wide map are column-major cells with a stride of the height.
        std::vector<uint8_t> band(size_t(side) * size_t(heights[i]));
        for (size_t k = 0; k < band.size(); ++k)
            band[k] = uint8_t(k * 7);
        const auto r =
            WriteMapPicture(dir.filePath("tiles.png"), band, side, heights[i], parts, png);
        peaks[i] = peakMegabytes() - baseline;
        std::printf("PNG tiles of 9999 x %d cells at 16 x 16: %s, peak %.1f MB above baseline\n",
                    heights[i], r ? "written" : qPrintable(r.Error), peaks[i]);
    }
    const bool flat = peaks[1] - peaks[0] < 4;
    std::printf("the peak does not grow with the rows (%+.1f MB for 4x the rows), so a 9999 x "
                "9999 map takes the same: target under %.0f MB %s\n",
                peaks[1] - peaks[0], TargetMB, flat && peaks[1] < TargetMB ? "ok" : "MISSED");
    // Last, so that its peak is not hidden by the others': ru_maxrss only grows.
    TMapPictureOptions bmp;
    bmp.Cell = QSize(1, 1);
    const auto r = WriteMapPicture(dir.filePath("map.bmp"), cells, side, side, parts, bmp);
    const double afterBmp = peakMegabytes() - baseline;
    std::printf("BMP of 9999 x 9999 cells at 1 x 1: %s, peak so far %.1f MB above baseline "
                "(target under %.0f MB) %s\n",
                r ? "written" : qPrintable(r.Error), afterBmp, TargetMB,
                r && afterBmp < TargetMB ? "ok" : "MISSED");

    return 0;
}
