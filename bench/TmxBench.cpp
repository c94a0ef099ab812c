// TMX and CSV interchange of a 9999 x 9999 map, beside zlib compressing the same gid bytes
// on one thread, the gid bytes written raw to a file, zlib inflating the map's layer data
// alone, and a plain std::to_chars loop writing the same CSV text, measured in the same run.

#include "MapDocument.h"
#include "RatioReporter.h"
#include "TmxFile.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <charconv>
#include <memory>
#include <random>
#include <vector>
#include <zlib.h>

namespace {

constexpr int Side = TMapDocument::MaxMapSize;
constexpr size_t Cells = size_t(Side) * Side;

// A device that takes every byte and keeps none: the work measured is the export's own.
class NullDevice : public QIODevice
{
public:
    NullDevice() { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 size) override { return size; }
};

// Sixteen parts at random: a map with some variety, not a single run of one part.
TMapDocument& bigMap()
{
    static std::unique_ptr<TMapDocument> doc = [] {
        auto d = std::make_unique<TMapDocument>();
        d->NewMap(Side, Side);
        std::mt19937 rng(1);
        for (uint8_t& c : d->MapCells())
            c = uint8_t(rng() & 15);
        return d;
    }();
    return *doc;
}

// The layer's bytes as the file holds them: row by row, little-endian part + 1.
const std::vector<uint8_t>& gidBytes()
{
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> b(Cells * 4, 0);
        const TMapDocument& doc = bigMap();
        for (int y = 0; y < Side; ++y)
            for (int x = 0; x < Side; ++x) {
                const uint32_t g = doc.Cell(x, y) + 1u;
                b[(size_t(y) * Side + x) * 4] = uint8_t(g);
                b[(size_t(y) * Side + x) * 4 + 1] = uint8_t(g >> 8);
            }
        return b;
    }();
    return bytes;
}

QTemporaryDir& tempDir()
{
    static QTemporaryDir dir;
    return dir;
}

QImage sheet()
{
    QImage s(16 * 8, 16 * 8, QImage::Format_RGB32);
    s.fill(Qt::darkGreen);
    return s;
}

void Baseline_ZlibGidBytes(benchmark::State& state)
{
    const std::vector<uint8_t>& in = gidBytes();
    std::vector<uint8_t> out(256 * 1024);
    for (auto _ : state) {
        z_stream z{};
        deflateInit(&z, Z_DEFAULT_COMPRESSION);
        z.next_in = const_cast<Bytef*>(in.data());
        z.avail_in = uInt(in.size());
        int rc = Z_OK;
        while (rc != Z_STREAM_END) {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            rc = deflate(&z, Z_FINISH);
            benchmark::DoNotOptimize(out.data());
        }
        deflateEnd(&z);
    }
}

// At zlib's default level, on every core.
void Tmx_ExportZlib(benchmark::State& state)
{
    const TMapDocument& doc = bigMap();
    for (auto _ : state) {
        NullDevice out;
        if (!WriteTmxData(out, doc, 8, 8, QStringLiteral("sheet.png"), TTmxEncoding::Base64Zlib))
            state.SkipWithError("export failed");
    }
}

// The gid bytes written raw to a file: what the disk takes without compression.
void Baseline_RawGidFile(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = gidBytes();
    const QString name = tempDir().filePath(QStringLiteral("raw.bin"));
    for (auto _ : state) {
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) !=
                qint64(bytes.size()) ||
            !file.flush())
            state.SkipWithError("write failed");
    }
    QFile::remove(name);
}

// The whole export, map and sheet files, at level 1.
void Tmx_ExportFileLevel1(benchmark::State& state)
{
    const QString name = tempDir().filePath(QStringLiteral("level1.tmx"));
    TTmxWriteOptions options(TTmxEncoding::Base64Zlib);
    options.Level = 1;
    for (auto _ : state) {
        if (!ExportTmxFile(name, bigMap(), sheet(), 8, 8, options))
            state.SkipWithError("export failed");
    }
}

void Tmx_ExportCsv(benchmark::State& state)
{
    const TMapDocument& doc = bigMap();
    for (auto _ : state) {
        NullDevice out;
        if (!WriteTmxData(out, doc, 8, 8, QStringLiteral("sheet.png"), TTmxEncoding::Csv))
            state.SkipWithError("export failed");
    }
}

