// The TMX importer against arbitrary bytes.

#include "TmxFile.h"

#include <QBuffer>
#include <QByteArray>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TTmxImport result;
    QString error;
    // No folder: the map may not reach for other files.
    ReadTmxData(buffer, QString(), 0, result, &error);
    return 0;
}
