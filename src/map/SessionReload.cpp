#include "MapSession.h"

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
    if (fileName.isEmpty() || !FParts.LoadPartsPicture(fileName))
        return TReload::Unreadable;
    return TReload::Reloaded;
}
