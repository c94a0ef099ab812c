#include "MapFile.h"

#include "FileWrite.h"
#include "TransposeBytes.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <algorithm>
#include <new>
#include <optional>
#include <vector>

namespace {

// Rows moved per read or write of a type 2 file: large enough to keep the stream calls
// few, small enough (at most 64 x 9999 bytes) for the transposing buffer to stay in cache.
constexpr int BandRows = 64;

void putU16(char* p, uint16_t v)
{
    p[0] = char(v & 0xff);
    p[1] = char(v >> 8);
}

uint16_t getU16(const char* p)
{
    return uint16_t(uint8_t(p[0]) | (uint8_t(p[1]) << 8));
}

bool writeAll(QIODevice& out, const char* data, qint64 size)
{
    return out.write(data, size) == size;
}

// Reads up to `size` bytes, as many as the device has; never more than asked.
qint64 readUpTo(QIODevice& in, char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 n = in.read(data + done, size - done);
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

bool validMapSize(uint16_t w, uint16_t h)
{
    return w >= 1 && h >= 1 && w <= TMapDocument::MaxMapSize && h <= TMapDocument::MaxMapSize;
}

bool writeRowMajor(QIODevice& out, const TMapDocument& doc)
{
    const int w = doc.MapWidth();
    const int h = doc.MapHeight();
    const uint8_t* cells = doc.MapCells().data();
    std::vector<char> band(size_t(w) * BandRows);
    for (int y0 = 0; y0 < h; y0 += BandRows) {
        const int rows = std::min(BandRows, h - y0);
        TransposeBytes(cells + y0, size_t(h), reinterpret_cast<uint8_t*>(band.data()), size_t(w),
                       size_t(w), size_t(rows));
        if (!writeAll(out, band.data(), qint64(rows) * w))
            return false;
    }
    return true;
}

// Returns whether all cells were present.
bool readRowMajor(QIODevice& in, uint8_t* cells, int w, int h)
{
    std::vector<char> band(size_t(w) * BandRows);
    for (int y0 = 0; y0 < h; y0 += BandRows) {
        const int rows = std::min(BandRows, h - y0);
        const qint64 wanted = qint64(rows) * w;
        const qint64 got = readUpTo(in, band.data(), wanted);
        const int fullRows = int(got / w);
        TransposeBytes(reinterpret_cast<const uint8_t*>(band.data()), size_t(w), cells + y0,
                       size_t(h), size_t(fullRows), size_t(w));
        if (got < wanted) {
            // The last, partly present row: its first cells were read, the rest stay 0.
            const int partial = int(got % w);
            for (int x = 0; x < partial; ++x)
                cells[size_t(x) * h + y0 + fullRows] = uint8_t(band[size_t(fullRows) * w + x]);
            return false;
        }
    }
    return true;
}

} // namespace

QString TMapLoadResult::Message() const
{
    switch (Status) {
    case TMapLoadStatus::Loaded:
        return {};
    case TMapLoadStatus::NotType2:
        return QStringLiteral("Quiltmapper タイプ２データではありません");
    case TMapLoadStatus::Unreadable:
        break;
    }
    return QStringLiteral("マップデータファイルを読み込む事ができません");
}

bool WriteMapData(QIODevice& out, const TMapDocument& doc, TMapFileType type, uint16_t partWidth,
                  uint16_t partHeight)
{
    if (type == TMapFileType::Type1) {
        char header[4];
        putU16(header, doc.MapWidth());
        putU16(header + 2, doc.MapHeight());
        const auto cells = doc.MapCells();
        return writeAll(out, header, sizeof header) &&
               writeAll(out, reinterpret_cast<const char*>(cells.data()), qint64(cells.size()));
    }
    char header[8];
    putU16(header, partWidth);
    putU16(header + 2, partHeight);
    putU16(header + 4, doc.MapWidth());
    putU16(header + 6, doc.MapHeight());
    return writeAll(out, MapFileMagic.constData(), MapFileMagic.size()) &&
           writeAll(out, header, sizeof header) && writeRowMajor(out, doc);
}

TMapFileType MapFileTypeOf(QIODevice& in, TMapFileType headerless)
{
    return in.peek(MapFileMagic.size()) == MapFileMagic ? TMapFileType::Type2 : headerless;
}

std::optional<TMapHeader> ReadMapHeader(QIODevice& in, TMapFileType type, TMapLoadStatus* why)
{
    type = MapFileTypeOf(in, type);
    const auto fail = [why](TMapLoadStatus status) {
        if (why)
            *why = status;
        return std::nullopt;
    };
    TMapHeader header;
    if (type == TMapFileType::Type2) {
        QByteArray magic(MapFileMagic.size(), '\0');
        if (readUpTo(in, magic.data(), magic.size()) != magic.size() || magic != MapFileMagic)
            return fail(TMapLoadStatus::NotType2);
        char partSize[4];
        if (readUpTo(in, partSize, sizeof partSize) != qint64(sizeof partSize))
            return fail(TMapLoadStatus::Unreadable);
        header.PartWidth = getU16(partSize);
        header.PartHeight = getU16(partSize + 2);
        if (header.PartWidth == 0 || header.PartHeight == 0)
            return fail(TMapLoadStatus::Unreadable);
    }
    char mapSize[4];
    if (readUpTo(in, mapSize, sizeof mapSize) != qint64(sizeof mapSize))
        return fail(TMapLoadStatus::Unreadable);
    header.MapWidth = getU16(mapSize);
    header.MapHeight = getU16(mapSize + 2);
    if (!validMapSize(header.MapWidth, header.MapHeight))
        return fail(TMapLoadStatus::Unreadable);
    return header;
}

TMapLoadResult ReadMapData(QIODevice& in, TMapFileType type, TMapDocument& doc,
                           const TApplyPartSize& applyPartSize)
{
    TMapLoadResult result;
    type = MapFileTypeOf(in, type);
    result.Type = type;
    const std::optional<TMapHeader> header = ReadMapHeader(in, type, &result.Status);
    if (!header)
        return result;
    result.PartWidth = header->PartWidth;
    result.PartHeight = header->PartHeight;

    // The new map's memory first, then the part size, then the map goes in place: once
    // the parts have changed, nothing can fail any more.
    TMapDocument::TMapStores stores;
    try {
        stores = TMapDocument::AllocateStores(header->MapWidth, header->MapHeight);
    } catch (const std::bad_alloc&) {
        return result;
    }
    if (applyPartSize && !applyPartSize(result.PartWidth, result.PartHeight))
        return result;
    // The cells are read into the new store before it goes in place, so that the document
    // announces one new map that already holds them, also when the data ends early.
    TCellVector& cells = stores.Cells;
    if (type == TMapFileType::Type1) {
        const qint64 got =
            readUpTo(in, reinterpret_cast<char*>(cells.data()), qint64(cells.size()));
        result.Truncated = got < qint64(cells.size());
    } else {
        result.Truncated = !readRowMajor(in, cells.data(), stores.Width, stores.Height);
    }
    doc.NewMap(std::move(stores));
    result.Status = TMapLoadStatus::Loaded;
    return result;
}

bool SaveMapFile(const QString& fileName, TMapDocument& doc, TMapFileType type, uint16_t partWidth,
                 uint16_t partHeight, QString* error, const QStringList& keep)
{
    TFileWriteSet set;
    set.AddInputs(keep);
    set.AddOutput(fileName, [&](QIODevice& out) {
        return WriteMapData(out, doc, type, partWidth, partHeight);
    });
    const TFileWriteResult written = set.Write();
    if (!written) {
        if (error)
            *error = written.Error;
        return false;
    }
    doc.SetMapModified(false);
    return true;
}

TMapLoadResult LoadMapFile(const QString& fileName, TMapFileType type, TMapDocument& doc,
                           const TApplyPartSize& applyPartSize)
{
    // Only a regular file: reading a FIFO or a device would block, or never end.
    if (!QFileInfo(fileName).isFile())
        return {};
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ReadMapData(file, type, doc, applyPartSize);
}
