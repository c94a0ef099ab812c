// Terrain files against arbitrary bytes: a file is refused with a reason, or its sets write
// back and read again the same, and painting with each of them on a small map stays in the
// map and within the set.

#include "FuzzCheck.h"
#include "MapDocument.h"
#include "TerrainFile.h"
#include "TerrainPainter.h"
#include "WangMatcher.h"

#include <QBuffer>
#include <QByteArray>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    // Any tileset is taken as it is.
    const TTerrainRead read = ReadTerrainData(in, QStringLiteral("/nonexistent"), {});
    if (read.State != TTerrainRead::Status::Read) {
        QM_FUZZ_CHECK(!read.Error.isEmpty());
        return 0;
    }
    QByteArray written;
    QBuffer out(&written);
    out.open(QIODevice::WriteOnly);
    QM_FUZZ_CHECK(WriteTerrainData(out, read.Sheet, QStringLiteral("/nonexistent"), {}));
    out.close();
    out.open(QIODevice::ReadOnly);
    const TTerrainRead again = ReadTerrainData(out, QStringLiteral("/nonexistent"), {});
    QM_FUZZ_CHECK(again.State == TTerrainRead::Status::Read);
    QM_FUZZ_CHECK(again.Sheet.Sets.size() == read.Sheet.Sets.size());

    TMapDocument doc;
    doc.NewMap(5, 4);
    for (const TWangSet& set : read.Sheet.Sets) {
        const TWangMatcher m(set, read.Sheet.TileProbability);
        TTerrainPainter p(doc, m);
        p.SetRandom(1);
        p.PaintLine({0.2, 0.4}, {4.9, 3.6}, 1);
        p.FillRect({1, 1, 2, 2}, uint8_t(set.Colors.size()));
        if (p.HasChanges()) {
            const TCellRect c = p.Changed();
            QM_FUZZ_CHECK(c.Left >= 0 && c.Top >= 0 && c.Right < 5 && c.Bottom < 4);
            for (int x = c.Left; x <= c.Right; ++x) {
                for (int y = c.Top; y <= c.Bottom; ++y)
                    QM_FUZZ_CHECK(p.Part(x, y) == doc.Cell(x, y) || m.InSet(p.Part(x, y)));
            }
        }
    }
    return 0;
}
