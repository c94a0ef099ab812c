#include "CliParse.h"
#include "CliSheet.h"
#include "CliSupport.h"
#include "CliText.h"
#include "PartsStore.h"
#include "TerrainTmx.h"
#include "TmxFile.h"

#include <QFileInfo>
#include <QImage>
#include <QTextStream>
#include <algorithm>
#include <new>
#include <optional>

namespace cli {

namespace {

// The parts sheet named on the command line, cut at the map's part size: the picture is
// read with the limits a parts store of this size would use, and becomes the sheet.
QImage loadSheet(const QString& fileName, uint16_t partWidth, uint16_t partHeight)
{
    if (!TPartsStore::PartSizeAllowed(partWidth, partHeight))
        failure(PartSizeTooLarge(partWidth, partHeight));
    const QSize sheetSize(TPartsStore::SheetSide * partWidth, TPartsStore::SheetSide * partHeight);
    const qint64 sheetBytes = qint64(sheetSize.width()) * sheetSize.height() * 4;
    const PictureReaders readers;
    std::optional<QImage> picture;
    if (QFileInfo(fileName).isFile()) {
        const QuietStderr quiet;
        picture = readers.formats().LoadPicture(
            fileName, {sheetSize, std::max(4 * sheetBytes, qint64(512) << 20)});
    }
    if (!picture)
        failure(QStringLiteral("cannot read the parts picture %1").arg(fileName));
    try {
        return SheetFromPicture(std::move(*picture), partWidth, partHeight, readers.formats());
    } catch (const std::bad_alloc&) {
        failure(QStringLiteral("not enough memory for the parts sheet of %1 x %2 pixels")
                    .arg(sheetSize.width())
                    .arg(sheetSize.height()));
    }
}

} // namespace

int cmdExport(const TCliCommand& a, QTextStream& out)
{
    const TMapFileType type = a.LoadType;
    const QString outName = a.at(1);
    const bool tmx = a.Tmx;
    TTmxWriteOptions options(a.Encoding);
    options.Level = a.Level;
    const std::optional<QString> sheetName = a.Sheet;
    if (tmx)
        options.PartsPicture = *sheetName;

    MapWork work;
    const TMapLoadResult r = loadMap(a.at(0), type, work.Session);
    const TMapDocument& doc = work.Doc();
    if (tmx) {
        const QImage sheet = loadSheet(*sheetName, r.PartWidth, r.PartHeight);
        expectWritten(work.Session.ExportTmx(outName, options, sheet, {a.at(0), *sheetName}));
    } else {
        expectWritten(ExportCsvFile(outName, doc, {a.at(0)}));
    }
    noteTruncation(r, a.at(0), out);
    out << "wrote " << OneLine(outName);
    if (tmx)
        out << " and " << OneLine(TmxSheetFileName(outName));
    out << ": " << doc.MapWidth() << " x " << doc.MapHeight() << " cells\n";
    return 0;
}

int cmdImport(const TCliCommand& a, QTextStream& out)
{
    const int empty = a.Empty;
    const QString mapName = a.at(1);
    // The sheet goes where a TMX export of this map would put it: beside, with its name.
    const QString sheetName = a.Sheet.value_or(TmxSheetFileName(mapName));

    if (!QFileInfo(a.at(0)).isFile())
        failure(QStringLiteral("TMX file %1 does not exist").arg(a.at(0)));
    // The session keeps the map; the tiles and the files the TMX named come back.
    MapWork work;
    TTmxImport imported;
    {
        const QuietStderr quiet;
        const TSessionResult read = work.Session.ImportTmx(a.at(0), uint8_t(empty), {}, &imported);
        if (!read)
            failure(QStringLiteral("cannot import %1: %2").arg(a.at(0), read.Error));
    }
    const uint16_t partWidth = work.Session.PartWidth();
    const uint16_t partHeight = work.Session.PartHeight();
    const QByteArray sheetFormat = work.Session.Parts().SheetFormatFor(sheetName);
    if (sheetFormat.isEmpty())
        usageError(QStringLiteral("%1: the parts sheet must be PNG or BMP").arg(sheetName));
    // The sheet is made straight from the parts the map uses, the others placeholders.
    QImage sheet;
    try {
        sheet = SheetFromParts(imported.Parts, partWidth, partHeight, work.Formats);
    } catch (const std::bad_alloc&) {
        failure(
            QStringLiteral("cannot import %1: not enough memory for the parts sheet").arg(a.at(0)));
    }
    imported.Parts = {};
    const TMapDocument& doc = work.Doc();
    // The sheet and the map are one set, the map renamed last; neither may replace the TMX
    // or a file it names.
    TFileWriteSet set;
    set.AddInput(a.at(0));
    set.AddInputs(imported.Files);
    set.AddOutput(sheetName, [&sheet, &sheetFormat](QIODevice& out) {
        return sheet.save(&out, sheetFormat.constData());
    });
    // The map's terrain sets go beside the sheet, never over another tileset's file.
    const QString terrainRefused = AddTerrainOutput(
        set, imported.Terrain, {sheetName, QSize(partWidth, partHeight), sheet.size()});
    if (!terrainRefused.isEmpty())
        failure(QStringLiteral("cannot import %1: %2").arg(a.at(0), terrainRefused));
    expectWritten(work.Session.SaveMap(set, mapName, TMapFileType::Type2));
    out << "wrote " << OneLine(mapName) << " and " << OneLine(sheetName);
    if (!imported.Terrain.Sets.empty())
        out << " and " << OneLine(TerrainFileName(sheetName));
    out << ": " << doc.MapWidth() << " x " << doc.MapHeight() << " cells, part size " << partWidth
        << " x " << partHeight << "\n";
    return 0;
}

} // namespace cli
