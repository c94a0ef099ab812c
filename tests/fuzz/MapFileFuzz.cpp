// The map file reader, both layouts, against arbitrary bytes. The first byte chooses the
// layout a file without the type 2 magic is read in (bit 0) and whether a map of more
// than 65,536 cells is read at all (its high four bits 1011, and only when the corpus is
// replayed: such a map costs up to 100 MB per input, which would slow the search to a
// crawl, and is not written back); the rest is the file. The reader takes the same paths
// for a map of 256 x 256 cells as for a larger one. What was read
// must write back as the bytes it came from (the missing cells of a short file as part 0)
// and read again as the same map; a file that cannot be read must leave the map alone.

#include "FuzzCheck.h"
#include "MapDocument.h"
#include "MapFile.h"

#include <QBuffer>
#include <QByteArray>
#include <algorithm>
#include <cstdint>
#include <optional>

namespace {

constexpr qint64 MaxCheapCells = qint64(1) << 16;

std::optional<TMapHeader> headerOf(const QByteArray& file, TMapFileType headerless)
{
    QByteArray copy = file;
    QBuffer in(&copy);
    in.open(QIODevice::ReadOnly);
    return ReadMapHeader(in, headerless);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const TMapFileType headerless = (data[0] & 1) ? TMapFileType::Type2 : TMapFileType::Type1;
#ifdef QM_FUZZ_REPLAY
    const bool readLarge = (data[0] & 0xf0) == 0xb0;
#else
    const bool readLarge = false;
#endif
    QByteArray file(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const bool hasMagic = file.startsWith(MapFileMagic);
    const std::optional<TMapHeader> header = headerOf(file, headerless);
    if (header && !readLarge && qint64(header->MapWidth) * header->MapHeight > MaxCheapCells)
        return 0;

    TMapDocument doc;
    doc.NewMap(3, 2);
    doc.SetCell(1, 1, 7);
    const QByteArray before(reinterpret_cast<const char*>(doc.MapCells().data()),
                            qsizetype(doc.MapCells().size()));

    int partSizeCalls = 0;
    uint16_t appliedWidth = 0;
    uint16_t appliedHeight = 0;
    QBuffer in(&file);
    in.open(QIODevice::ReadOnly);
    const TMapLoadResult result =
        ReadMapData(in, headerless, doc, [&](uint16_t width, uint16_t height) {
            ++partSizeCalls;
            appliedWidth = width;
            appliedHeight = height;
            return true;
        });

    if (!result.Ok()) {
        // Only a bad header fails here (the largest map needs 100 MB, which a fuzzer has).
        QM_FUZZ_CHECK(!header);
        QM_FUZZ_CHECK(partSizeCalls == 0);
        QM_FUZZ_CHECK(!result.Message().isEmpty());
        QM_FUZZ_CHECK((result.Status == TMapLoadStatus::NotType2) ==
                      (headerless == TMapFileType::Type2 && !hasMagic));
        QM_FUZZ_CHECK(doc.MapWidth() == 3 && doc.MapHeight() == 2);
        QM_FUZZ_CHECK(QByteArray(reinterpret_cast<const char*>(doc.MapCells().data()),
                                 qsizetype(doc.MapCells().size())) == before);
        return 0;
    }

    QM_FUZZ_CHECK(header);
    QM_FUZZ_CHECK(result.Message().isEmpty());
    QM_FUZZ_CHECK(result.Type == (hasMagic ? TMapFileType::Type2 : headerless));
    QM_FUZZ_CHECK(doc.MapWidth() == header->MapWidth && doc.MapHeight() == header->MapHeight);
    QM_FUZZ_CHECK(result.PartWidth == header->PartWidth && result.PartHeight == header->PartHeight);
    QM_FUZZ_CHECK(partSizeCalls == 1 && appliedWidth == result.PartWidth &&
                  appliedHeight == result.PartHeight);
    QM_FUZZ_CHECK(!doc.MapModified());

    const qint64 cells = qint64(doc.MapWidth()) * doc.MapHeight();
    const qint64 headerSize =
        result.Type == TMapFileType::Type2 ? MapFileMagic.size() + 8 : qint64(4);
    const qint64 fileSize = headerSize + cells;
    QM_FUZZ_CHECK(result.Truncated == (file.size() < fileSize));
    if (cells > MaxCheapCells)
        return 0;

    // Encode: the file's own bytes, a short file completed with part 0.
    QByteArray expected = file.left(fileSize);
    expected.append(fileSize - expected.size(), '\0');
    QByteArray written;
    QBuffer out(&written);
    out.open(QIODevice::WriteOnly);
    QM_FUZZ_CHECK(WriteMapData(out, doc, result.Type, result.PartWidth, result.PartHeight));
    QM_FUZZ_CHECK(written == expected);

    // Decode again: the same map, complete this time.
    TMapDocument again;
    QBuffer back(&written);
    back.open(QIODevice::ReadOnly);
    const TMapLoadResult reread = ReadMapData(back, result.Type, again);
    QM_FUZZ_CHECK(reread.Ok() && !reread.Truncated && reread.Type == result.Type);
    QM_FUZZ_CHECK(reread.PartWidth == result.PartWidth && reread.PartHeight == result.PartHeight);
    QM_FUZZ_CHECK(again.MapWidth() == doc.MapWidth() && again.MapHeight() == doc.MapHeight());
    QM_FUZZ_CHECK(std::equal(again.MapCells().begin(), again.MapCells().end(),
                             doc.MapCells().begin(), doc.MapCells().end()));
    QM_FUZZ_CHECK(back.atEnd());
    return 0;
}
