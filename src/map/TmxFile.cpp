#include "TmxFile.h"

#include "TmxDeflate.h"
#include "TransposeBytes.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QXmlStreamWriter>
#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <optional>
#include <vector>
#include <zlib.h>

namespace {

// Rows handled per step of the export.
constexpr int BandRows = 64;

// The row-major cells of rows [y0, y0 + rows).
void rowBand(const TMapDocument& doc, int y0, int rows, std::vector<uint8_t>& band)
{
    const int w = doc.MapWidth();
    const int h = doc.MapHeight();
    band.resize(size_t(w) * BandRows);
    TransposeBytes(doc.MapCells().data() + y0, size_t(h), band.data(), size_t(w), size_t(w),
                   size_t(rows));
}

// The decimal texts of 0..256 and their lengths, so a cell costs one table look-up.
struct NumberTexts
{
    std::array<std::array<char, 4>, 257> Text{};
    std::array<uint8_t, 257> Length{};
    NumberTexts()
    {
        for (int i = 0; i <= 256; ++i)
            Length[i] =
                uint8_t(std::to_chars(Text[i].data(), Text[i].data() + 4, i).ptr - Text[i].data());
    }
};

const NumberTexts& numberTexts()
{
    static const NumberTexts texts;
    return texts;
}

// Appends the numbers of one band, part + offset each, rows separated by `rowEnd`.
void appendBandText(QByteArray& text, const uint8_t* band, int w, int rows, int offset,
                    bool trailingComma, bool lastBand)
{
    const NumberTexts& nt = numberTexts();
    const qsizetype start = text.size();
    text.resize(start + qsizetype(w) * rows * 4 + rows);
    char* p = text.data() + start;
    for (int r = 0; r < rows; ++r) {
        const uint8_t* row = band + size_t(r) * w;
        for (int x = 0; x < w; ++x) {
            const int v = row[x] + offset;
            std::memcpy(p, nt.Text[v].data(), 4);
            p += nt.Length[v];
            *p++ = ',';
        }
        // Tiled ends every row but the last with a comma; CSV files end none.
        if (!trailingComma || (lastBand && r == rows - 1))
            --p;
        *p++ = '\n';
    }
    text.resize(p - text.data());
}

// The device under the writer, for text that needs no escaping (digits, commas, base64):
// the start tag is closed first, and the writer goes on as if it had written the text.
// Qt's writer would convert every character to UTF-16 and back on its way.
QIODevice& textDevice(QXmlStreamWriter& xml)
{
    xml.writeCharacters(QString());
    return *xml.device();
}

// Base64 text out of a stream of bytes, handed on in whole groups of three bytes.
class Base64Out
{
public:
    explicit Base64Out(QIODevice& out) : FOut(out) {}
    void add(const char* data, size_t size)
    {
        FPending.append(data, qsizetype(size));
        if (FPending.size() >= 3 * 65536)
            flush(false);
    }
    void flush(bool last)
    {
        const qsizetype whole = last ? FPending.size() : FPending.size() / 3 * 3;
        if (whole == 0)
            return;
        const QByteArray text = FPending.left(whole).toBase64();
        FOk = FOk && FOut.write(text) == text.size();
        FPending.remove(0, whole);
    }
    // Every byte so far taken by the device.
    bool ok() const { return FOk; }

private:
    QIODevice& FOut;
    QByteArray FPending;
    bool FOk = true;
};

// Tells the progress of the rows done; false when it says stop.
bool goOn(const TProgress& progress, int rowsDone, int rows)
{
    return !progress || progress(rowsDone, rows);
}

// Little-endian 32-bit gids of `n` parts: part + 1 fits the low byte but for part 255.
void partsToGids(const uint8_t* parts, size_t n, uint8_t* gids)
{
    for (size_t i = 0; i < n; ++i) {
        const uint32_t g = uint32_t(parts[i]) + 1;
        gids[4 * i] = uint8_t(g);
        gids[4 * i + 1] = uint8_t(g >> 8);
        gids[4 * i + 2] = 0;
        gids[4 * i + 3] = 0;
    }
}

// One zlib stream on this thread; with the same level, the parallel stream's bytes differ
// from this one's only by its blocks' sync flushes.
bool writeZlibSerial(Base64Out& base64, const TMapDocument& doc, int level,
                     const TProgress& progress)
{
    const int w = doc.MapWidth();
    const int h = doc.MapHeight();
    z_stream z{};
    if (deflateInit(&z, level) != Z_OK)
        return false;
    std::vector<uint8_t> band;
    std::vector<uint8_t> gids;
    std::vector<char> out(256 * 1024);
    bool ok = true;
    const auto pump = [&](int flush) {
        do {
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = uInt(out.size());
            const int rc = deflate(&z, flush);
            if (rc == Z_STREAM_ERROR) {
                ok = false;
                return;
            }
            base64.add(out.data(), out.size() - z.avail_out);
        } while (z.avail_out == 0);
    };
    for (int y0 = 0; y0 < h && ok; y0 += BandRows) {
        const int rows = std::min(BandRows, h - y0);
        rowBand(doc, y0, rows, band);
        const size_t n = size_t(w) * rows;
        gids.resize(n * 4);
        partsToGids(band.data(), n, gids.data());
        z.next_in = gids.data();
        z.avail_in = uInt(gids.size());
        pump(Z_NO_FLUSH);
        ok = ok && goOn(progress, y0 + rows, h);
    }
    if (ok)
        pump(Z_FINISH);
    deflateEnd(&z);
    return ok;
}

// Gid bytes per block of the parallel stream (whole rows, at least one).
constexpr size_t BlockBytes = 512 * 1024;
// The window a block's compressor is primed with.
constexpr size_t DictionaryCells = 32 * 1024 / 4;

bool writeZlibData(QXmlStreamWriter& xml, const TMapDocument& doc, const TTmxWriteOptions& options,
                   const TProgress& progress)
{
    const int w = doc.MapWidth();
    const int h = doc.MapHeight();
    const int level = std::clamp(options.Level, -1, 9);
    const size_t blockRows = std::max<size_t>(BlockBytes / (4 * size_t(w)), 1);
    TDeflateBlocks blocks;
    blocks.Count = (size_t(h) + blockRows - 1) / blockRows;
    Base64Out base64(textDevice(xml));
    const int threads = DeflateThreads(options.Threads);
    if (threads == 1 || blocks.Count == 1) {
        const bool ok = writeZlibSerial(base64, doc, level, progress);
        base64.flush(true);
        return ok && base64.ok();
    }
    const uint8_t* cells = doc.MapCells().data();
    blocks.Fill = [&](size_t i, std::vector<uint8_t>& bytes) {
        const size_t y0 = i * blockRows;
        const size_t rows = std::min(blockRows, size_t(h) - y0);
        const size_t first = y0 * size_t(w);
        const size_t dictionary = std::min(DictionaryCells, first);
        bytes.resize((dictionary + rows * size_t(w)) * 4);
        // The cells before the block, which may reach back over several short rows.
        std::vector<uint8_t> parts(std::max(dictionary, rows * size_t(w)));
        for (size_t k = 0; k < dictionary; ++k) {
            const size_t at = first - dictionary + k;
            parts[k] = cells[(at % size_t(w)) * size_t(h) + at / size_t(w)];
        }
        partsToGids(parts.data(), dictionary, bytes.data());
        TransposeBytes(cells + y0, size_t(h), parts.data(), size_t(w), size_t(w), rows);
        partsToGids(parts.data(), rows * size_t(w), bytes.data() + 4 * dictionary);
        return 4 * dictionary;
    };
    const bool ok = DeflateBlocks(
        blocks, level, threads, [&](const uint8_t* data, size_t size, size_t blocksDone) {
            base64.add(reinterpret_cast<const char*>(data), size);
            return base64.ok() &&
                   (blocksDone == 0 ||
                    goOn(progress, int(std::min(blocksDone * blockRows, size_t(h))), h));
        });
    base64.flush(true);
    return ok && base64.ok();
}

bool writeCsvCells(QXmlStreamWriter& xml, const TMapDocument& doc, const TProgress& progress)
{
    const int w = doc.MapWidth();
    const int h = doc.MapHeight();
    std::vector<uint8_t> band;
    QIODevice& out = textDevice(xml);
    QByteArray text("\n");
    for (int y0 = 0; y0 < h; y0 += BandRows) {
        const int rows = std::min(BandRows, h - y0);
        rowBand(doc, y0, rows, band);
        appendBandText(text, band.data(), w, rows, 1, true, y0 + rows == h);
        if (out.write(text) != text.size())
            return false;
        text.clear();
        if (!goOn(progress, y0 + rows, h))
            return false;
    }
    return true;
}

} // namespace

