// The TMX importer's tileset pictures against arbitrary bytes: the input is the picture
// embedded in a small map (its format told from its bytes, as the importer does), whose
// two cells use its first tile plain and mirrored. An import either fails with a reason
// or gives both parts at the tile size.

#include "FuzzCheck.h"
#include "TmxFile.h"

#include <QBuffer>
#include <QByteArray>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray picture =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
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
