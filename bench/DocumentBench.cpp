// Whole-map operations on a 9999 x 9999 map, each beside the raw memory or file work of
// the same bytes, measured in the same run.

#include "MapDocument.h"
#include "FileWrite.h"
#include "MapFile.h"
#include "RatioReporter.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
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

// A plain allocation of the map's two stores (cells and group part), zero-filled as a vector
// does it.
void Baseline_AllocateStores(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<uint8_t> cells(Cells, 0), group(Cells, 0);
        benchmark::DoNotOptimize(cells.data());
        benchmark::DoNotOptimize(group.data());
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

// The bytes a fill that can be undone moves: the map copied to the undo step, then written.
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

// A whole-map stamp undone and redone in turn: each benchmark times its own half.
template <bool TimeUndo> void undoRedoWholeMap(benchmark::State& state)
{
    TMapDocument& doc = bigMap();
    doc.StampGroup({0, 0, Side - 1, Side - 1});
    for (auto _ : state) {
        if (!TimeUndo)
            state.PauseTiming();
        doc.Undo();
        benchmark::ClobberMemory();
        if (!TimeUndo)
            state.ResumeTiming();
        else
            state.PauseTiming();
        doc.Redo();
        benchmark::ClobberMemory();
        if (TimeUndo)
            state.ResumeTiming();
    }
}

void Doc_UndoWholeMap(benchmark::State& state)
{
    undoRedoWholeMap<true>(state);
}

void Doc_RedoWholeMap(benchmark::State& state)
{
    undoRedoWholeMap<false>(state);
}

// A 3 x 2 stamp in the middle of the big map, undone and redone in turn: each touches its
// six cells only.
constexpr TCellRect SmallStamp{5000, 5000, 5002, 5001};

void Doc_UndoRedoStamp3x2(benchmark::State& state)
{
    TMapDocument& doc = bigMap();
    doc.SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(7 + gx + 3 * gy); });
    doc.StampGroup(SmallStamp);
    bool undo = true;
    for (auto _ : state) {
        if (undo)
            doc.Undo();
        else
            doc.Redo();
        undo = !undo;
        benchmark::ClobberMemory();
    }
    if (!undo)
        doc.Redo();
}

// The step's own bytes copied into their places in a map of the same size.
void Baseline_MemcpyStep3x2(benchmark::State& state)
{
    uint8_t cells[6] = {1, 2, 3, 4, 5, 6};
    uint8_t* map = rawA().data();
    for (auto _ : state) {
        for (int i = 0; i < SmallStamp.Width(); ++i) {
            benchmark::DoNotOptimize(cells);
            std::memcpy(map + size_t(SmallStamp.Left + i) * Side + size_t(SmallStamp.Top),
                        cells + 2 * i, size_t(SmallStamp.Height()));
        }
        benchmark::ClobberMemory();
    }
}

void Baseline_RawWrite(benchmark::State& state)
{
    const QString name = tempFile("raw.bin");
    // The same bytes in one piece, through the same safe write as a map save.
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(rawA().data()), qsizetype(Cells));
    for (auto _ : state) {
        if (!WriteFileWhole(name, bytes))
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

QM_BENCH(Baseline_AllocateStores);
QM_BENCH(Doc_NewMap);
QM_BENCH(Baseline_MemcpyMemset);
QM_BENCH(Baseline_Memcpy);
QM_BENCH(Doc_StampGroup3x2);
QM_BENCH(Doc_ScatterGroup3x2);
QM_BENCH(Doc_ReplaceWholeMap);
QM_BENCH(Doc_UndoWholeMap);
QM_BENCH(Doc_RedoWholeMap);
QM_BENCH(Doc_UndoRedoStamp3x2)->Unit(benchmark::kNanosecond);
QM_BENCH(Baseline_MemcpyStep3x2)->Unit(benchmark::kNanosecond);
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
                             {"Doc_NewMap", "Baseline_AllocateStores", 3.0},
                             {"Doc_StampGroup3x2", "Baseline_MemcpyMemset", 3.0},
                             {"Doc_ScatterGroup3x2", "Baseline_MemcpyMemset", 15.0},
                             {"Doc_ReplaceWholeMap", "Baseline_MemcpyMemset", 3.0},
                             {"Doc_UndoWholeMap", "Baseline_Memcpy", 3.0},
                             {"Doc_RedoWholeMap", "Baseline_Memcpy", 3.0},
                             // Far from the whole map: a tiny fraction of one copy of it.
                             {"Doc_UndoRedoStamp3x2", "Baseline_MemcpyStep3x2", 1000.0},
                             {"Doc_UndoRedoStamp3x2", "Baseline_Memcpy", 0.001},
                             {"Doc_Save<TMapFileType::Type1>", "Baseline_RawWrite", 2.0},
                             {"Doc_Save<TMapFileType::Type2>", "Baseline_RawWrite", 3.0},
                             {"Doc_Load<TMapFileType::Type1>", "Baseline_RawReadFresh", 2.0},
                             {"Doc_Load<TMapFileType::Type2>", "Baseline_RawReadFresh", 3.0},
                         },
                         {{"Doc_UndoRedoStamp3x2", 1.0}});
}
