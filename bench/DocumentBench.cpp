// Whole-map operations on a 9999 x 9999 map, each beside the raw memory or file work of
// the same bytes, measured in the same run.

#include "MapDocument.h"
#include "MapFile.h"
#include "RatioReporter.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int Side = TMapDocument::MaxMapSize;
constexpr size_t Cells = size_t(Side) * Side;

TMapDocument& bigMap()
{
    static std::unique_ptr<TMapDocument> doc = [] {
        auto d = std::make_unique<TMapDocument>();
        d->NewMap(Side, Side);
        d->SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(1 + gx + 3 * gy); });
        d->StampGroup({0, 0, Side - 1, Side - 1});
        return d;
    }();
    return *doc;
}

std::vector<uint8_t>& rawA()
{
    static std::vector<uint8_t> v(Cells, 1);
    return v;
}

std::vector<uint8_t>& rawB()
{
    static std::vector<uint8_t> v(Cells, 2);
    return v;
}

QString tempFile(const char* name)
{
    static QTemporaryDir dir;
    return dir.filePath(QString::fromLatin1(name));
}

void Baseline_Allocate3Stores(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<uint8_t> a(Cells, 0), b(Cells, 0), c(Cells, 0);
        benchmark::DoNotOptimize(a.data());
        benchmark::DoNotOptimize(b.data());
        benchmark::DoNotOptimize(c.data());
    }
}

void Doc_NewMap(benchmark::State& state)
{
    for (auto _ : state) {
        TMapDocument doc; // the 101 x 101 map of a fresh program
        doc.NewMap(Side, Side);
        benchmark::DoNotOptimize(doc.MapCells().data());
    }
}

// A plain allocation of the three stores, zero-filled as a vector does it.
// (Declared above; NewMap has no target of its own, the ratio is for information.)

// The bytes a snapshotting fill moves: the map copied to the undo store, then written.
void Baseline_MemcpyMemset(benchmark::State& state)
{
    uint8_t value = 0;
    for (auto _ : state) {
        std::memcpy(rawB().data(), rawA().data(), Cells);
        std::memset(rawA().data(), ++value, Cells);
        benchmark::ClobberMemory();
    }
}

void Baseline_Memcpy(benchmark::State& state)
{
    for (auto _ : state) {
        std::memcpy(rawB().data(), rawA().data(), Cells);
        benchmark::ClobberMemory();
    }
}

void Doc_StampGroup3x2(benchmark::State& state)
{
    TMapDocument& doc = bigMap();
    doc.SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(1 + gx + 3 * gy); });
    for (auto _ : state) {
        doc.StampGroup({0, 0, Side - 1, Side - 1});
        benchmark::ClobberMemory();
    }
}

void Doc_ScatterGroup3x2(benchmark::State& state)
{
    TMapDocument& doc = bigMap();
    doc.SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(1 + gx + 3 * gy); });
    for (auto _ : state) {
        doc.ScatterGroup({0, 0, Side - 1, Side - 1});
        benchmark::ClobberMemory();
    }
}

void Doc_ReplaceWholeMap(benchmark::State& state)
{
    TMapDocument& doc = bigMap();
    bool flip = false;
    for (auto _ : state) {
        // Alternate, so that every round really changes a sixth of the cells.
        flip = !flip;
        doc.ReplaceParts({0, 0, Side - 1, Side - 1}, flip ? 1 : 200, flip ? 200 : 1);
        benchmark::ClobberMemory();
    }
}

void Doc_UndoWholeMap(benchmark::State& state)
{
    TMapDocument& doc = bigMap();
    for (auto _ : state) {
        state.PauseTiming();
        doc.TakeUndoSnapshot({0, 0, Side - 1, Side - 1});
        state.ResumeTiming();
        doc.Undo();
        benchmark::ClobberMemory();
    }
}

void Baseline_RawWrite(benchmark::State& state)
{
    const QString name = tempFile("raw.bin");
    for (auto _ : state) {
        QSaveFile f(name);
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char*>(rawA().data()), qint64(Cells));
        if (!f.commit())
            state.SkipWithError("raw write failed");
    }
}