bool WriteTmxData(QIODevice& out, const TMapDocument& doc, uint16_t partWidth, uint16_t partHeight,
                  const QString& sheetName, const TTmxWriteOptions& options,
                  const TProgress& progress, const TTerrainSheet* terrain)
{
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("map"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.10"));
    xml.writeAttribute(QStringLiteral("orientation"), QStringLiteral("orthogonal"));
    xml.writeAttribute(QStringLiteral("renderorder"), QStringLiteral("right-down"));
    xml.writeAttribute(QStringLiteral("width"), QString::number(doc.MapWidth()));
    xml.writeAttribute(QStringLiteral("height"), QString::number(doc.MapHeight()));
    xml.writeAttribute(QStringLiteral("tilewidth"), QString::number(partWidth));
    xml.writeAttribute(QStringLiteral("tileheight"), QString::number(partHeight));
    xml.writeAttribute(QStringLiteral("infinite"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("nextlayerid"), QStringLiteral("2"));
    xml.writeAttribute(QStringLiteral("nextobjectid"), QStringLiteral("1"));

    xml.writeStartElement(QStringLiteral("tileset"));
    xml.writeAttribute(QStringLiteral("firstgid"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("parts"));
    xml.writeAttribute(QStringLiteral("tilewidth"), QString::number(partWidth));
    xml.writeAttribute(QStringLiteral("tileheight"), QString::number(partHeight));
    xml.writeAttribute(QStringLiteral("tilecount"), QStringLiteral("256"));
    xml.writeAttribute(QStringLiteral("columns"), QStringLiteral("16"));
    xml.writeEmptyElement(QStringLiteral("image"));
    xml.writeAttribute(QStringLiteral("source"), sheetName);
    xml.writeAttribute(QStringLiteral("width"), QString::number(16 * int(partWidth)));
    xml.writeAttribute(QStringLiteral("height"), QString::number(16 * int(partHeight)));
    if (terrain)
        WriteWangSets(xml, *terrain);
    xml.writeEndElement(); // tileset

    xml.writeStartElement(QStringLiteral("layer"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("map"));
    xml.writeAttribute(QStringLiteral("width"), QString::number(doc.MapWidth()));
    xml.writeAttribute(QStringLiteral("height"), QString::number(doc.MapHeight()));
    xml.writeStartElement(QStringLiteral("data"));
    bool ok = true;
    if (options.Encoding == TTmxEncoding::Csv) {
        xml.writeAttribute(QStringLiteral("encoding"), QStringLiteral("csv"));
        ok = writeCsvCells(xml, doc, progress);
    } else {
        xml.writeAttribute(QStringLiteral("encoding"), QStringLiteral("base64"));
        xml.writeAttribute(QStringLiteral("compression"), QStringLiteral("zlib"));
        ok = writeZlibData(xml, doc, options, progress);
    }
    xml.writeEndElement(); // data
    xml.writeEndElement(); // layer
    xml.writeEndElement(); // map
    xml.writeEndDocument();
    return ok && !xml.hasError();
}

bool WriteCsvData(QIODevice& out, const TMapDocument& doc)
{
    const int w = doc.MapWidth();
    const int h = doc.MapHeight();
    std::vector<uint8_t> band;
    QByteArray text;
    for (int y0 = 0; y0 < h; y0 += BandRows) {
        const int rows = std::min(BandRows, h - y0);
        rowBand(doc, y0, rows, band);
        text.clear();
        appendBandText(text, band.data(), w, rows, 0, false, y0 + rows == h);
        if (out.write(text) != text.size())
            return false;
    }
    return true;
}

QString TmxSheetFileName(const QString& tmxFileName)
{
    const QFileInfo info(tmxFileName);
    const QString name = info.completeBaseName() + QStringLiteral(".png");
    return info.path() == u"." ? name : info.dir().filePath(name);
}

TFileWriteResult ExportTmxFile(const QString& fileName, const TMapDocument& doc,
                               const QImage& sheet, uint16_t partWidth, uint16_t partHeight,
                               const TTmxWriteOptions& options, const QStringList& inputs,
                               const TProgress& progress)
{
    // The rows of the map are counted; a stop leaves neither file.
    bool stopped = false;
    const TProgress rows = [&](qint64 done, qint64 total) {
        stopped = !progress(done, total);
        return !stopped;
    };
    const QString sheetFile = TmxSheetFileName(fileName);
    const QString sheetName = QFileInfo(sheetFile).fileName();
    // The sheet keeps the parts' numbers, so the sets' tiles keep theirs.
    std::optional<TTerrainSheet> terrain;
    if (!options.PartsPicture.isEmpty()) {
        TTerrainRead read =
            ReadTerrainFile(TerrainFileName(options.PartsPicture),
                            {options.PartsPicture, QSize(partWidth, partHeight), sheet.size()});
        if (read.State == TTerrainRead::Status::Bad) {
            TFileWriteResult refused;
            refused.FileName = fileName;
            refused.Error = QStringLiteral("the terrain sets cannot be read: %1").arg(read.Error);
            return refused;
        }
        if (read.State == TTerrainRead::Status::Read)
            terrain = std::move(read.Sheet);
    }
    TFileWriteSet set;
    set.AddInputs(inputs);
    // The parts' terrain file is read too: never written over by the export.
    if (!options.PartsPicture.isEmpty())
        set.AddInputs({TerrainFileName(options.PartsPicture)});
    set.AddOutput(sheetFile, [&](QIODevice& file) {
        QImageWriter writer(&file, "png");
        return writer.write(sheet);
    });
    set.AddOutput(fileName, [&](QIODevice& file) {
        return WriteTmxData(file, doc, partWidth, partHeight, sheetName, options,
                            progress ? rows : TProgress(), terrain ? &*terrain : nullptr);
    });
    const TFileWriteResult written = set.Write();
    return stopped ? TFileWriteResult::Stopped(fileName) : written;
}

TFileWriteResult ExportCsvFile(const QString& fileName, const TMapDocument& doc,
                               const QStringList& inputs)
{
    TFileWriteSet set;
    set.AddInputs(inputs);
    set.AddOutput(fileName, [&](QIODevice& file) { return WriteCsvData(file, doc); });
    return set.Write();
}
