// The terrain brush and autotiling: a click on the largest map (its own time matters), a
// 1000 x 1000 terrain fill beside stamping the same rectangle, and a map made from a
// 10000 x 10000 picture of terrain colours beside decoding that picture alone.

#include "Autotile.h"
#include "MapDocument.h"
#include "PictureFormats.h"
#include "RatioReporter.h"
#include "TerrainGen.h"
#include "TerrainPainter.h"
#include "WangMatcher.h"

#include <QCoreApplication>
#include <QImageWriter>
#include <QTemporaryDir>
#include <cmath>
#include <memory>

namespace {

const TWangSet& cornerSet()
{
    static const TWangSet set = TerrainGen::CompleteSet(TWangType::Corner, 3);
    return set;
}

const TWangMatcher& matcher()
{
    static const TWangMatcher m = [] {
        std::array<double, 256> odds;
        odds.fill(1.0);
        return TWangMatcher(cornerSet(), odds);
    }();
    return m;
}

void Terrain_ClickOnLargestMap(benchmark::State& state)
{
    static std::unique_ptr<TMapDocument> doc = [] {
        auto d = std::make_unique<TMapDocument>();
        d->NewMap(TMapDocument::MaxMapSize, TMapDocument::MaxMapSize);
        return d;
    }();
    TCellRng rng(3);
    int n = 0;
    for (auto _ : state) {
        TTerrainPainter p(*doc, matcher());
        const QPoint place(2 * int(rng.Below(TMapDocument::MaxMapSize)),
                           2 * int(rng.Below(TMapDocument::MaxMapSize)));
        p.PaintPlaces(std::span(&place, 1), uint8_t(1 + (++n % 3)));
        p.Commit(*doc);
    }
}

constexpr int FillSide = 1000;
const TCellRect FillRect{500, 500, 500 + FillSide - 1, 500 + FillSide - 1};

TMapDocument& fillDocument()
{
    static std::unique_ptr<TMapDocument> doc = [] {
        auto d = std::make_unique<TMapDocument>();
        d->NewMap(2000, 2000);
        return d;
    }();
    return *doc;
}

void Terrain_Fill1000(benchmark::State& state)
{
    TMapDocument& doc = fillDocument();
    int n = 0;
    for (auto _ : state) {
        TTerrainPainter p(doc, matcher());
        p.FillRect(FillRect, uint8_t(2 + (++n % 2)));
        p.Commit(doc);
    }
}

void Doc_Stamp1000(benchmark::State& state)
{
    TMapDocument& doc = fillDocument();
    int n = 0;
    for (auto _ : state) {
        doc.SetGroupSingle(uint8_t(++n % 2));
        doc.StampGroup(FillRect);
    }
}

// Blobs of the three terrains, as a generated world would have.
QString terrainPicture()
{
    static QTemporaryDir dir;
    static const QString name = [] {
        const int side = 10000; // the corners of the largest map
        QImage picture(side, side, QImage::Format_RGB32);
        for (int y = 0; y < side; ++y) {
            auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < side; ++x) {
                const double v =
                    std::sin(x * 0.031) + std::cos(y * 0.027) + 0.6 * std::sin((x + 2 * y) * 0.011);
                row[x] = TerrainGen::Palette(v < -0.5 ? 1 : v < 0.7 ? 2 : 3).rgb();
            }
        }
        const QString file = dir.filePath(QStringLiteral("terrain.png"));
        QImageWriter writer(file);
        writer.setQuality(90); // fast deflate: the picture is made once per run
        writer.write(picture);
        return file;
    }();
    return name;
}

std::optional<QImage> decode()
{
    static const TPictureFormats formats = TPictureFormats::WithQtFormats();
    return formats.LoadPicture(terrainPicture());
}

void Baseline_DecodePicture(benchmark::State& state)
{
    terrainPicture(); // made before the timing
    for (auto _ : state) {
        std::optional<QImage> picture = decode();
        if (!picture || picture->width() != 10000)
            state.SkipWithError("the picture did not decode");
        benchmark::DoNotOptimize(picture);
    }
}

void Terrain_Autotile10000(benchmark::State& state)
{
    terrainPicture();
    for (auto _ : state) {
        std::optional<QImage> picture = decode();
        if (!picture) {
            state.SkipWithError("the picture did not decode");
            break;
        }
        std::vector<uint8_t> cells(size_t(TMapDocument::MaxMapSize) * TMapDocument::MaxMapSize);
        const TAutotileResult made = AutotileCells(*picture, cornerSet(), matcher(), cells);
        if (!made.Ok() || made.Unmatched)
            state.SkipWithError("autotile failed");
        benchmark::DoNotOptimize(cells.data());
    }
}

} // namespace

BENCHMARK(Terrain_ClickOnLargestMap)->Unit(benchmark::kMicrosecond);
BENCHMARK(Doc_Stamp1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Terrain_Fill1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Baseline_DecodePicture)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Terrain_Autotile10000)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return RunWithRatios(argc, argv,
                         {
                             {"Terrain_Fill1000", "Doc_Stamp1000", 5.0},
                             {"Terrain_Autotile10000", "Baseline_DecodePicture", 3.0},
                         },
                         {{"Terrain_ClickOnLargestMap", 1.0}});
}