void Baseline_RawRead(benchmark::State& state)
{
    const QString name = tempFile("raw.bin");
    {
        QFile f(name);
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char*>(rawA().data()), qint64(Cells));
    }
    for (auto _ : state) {
        QFile f(name);
        f.open(QIODevice::ReadOnly);
        if (f.read(reinterpret_cast<char*>(rawB().data()), qint64(Cells)) != qint64(Cells))
            state.SkipWithError("raw read failed");
        benchmark::ClobberMemory();
    }
}

template <TMapFileType Type> void Doc_Save(benchmark::State& state)
{
    TMapDocument& doc = bigMap();
    const QString name = tempFile(Type == TMapFileType::Type1 ? "map1.mpd" : "map2.mpd");
    for (auto _ : state) {
        if (!SaveMapFile(name, doc, Type, 32, 32))
            state.SkipWithError("save failed");
    }
}

template <TMapFileType Type> void Doc_Load(benchmark::State& state)
{
    const QString name = tempFile(Type == TMapFileType::Type1 ? "map1.mpd" : "map2.mpd");
    if (!SaveMapFile(name, bigMap(), Type, 32, 32)) {
        state.SkipWithError("save failed");
        return;
    }
    TMapDocument doc;
    doc.NewMap(Side, Side);
    for (auto _ : state) {
        if (!LoadMapFile(name, Type, doc).Ok())
            state.SkipWithError("load failed");
        benchmark::ClobberMemory();
    }
}

// Loading allocates the map anew, so its raw counterpart reads into fresh memory.
void Baseline_RawReadFresh(benchmark::State& state)
{
    const QString name = tempFile("raw.bin");
    for (auto _ : state) {
        std::unique_ptr<char[]> buffer(new char[Cells]);
        QFile f(name);
        f.open(QIODevice::ReadOnly);
        if (f.read(buffer.get(), qint64(Cells)) != qint64(Cells))
            state.SkipWithError("raw read failed");
        benchmark::DoNotOptimize(buffer.get());
    }
}

#define QM_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0)

QM_BENCH(Baseline_Allocate3Stores);
QM_BENCH(Doc_NewMap);
QM_BENCH(Baseline_MemcpyMemset);
QM_BENCH(Baseline_Memcpy);
QM_BENCH(Doc_StampGroup3x2);
QM_BENCH(Doc_ScatterGroup3x2);
QM_BENCH(Doc_ReplaceWholeMap);
QM_BENCH(Doc_UndoWholeMap);
QM_BENCH(Baseline_RawWrite);
QM_BENCH(Doc_Save<TMapFileType::Type1>);
QM_BENCH(Doc_Save<TMapFileType::Type2>);
QM_BENCH(Baseline_RawRead);
QM_BENCH(Baseline_RawReadFresh);
QM_BENCH(Doc_Load<TMapFileType::Type1>);
QM_BENCH(Doc_Load<TMapFileType::Type2>);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return RunWithRatios(argc, argv,
                         {
                             {"Doc_NewMap", "Baseline_Allocate3Stores", 3.0},
                             {"Doc_StampGroup3x2", "Baseline_MemcpyMemset", 3.0},
                             {"Doc_ScatterGroup3x2", "Baseline_MemcpyMemset", 15.0},
                             {"Doc_ReplaceWholeMap", "Baseline_MemcpyMemset", 3.0},
                             {"Doc_UndoWholeMap", "Baseline_Memcpy", 3.0},
                             {"Doc_Save<TMapFileType::Type1>", "Baseline_RawWrite", 2.0},
                             {"Doc_Save<TMapFileType::Type2>", "Baseline_RawWrite", 3.0},
                             {"Doc_Load<TMapFileType::Type1>", "Baseline_RawReadFresh", 2.0},
                             {"Doc_Load<TMapFileType::Type2>", "Baseline_RawReadFresh", 3.0},
                         });
}
