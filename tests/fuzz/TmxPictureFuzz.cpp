// The TMX importer's tileset pictures against arbitrary bytes: the input is the picture
// embedded in a small map (its format told from its bytes, as the importer does), whose
// two cells use its first tile plain and mirrored. An import either fails with a reason
// or gives both parts at the tile size.
//
// Pictures whose header declares more than 16 MB of pixels are skipped: decoding them costs
// the fuzzer a second each, and the import's bound on decoded pictures has tests of its own.

#include "FuzzCheck.h"
#include "TmxFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray picture =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QBuffer header;
        header.setData(picture);
        header.open(QIODevice::ReadOnly);
        const QSize declared = QImageReader(&header).size();
        if (declared.isValid() && qint64(declared.width()) * declared.height() * 4 > (16 << 20))
            return 0;
    }
    QByteArray tmx =
        QByteArrayLiteral("<map orientation=\"orthogonal\" width=\"2\" height=\"1\" "
                          "tilewidth=\"4\" tileheight=\"4\"><tileset firstgid=\"1\" "
                          "tilewidth=\"4\" tileheight=\"4\"><image><data encoding=\"base64\">") +
        picture.toBase64() +
        QByteArrayLiteral("</data></image></tileset><layer width=\"2\" "
                          "height=\"1\"><data encoding=\"csv\">1,2147483649</data>"
                          "</layer></map>");
    QBuffer buffer(&tmx);
    buffer.open(QIODevice::ReadOnly);
    TTmxImport result;
    QString error;
    if (ReadTmxData(buffer, QString(), 0, result, &error)) {
        for (int n = 0; n < 2; ++n) {
            QM_FUZZ_CHECK(!result.Parts[n].isNull());
            QM_FUZZ_CHECK(result.Parts[n].size() == QSize(4, 4));
        }
    } else {
        QM_FUZZ_CHECK(!error.isEmpty() && error.size() < 1000);
    }
    return 0;
}
