#include "MapSession.h"

#include <exception>
#include <stdexcept>
#include <utility>

TMapSession::TMapSession(const TPictureFormats& formats, TParts parts, QObject* parent)
    : QObject(parent), FPartsKept(parts), FParts(formats), FPartWidth(FParts.PartWidth()),
      FPartHeight(FParts.PartHeight())
{
    FDocument.SetHistory(FHistory);
    FParts.SetHistory(&FHistory);
    if (FPartsKept == TParts::Pictures)
        watchFiles();
}

uint16_t TMapSession::PartWidth() const
{
    return FPartsKept == TParts::Pictures ? FParts.PartWidth() : FPartWidth;
}

uint16_t TMapSession::PartHeight() const
{
    return FPartsKept == TParts::Pictures ? FParts.PartHeight() : FPartHeight;
}

void TMapSession::SetPartSize(uint16_t width, uint16_t height)
{
    if (FPartsKept == TParts::Pictures) {
        FParts.SetPartsSize(width, height);
        // The steps of the parts refer to pictures of the old size.
        FHistory.Clear();
        return;
    }
    // No pictures are made: any size a map file can name will do.
    if (width == 0 || height == 0)
        throw std::invalid_argument("part size of 0");
    FPartWidth = width;
    FPartHeight = height;
}

bool TMapSession::applyPartSize(uint16_t width, uint16_t height)
{
    try {
        SetPartSize(width, height);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

TMapSession::~TMapSession() = default;

void TMapSession::setNames(const QString& fileName, const QString& importedFrom)
{
    FMapFileName = fileName;
    FImportedFrom = importedFrom;
    emit mapNamed(fileName);
}

void TMapSession::NewMap(int width, int height, uint16_t partWidth, uint16_t partHeight)
{
    TMapDocument::TMapStores stores = TMapDocument::AllocateStores(width, height);
    SetPartSize(partWidth, partHeight);
    // The steps refer to the old map.
    FHistory.Clear();
    FDocument.NewMap(std::move(stores));
    setNames({}, {});
}

void TMapSession::NewMap(int width, int height)
{
    TMapDocument::TMapStores stores = TMapDocument::AllocateStores(width, height);
    FHistory.Clear();
    FDocument.NewMap(std::move(stores));
    setNames({}, {});
}

TMapLoadResult TMapSession::LoadMap(const QString& fileName, TMapFileType type)
{
    // The parts take the map's part size once the header has been read and the map's
    // memory taken; parts that cannot be made fail the load with nothing changed.
    const TMapLoadResult result =
        ::LoadMapFile(fileName, type, FDocument, [this](uint16_t width, uint16_t height) {
            return applyPartSize(width, height);
        });
    if (result.Ok()) {
        FHistory.Clear();
        setNames(fileName, {});
    }
    return result;
}

TSessionResult TMapSession::SaveMap(const QString& fileName, TMapFileType type,
                                    const QStringList& inputsToKeep)
{
    TSessionResult result;
    result.Ok = ::SaveMapFile(fileName, FDocument, type, PartWidth(), PartHeight(), &result.Error,
                              inputsToKeep);
    if (result.Ok)
        setNames(fileName, {});
    return result;
}

TFileWriteResult TMapSession::SaveMap(TFileWriteSet& set, const QString& fileName,
                                      TMapFileType type)
{
    set.AddOutput(fileName,
                  [this, type, width = PartWidth(), height = PartHeight()](QIODevice& out) {
                      return WriteMapData(out, FDocument, type, width, height);
                  });
    const TFileWriteResult written = set.Write();
    if (written) {
        FDocument.SetMapModified(false);
        setNames(fileName, {});
    }
    return written;
}

TSessionResult TMapSession::ImportTmx(const QString& fileName, uint8_t emptyPart,
                                      const TProgress& progress, TTmxImport* rest)
{
    TTmxImport imported;
    const TSessionResult result = ReadTmx(fileName, emptyPart, imported, progress);
    if (result)
        PlaceTmx(std::move(imported), fileName, rest);
    return result;
}

TSessionResult TMapSession::ReadTmx(const QString& fileName, uint8_t emptyPart,
                                    TTmxImport& imported, const TProgress& progress)
{
    TSessionResult result;
    result.Ok = ImportTmxFile(fileName, emptyPart, imported, &result.Error, progress);
    result.Cancelled = imported.Cancelled;
    return result;
}

void TMapSession::PlaceTmx(TTmxImport&& imported, const QString& fileName, TTmxImport* rest)
{
    // Only the new parts can fail, and then nothing has changed; then the parts take the
    // tiles and the document the cells.
    SetPartSize(imported.PartWidth, imported.PartHeight);
    FHistory.Clear();
    if (FPartsKept == TParts::Pictures) {
        FParts.CaptureParts(imported.Parts);
        imported.Parts = {};
    }
    FDocument.NewMap(std::move(imported.Stores));
    setNames({}, fileName);
    // Neither is in the program's own files yet.
    FDocument.SetMapModified(true);
    FParts.SetPartsModified();
    emit tmxTerrainPlaced(imported.Terrain);
    if (rest)
        *rest = std::move(imported);
}

TFileWriteResult TMapSession::ExportTmx(const QString& fileName, const TTmxWriteOptions& options,
                                        const QStringList& filesToKeep, const TProgress& progress)
{
    QImage sheet;
    FParts.ComposePartsPicture(sheet);
    return ExportTmx(fileName, options, sheet, filesToKeep, progress);
}

TFileWriteResult TMapSession::ExportTmx(const QString& fileName, const TTmxWriteOptions& options,
                                        const QImage& sheet, const QStringList& filesToKeep,
                                        const TProgress& progress)
{
    return ExportTmxFile(fileName, FDocument, sheet, PartWidth(), PartHeight(), options,
                         filesToKeep, progress);
}

void TMapSession::Overlay(uint8_t selectedPart, int col, int row, const QImage& picture)
{
    Compound([&] {
        FParts.EditParts({selectedPart}, [&] {
            FParts.CapturePart(selectedPart, picture, 0, 0);
            return true;
        });
        // A change of the map like any other: its undo and redo mark the map modified.
        FDocument.ReplaceParts({col, row, col, row}, FDocument.Cell(col, row), selectedPart);
    });
    FDocument.SetMapModified(true);
}

void TMapSession::ExchangeParts(uint8_t a, uint8_t b)
{
    const TCellRect whole{0, 0, FDocument.MapWidth() - 1, FDocument.MapHeight() - 1};
    if (a == b) {
        // Nothing moves, yet both count as changed.
        FDocument.ExchangePartsInRect(whole, a, b);
        FParts.SetPartsModified();
        return;
    }
    Compound([&] {
        FParts.EditParts({a, b}, [&] {
            FParts.ExchangeParts(a, b);
            return true;
        });
        FDocument.ExchangePartsInRect(whole, a, b);
    });
}
