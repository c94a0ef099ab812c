// The overview of a 9999 x 9999 map: building it beside one memcpy of the cell bytes, a
// 3 x 2 stamp's update, and a part's new colour where the part covers 10% of the cells
// beside the build, all in one run.

#include "MapDocument.h"
#include "MapOverview.h"
#include "PartsStore.h"
#include "PictureFormats.h"
#include "RatioReporter.h"

#include <QGuiApplication>
#include <QRandomGenerator>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int Side = TMapDocument::MaxMapSize;
constexpr size_t Cells = size_t(Side) * Side;
constexpr uint8_t CoveringPart = 7;

struct TFixture
{
    TPictureFormats Formats = TPictureFormats::WithQtFormats();
    TPartsStore Parts{Formats};
    TMapDocument Doc;
    std::unique_ptr<TMapOverview> Overview;

    TFixture()
    {
        Doc.NewMap(Side, Side);
        // Random parts other than the covering one, and that one on 10% of the cells,
        // scattered.
        QRandomGenerator random(11);
        for (uint8_t& cell : Doc.MapCells()) {
            const uint32_t r = random.generate();
            cell = (r % 10 == 0) ? CoveringPart : uint8_t(8 + (r >> 8) % 200);
        }
        for (int n = 0; n < TPartsStore::PartCount; ++n)
            Parts.PartBitmap(n).fill(qRgb(n, 255 - n, (n * 7) & 0xff));
        Overview = std::make_unique<TMapOverview>(Doc, Parts);
    }
};

TFixture& fixture()
{
    static TFixture f;
    return f;
}

void Baseline_MemcpyCells(benchmark::State& state)
{
    static std::vector<uint8_t> to(Cells, 1);
    const auto from = fixture().Doc.MapCells();
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), Cells);
        benchmark::ClobberMemory();
    }
}

void Overview_Build(benchmark::State& state)
{
    TFixture& f = fixture();
    for (auto _ : state) {
        f.Overview->Rebuild();
        benchmark::DoNotOptimize(f.Overview->Picture().constBits());
    }
}

void Overview_Stamp3x2(benchmark::State& state)
{
    TFixture& f = fixture();
    f.Doc.SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(100 + gx + 3 * gy); });
    int x = 0;
    for (auto _ : state) {
        x = (x + 97) % (Side - 3);
        f.Doc.StampGroup({x, x, x + 2, x + 1}); // the overview updates on the signal
    }
    f.Doc.History().Clear();
}

void Overview_PartChange10Percent(benchmark::State& state)
{
    TFixture& f = fixture();
    QImage picture(f.Parts.PartWidth(), f.Parts.PartHeight(), QImage::Format_RGB32);
    int shade = 0;
    for (auto _ : state) {
        shade = (shade + 1) % 200;
        picture.fill(qRgb(shade, 40, 255 - shade));
        f.Parts.CapturePart(CoveringPart, picture, 0, 0);
        f.Overview->Flush(); // the part's new colour, gathered on the signal
    }
}

} // namespace

BENCHMARK(Baseline_MemcpyCells)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Overview_Build)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Overview_Stamp3x2)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(Overview_PartChange10Percent)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter({{"Overview_Build", "Baseline_MemcpyCells", 3.0},
                            {"Overview_PartChange10Percent", "Overview_Build", 2.0}},
                           {{"Overview_Stamp3x2", 1.0}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
