#include "MapSession.h"

#include <QFile>
#include <QtEndian>

namespace {

// Whether a picture file is not plainly cut short. The BMP reader takes a cut file and
// leaves the rows it did not reach white, which is right for a file that stays so, but a
// file still being written would bring half a sheet in: its header says how long it is.
bool WholeAsFarAsKnown(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(6);
    if (head.size() < 6 || !head.startsWith("BM"))
        return true;
    const quint32 declared = qFromLittleEndian<quint32>(head.constData() + 2);
    return qint64(declared) <= file.size();
}

} // namespace

void TMapSession::watchFiles()
{
    connect(this, &TMapSession::mapNamed, &FMapWatch, &TFileWatch::Watch);
    connect(&FParts, &TPartsStore::pictureFileMatched, &FPartsWatch, &TFileWatch::Watch);
    // New parts come from no picture.
    connect(&FParts, &TPartsStore::partsResized, &FPartsWatch, [this] { FPartsWatch.Watch({}); });
}

TMapSession::TReload TMapSession::ReloadMap(TMapFileType type)
{
    const QString fileName = FMapWatch.FileName();
    if (fileName.isEmpty())
        return TReload::Unreadable;
    bool sameParts = true;
    TMapDocument loaded;
    const TMapLoadResult result =
        LoadMapFile(fileName, type, loaded, [&](uint16_t width, uint16_t height) {
            sameParts = width == PartWidth() && height == PartHeight();
            return sameParts;
        });
    if (!sameParts)
        return TReload::OtherPartSize;
    // A file that ends early is still being written, or was cut short.
    if (!result.Ok() || result.Truncated)
        return TReload::Unreadable;
    FDocument.ReloadFrom(std::move(loaded));
    return TReload::Reloaded;
}

TMapSession::TReload TMapSession::ReloadPartsPicture()
{
    const QString fileName = FPartsWatch.FileName();
    if (fileName.isEmpty() || !WholeAsFarAsKnown(fileName) || !FParts.LoadPartsPicture(fileName))
        return TReload::Unreadable;
    return TReload::Reloaded;
}
