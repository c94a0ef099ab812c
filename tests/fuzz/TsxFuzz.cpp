// The TMX importer's external tileset files against arbitrary bytes: the input is the
// `.tsx` file a small map names, beside a picture of 8 tiles (tiles.png) it may name in
// turn. An import either fails with a reason or gives the parts the map uses.

#include "FuzzCheck.h"
#include "TmxFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <cstdint>

namespace {

const QTemporaryDir& folder()
{
    static const QTemporaryDir dir;
    static const bool made = [] {
        QImage tiles(16, 8, QImage::Format_RGB32);
        tiles.fill(0xff336699u);
        return tiles.save(dir.filePath(QStringLiteral("tiles.png")));
    }();
    (void)made;
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QTemporaryDir& dir = folder();
    {
        QFile tsx(dir.filePath(QStringLiteral("t.tsx")));
        if (!tsx.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        tsx.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    QByteArray tmx = QByteArrayLiteral(
        "<map orientation=\"orthogonal\" width=\"3\" height=\"1\" tilewidth=\"4\" "
        "tileheight=\"4\"><tileset firstgid=\"1\" source=\"t.tsx\"/><layer width=\"3\" "
        "height=\"1\"><data encoding=\"csv\">1,3,0</data></layer></map>");
    QBuffer buffer(&tmx);
    buffer.open(QIODevice::ReadOnly);
    TTmxImport result;
    QString error;
    if (ReadTmxData(buffer, dir.path(), 0, result, &error)) {
        QM_FUZZ_CHECK(result.Stores.Width == 3 && result.Stores.Height == 1);
        QM_FUZZ_CHECK(!result.Parts[result.Stores.Cells[0]].isNull());
    } else {
        QM_FUZZ_CHECK(!error.isEmpty() && error.size() < 1000);
    }
    return 0;
}