// The cells row by row, as the CSV text lists them.
const std::vector<uint8_t>& rowMajorCells()
{
    static const std::vector<uint8_t> cells = [] {
        std::vector<uint8_t> c(Cells);
        const TMapDocument& doc = bigMap();
        for (int y = 0; y < Side; ++y)
            for (int x = 0; x < Side; ++x)
                c[size_t(y) * Side + x] = doc.Cell(x, y);
        return c;
    }();
    return cells;
}

// The CSV text written with nothing but std::to_chars from row-major cells, in blocks of
// rows.
void Baseline_ToCharsCsv(benchmark::State& state)
{
    const std::vector<uint8_t>& cells = rowMajorCells();
    std::vector<char> text(size_t(Side) * 4 * 64 + 64);
    for (auto _ : state) {
        NullDevice out;
        char* p = text.data();
        const uint8_t* cell = cells.data();
        for (int y = 0; y < Side; ++y) {
            for (int x = 0; x < Side; ++x) {
                p = std::to_chars(p, p + 4, *cell++).ptr;
                *p++ = x + 1 < Side ? ',' : '\n';
            }
            if (y % 64 == 63 || y + 1 == Side) {
                out.write(text.data(), p - text.data());
                p = text.data();
            }
        }
    }
}

void Csv_Export(benchmark::State& state)
{
    const TMapDocument& doc = bigMap();
    for (auto _ : state) {
        NullDevice out;
        if (!WriteCsvData(out, doc))
            state.SkipWithError("export failed");
    }
}

// The TMX file of the map at the default level, written once.
const QString& bigTmx()
{
    static const QString name = [] {
        const QString file = tempDir().filePath(QStringLiteral("big.tmx"));
        return ExportTmxFile(file, bigMap(), sheet(), 8, 8, TTmxEncoding::Base64Zlib) ? file
                                                                                      : QString();
    }();
    return name;
}

// zlib inflating the file's layer data, already decoded from base64, into a small buffer.
void Baseline_InflateLayer(benchmark::State& state)
{
    QFile file(bigTmx());
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("no file");
        return;
    }
    const QByteArray tmx = file.readAll();
    const QByteArray start = "compression=\"zlib\">";
    const qsizetype at = tmx.indexOf(start) + start.size();
    const QByteArray data = QByteArray::fromBase64(tmx.mid(at, tmx.indexOf("</data>") - at));
    std::vector<uint8_t> out(64 * 1024);
    for (auto _ : state) {
        z_stream z{};
        inflateInit(&z);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
        z.avail_in = uInt(data.size());
        int rc = Z_OK;
        while (rc == Z_OK) {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            rc = inflate(&z, Z_NO_FLUSH);
            benchmark::DoNotOptimize(out.data());
        }
        if (rc != Z_STREAM_END)
            state.SkipWithError("inflate failed");
        inflateEnd(&z);
    }
}

void Tmx_ImportZlib(benchmark::State& state)
{
    const QString name = bigTmx();
    if (name.isEmpty()) {
        state.SkipWithError("export failed");
        return;
    }
    for (auto _ : state) {
        TTmxImport imported;
        QString error;
        if (!ImportTmxFile(name, 0, imported, &error))
            state.SkipWithError(error.toStdString().c_str());
        benchmark::DoNotOptimize(imported.Stores.Cells.data());
    }
}

#define QM_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0)

QM_BENCH(Baseline_ZlibGidBytes);
QM_BENCH(Tmx_ExportZlib);
QM_BENCH(Baseline_RawGidFile);
QM_BENCH(Tmx_ExportFileLevel1);
QM_BENCH(Baseline_InflateLayer);
QM_BENCH(Tmx_ImportZlib);
QM_BENCH(Baseline_ToCharsCsv);
QM_BENCH(Csv_Export);
QM_BENCH(Tmx_ExportCsv);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RunWithRatios(argc, argv,
                         {
                             {"Tmx_ExportZlib", "Baseline_ZlibGidBytes", 0.6},
                             {"Tmx_ExportFileLevel1", "Baseline_RawGidFile", 1.5},
                             {"Tmx_ImportZlib", "Baseline_InflateLayer", 2.0},
                             {"Csv_Export", "Baseline_ToCharsCsv", 3.0},
                             {"Tmx_ExportCsv", "Baseline_ToCharsCsv", 3.0},
                         });
}
