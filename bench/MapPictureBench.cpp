// The full-map picture of a 256 x 256 map of 32 x 32 parts (8192 x 8192 pixels): as BMP
// beside writing the same number of bytes raw through the same safe write, and as PNG
// beside deflating the same raw rows with zlib at the same level on one thread.

#include "FileWrite.h"
#include "MapPicture.h"
#include "RatioReporter.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <vector>
#include <zlib.h>

namespace {

constexpr int MapSide = 256;
constexpr int PartSide = 32;
constexpr int PngLevel = 1;

QString tempFile(const char* name)
{
    static QTemporaryDir dir;
    return dir.filePath(QString::fromLatin1(name));
}

const std::vector<uint8_t>& cells()
{
    static const std::vector<uint8_t> c = [] {
        std::vector<uint8_t> v(size_t(MapSide) * MapSide);
        QRandomGenerator random(7);
        for (uint8_t& b : v)
            b = uint8_t(random.bounded(256));
        return v;
    }();
    return c;
}

// Parts drawn from a 16-colour palette, as pixel art is.
const std::array<QImage, 256>& parts()
{
    static const std::array<QImage, 256> p = [] {
        std::array<QImage, 256> a;
        QRandomGenerator random(11);
        QRgb palette[16];
        for (QRgb& c : palette)
            c = 0xff000000u | (random.generate() & 0xffffffu);
        for (QImage& part : a) {
            part = QImage(PartSide, PartSide, QImage::Format_RGB32);
            for (int y = 0; y < PartSide; ++y)
                for (int x = 0; x < PartSide; ++x)
                    part.setPixel(x, y, palette[random.bounded(16)]);
        }
        return a;
    }();
    return p;
}

TMapPictureOptions options(TMapPictureFormat format)
{
    TMapPictureOptions o;
    o.Format = format;
    o.Cell = QSize(PartSide, PartSide);
    o.PngLevel = PngLevel;
    return o;
}

void write(benchmark::State& state, const char* name, TMapPictureFormat format)
{
    const QString file = tempFile(name);
    for (auto _ : state) {
        if (!WriteMapPicture(file, cells(), MapSide, MapSide, parts(), options(format)))
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() * QFile(file).size());
}

void Map_Bmp(benchmark::State& state)
{
    write(state, "map.bmp", TMapPictureFormat::Bmp);
}

void Map_Png(benchmark::State& state)
{
    write(state, "map.png", TMapPictureFormat::Png);
}

// The BMP's bytes, in pieces of 4 MB, through the same safe write.
void Baseline_RawWrite(benchmark::State& state)
{
    const qint64 bytes = PlanMapPicture(MapSide, MapSide, options(TMapPictureFormat::Bmp)).Bytes;
    const QByteArray piece(4 << 20, 'x');
    const QString file = tempFile("raw.bin");
    for (auto _ : state) {
        const bool ok = WriteFileWhole(file, [&](QIODevice& device) {
                            for (qint64 left = bytes; left > 0; left -= piece.size()) {
                                const qint64 n = std::min<qint64>(left, piece.size());
                                if (device.write(piece.constData(), n) != n)
                                    return false;
                            }
                            return true;
                        }).Ok;
        if (!ok)
            state.SkipWithError("raw write failed");
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

// The picture's rows as PNG filters them (a filter byte, then RGB), deflated in one stream.
void Baseline_DeflateRows(benchmark::State& state)
{
    TMapPictureRenderer renderer(cells(), MapSide, MapSide, parts(), QSize(PartSide, PartSide),
                                 TPixelOrder::Rgb);
    const qint64 width = renderer.Width(), height = renderer.Height();
    const size_t rowBytes = size_t(width) * 3 + 1;
    std::vector<uchar> rows(rowBytes * size_t(height), 0);
    for (qint64 y = 0; y < height; ++y)
        renderer.RenderRows(y, 1, rows.data() + rowBytes * size_t(y) + 1, 0, 0, width);
    std::vector<uchar> out(1 << 16);
    for (auto _ : state) {
        z_stream z{};
        deflateInit(&z, PngLevel);
        z.next_in = rows.data();
        z.avail_in = uInt(rows.size());
        int result = Z_OK;
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            result = deflate(&z, Z_FINISH);
        } while (result == Z_OK);
        deflateEnd(&z);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * qint64(rows.size()));
}

#define QM_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0)

QM_BENCH(Baseline_RawWrite);
QM_BENCH(Map_Bmp);
QM_BENCH(Baseline_DeflateRows);
QM_BENCH(Map_Png);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return RunWithRatios(argc, argv,
                         {
                             {"Map_Bmp", "Baseline_RawWrite", 1.5},
                             {"Map_Png", "Baseline_DeflateRows", 1.0},
                         });
}
