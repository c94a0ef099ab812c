#include "CliCommands.h"

#include "CliParse.h"
#include "CliSheet.h"
#include "CliText.h"
#include "FileWrite.h"
#include "MapDocument.h"
#include "MapFile.h"
#include "MapPicture.h"
#include "PartsStore.h"
#include "PictureFormats.h"
#include "SPIBmp.h"
#include "SPIs.h"
#include "TmxFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QMap>
#include <QTextStream>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <variant>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
constexpr qint64 MaxRenderBytes = qint64(1) << 31;

struct CliError
{
    int Code;
    QString Message;
};

[[noreturn]] void usageError(const QString& message)
{
    throw CliError{ExitUsage, message + QStringLiteral(" (see --help)")};
}

[[noreturn]] void failure(const QString& message)
{
    throw CliError{ExitFailed, message};
}

// The folder --plugins names for this run, or empty.
QString extraPluginFolder;

// The picture formats the editor reads: Qt's own, and those of the picture plug-ins found
// where the editor finds them, plus the folder of --plugins.
class PictureReaders
{
public:
    PictureReaders() : FFormats(TPictureFormats::WithQtFormats())
    {
        if (TSPIs::ActiveSPIs())
            return;
        TSPIBitmap::InitializeUnit();
        FManager = std::make_unique<TSPIs>(FFormats);
        FManager->Loaded();
        if (!extraPluginFolder.isEmpty())
            FManager->Search(QDir(extraPluginFolder).absoluteFilePath(QStringLiteral("*.spi")));
    }
    const TPictureFormats& formats() const { return FFormats; }

private:
    TPictureFormats FFormats;
    std::unique_ptr<TSPIs> FManager;
};

// Silences the process's stderr (file descriptor 2) while it lives. Image libraries such
// as libpng print their own lines there, but the tool promises exactly one line per error.
class QuietStderr
{
public:
    QuietStderr()
    {
        std::fflush(stderr);
#ifdef _WIN32
        const int null = _open("NUL", _O_WRONLY);
        FSaved = null >= 0 ? _dup(2) : -1;
        if (FSaved >= 0 && _dup2(null, 2) != 0) {
            _close(FSaved);
            FSaved = -1;
        }
        if (null >= 0)
            _close(null);
#else
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        FSaved = null >= 0 ? fcntl(2, F_DUPFD_CLOEXEC, 0) : -1;
        if (FSaved >= 0 && dup2(null, 2) < 0) {
            close(FSaved);
            FSaved = -1;
        }
        if (null >= 0)
            close(null);
#endif
    }
    ~QuietStderr()
    {
        if (FSaved < 0)
            return; // nothing was redirected
        std::fflush(stderr);
#ifdef _WIN32
        _dup2(FSaved, 2);
        _close(FSaved);
#else
        dup2(FSaved, 2);
        close(FSaved);
#endif
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int FSaved = -1;
};

using PartSize = TCliPartSize;

QString describeLoadFailure(const TMapLoadResult& r)
{
    if (r.Status == TMapLoadStatus::NotType2)
        return QStringLiteral("not a type 2 map file (no \"%1\" at its start)")
            .arg(QString::fromLatin1(MapFileMagic));
    return QStringLiteral("cannot be opened, has a damaged header, or its size is not 1..9999");
}

void expectMapFile(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists())
        failure(QStringLiteral("map file %1 does not exist").arg(fileName));
    if (!info.isFile())
        failure(QStringLiteral("map file %1 is not a file").arg(fileName));
}

[[noreturn]] void cannotRead(const QString& fileName, TMapFileType type, const TMapLoadResult& r)
{
    failure(QStringLiteral("cannot read map %1 as type %2: %3")
                .arg(fileName)
                .arg(int(type))
                .arg(describeLoadFailure(r)));
}

// The header alone, so that sizes can be checked before the cells take any memory.
TMapHeader readHeader(const QString& fileName, TMapFileType type)
{
    expectMapFile(fileName);
    QFile file(fileName);
    TMapLoadResult r;
    std::optional<TMapHeader> header;
    if (file.open(QIODevice::ReadOnly))
        header = ReadMapHeader(file, type, &r.Status);
    if (!header)
        cannotRead(fileName, type, r);
    return *header;
}

TMapLoadResult loadMap(const QString& fileName, TMapFileType type, TMapDocument& doc)
{
    expectMapFile(fileName);
    const TMapLoadResult r = LoadMapFile(fileName, type, doc);
    if (!r.Ok())
        cannotRead(fileName, type, r);
    return r;
}

void noteTruncation(const TMapLoadResult& r, const QString& fileName, QTextStream& out)
{
    if (r.Truncated)
        out << "note: the cell data of " << OneLine(fileName)
            << " ends early; the missing cells are part 0\n";
}

// One line naming the file that could not be written and why.
void expectWritten(const TFileWriteResult& written, const QString& what = QString())
{
    if (!written)
        failure(QStringLiteral("cannot write %1%2: %3").arg(what, written.FileName, written.Error));
}

// Adds the map to `set`; the map goes last, so that it is renamed into place last.
void addMap(TFileWriteSet& set, const QString& fileName, const TMapDocument& doc, TMapFileType type,
            PartSize part)
{
    set.AddOutput(fileName, [&doc, type, part](QIODevice& out) {
        return WriteMapData(out, doc, type, part.Width, part.Height);
    });
}

// Writes the map, never over one of `inputs`.
void saveMap(const QString& fileName, const TMapDocument& doc, TMapFileType type, PartSize part,
             const QStringList& inputs = {})
{
    TFileWriteSet set;
    set.AddInputs(inputs);
    addMap(set, fileName, doc, type, part);
    expectWritten(set.Write(), QStringLiteral("map "));
}

int cmdInfo(const TCliCommand& a, QTextStream& out)
{
    const TMapFileType asked = a.LoadType;
    TMapDocument doc;
    const TMapLoadResult r = loadMap(a.at(0), asked, doc);
    const TMapFileType type = r.Type;

    std::array<qint64, 256> count{};
    for (uint8_t c : doc.MapCells())
        ++count[c];
    out << "file: " << OneLine(a.at(0)) << "\n";
    out << "type: " << int(type) << "\n";
    out << "map size: " << doc.MapWidth() << " x " << doc.MapHeight() << " cells\n";
    if (type == TMapFileType::Type2)
        out << "part size: " << r.PartWidth << " x " << r.PartHeight << " pixels\n";
    noteTruncation(r, a.at(0), out);
    out << "parts used (part: cells):\n";
    for (int p = 0; p < 256; ++p) {
        if (count[p])
            out << "  " << p << ": " << count[p] << "\n";
    }
    return 0;
}

int cmdConvert(const TCliCommand& a, QTextStream& out)
{
    const TMapFileType from = a.LoadType;
    const TMapFileType to = a.SaveType;
    const std::optional<PartSize> part = a.Part;

    TMapDocument doc;
    const TMapLoadResult r = loadMap(a.at(0), from, doc);
    const PartSize size = part.value_or(PartSize{r.PartWidth, r.PartHeight});
    saveMap(a.at(1), doc, to, size, {a.at(0)});
    noteTruncation(r, a.at(0), out);
    out << "wrote " << OneLine(a.at(1)) << ": type " << int(to) << ", " << doc.MapWidth() << " x "
        << doc.MapHeight() << " cells";
    if (to == TMapFileType::Type2)
        out << ", part size " << size.Width << " x " << size.Height;
    out << "\n";
    return 0;
}

int cmdNew(const TCliCommand& a, QTextStream& out)
{
    const int w = a.Width;
    const int h = a.Height;
    const TMapFileType type = a.SaveType;
    const int fill = a.Fill;
    const PartSize part = *a.Part;

    TMapDocument doc;
    try {
        doc.NewMap(w, h);
    } catch (const std::bad_alloc&) {
        failure(QStringLiteral("not enough memory for a %1 x %2 map").arg(w).arg(h));
    }
    if (fill != 0)
        doc.FillMapRect({0, 0, w - 1, h - 1}, uint8_t(fill));
    saveMap(a.at(2), doc, type, part);
    out << "wrote " << OneLine(a.at(2)) << ": type " << int(type) << ", " << w << " x " << h
        << " cells of part " << fill << "\n";
    return 0;
}

// The part pictures a render draws, as the parts window shows them once the parts picture is
// loaded, made only for the parts the map uses: a parts store would hold all 256 at the
// part size, and twice while it loads (4 GB for the largest parts). Parts the picture
// covers whole are views of its pixels; the others are made as the store makes them: the
// covered area on white or, where the picture misses the part, its placeholder. Parts the
// map does not use share one blank picture.
struct RenderParts
{
    QImage Sheet; // the pixels the views show
    std::array<QImage, 256> Parts;
};

std::optional<RenderParts> loadRenderParts(const QString& fileName, uint16_t partWidth,
                                           uint16_t partHeight, std::span<const uint8_t> cells)
{
    // The same picture, and the same limits, as a parts store of this part size would load.
    const QSize sheetSize(TPartsStore::SheetSide * partWidth, TPartsStore::SheetSide * partHeight);
    const qint64 sheetBytes = qint64(sheetSize.width()) * sheetSize.height() * 4;
    if (!QFileInfo(fileName).isFile())
        return std::nullopt;
    const PictureReaders readers;
    const TPictureFormats& formats = readers.formats();
    std::optional<QImage> picture =
        formats.LoadPicture(fileName, {sheetSize, std::max(4 * sheetBytes, qint64(512) << 20)});
    if (!picture)
        return std::nullopt;
    RenderParts result;
    const QRect used = picture->rect() & QRect(QPoint(0, 0), sheetSize);
    if (!used.isEmpty()) {
        result.Sheet = picture->format() == QImage::Format_RGB32
                           ? *picture
                           : picture->copy(used).convertToFormat(QImage::Format_RGB32);
        if (result.Sheet.isNull())
            throw std::bad_alloc();
    }
    picture.reset();

    std::array<bool, 256> wanted{};
    for (const uint8_t c : cells)
        wanted[c] = true;
    // Placeholders show their number at the top left and are white beyond it: a small
    // store draws that corner.
    TPartsStore corners(formats);
    corners.SetPartsSize(std::min<uint16_t>(partWidth, 64), std::min<uint16_t>(partHeight, 32));
    QImage blank(partWidth, partHeight, QImage::Format_RGB32);
    if (blank.isNull())
        throw std::bad_alloc();
    blank.fill(0xffffffffu);

    const QImage& sheet = result.Sheet;
    for (int n = 0; n < 256; ++n) {
        QImage& part = result.Parts[size_t(n)];
        if (!wanted[size_t(n)]) {
            part = blank;
            continue;
        }
        const int x = (n % TPartsStore::SheetSide) * partWidth;
        const int y = (n / TPartsStore::SheetSide) * partHeight;
        const QRect area = sheet.rect() & QRect(x, y, partWidth, partHeight);
        if (area.size() == QSize(partWidth, partHeight)) {
            part = QImage(sheet.constScanLine(y) + qsizetype(x) * 4, partWidth, partHeight,
                          sheet.bytesPerLine(), QImage::Format_RGB32);
            continue;
        }
        part = blank.copy();
        if (part.isNull())
            throw std::bad_alloc();
        const QImage* from = &sheet;
        QRect source = area;
        if (area.isEmpty()) {
            from = &corners.PartBitmap(n);
            source = from->rect();
        }
        const qsizetype bytes = qsizetype(source.width()) * 4;
        for (int row = 0; row < source.height(); ++row)
            std::memcpy(part.scanLine(row),
                        from->constScanLine(source.y() + row) + qsizetype(source.x()) * 4, bytes);
    }
    return result;
}

// A line on a terminal's stderr that says how far the picture is, redrawn in place.
class ProgressLine
{
public:
    ProgressLine() : FShown(isatty(2) != 0) {}
    ~ProgressLine()
    {
        if (FShown && FPercent >= 0)
            std::fprintf(stderr, "\r%*s\r", 60, "");
    }
    bool operator()(qint64 done, qint64 total)
    {
        const int percent = total > 0 ? int(done * 100 / total) : 100;
        if (FShown && percent != FPercent) {
            std::fprintf(stderr, "\rrendering: %lld of %lld rows (%d%%)", (long long)done,
                         (long long)total, percent);
            std::fflush(stderr);
            FPercent = percent;
        }
        return true;
    }

private:
    bool FShown;
    int FPercent = -1;
};

int cmdRender(const TCliCommand& a, QTextStream& out)
{
    const TMapFileType type = a.LoadType;
    const std::optional<int> cell = a.Cell;
    const QString outName = a.at(2);
    const QByteArray format = a.Format;
    const bool streamed = a.Streamed;
    TMapPictureOptions options = a.Picture;

    // Every size check comes from the header, before the cells or anything else take memory.
    const TMapHeader header = readHeader(a.at(0), type);
    if (!TPartsStore::PartSizeAllowed(header.PartWidth, header.PartHeight))
        failure(QStringLiteral("cannot render %1: %2")
                    .arg(a.at(0), PartSizeTooLarge(header.PartWidth, header.PartHeight)));
    const int cellW = cell.value_or(header.PartWidth);
    const int cellH = cell.value_or(header.PartHeight);
    options.Cell = QSize(cellW, cellH);
    const qint64 width = qint64(header.MapWidth) * cellW;
    const qint64 height = qint64(header.MapHeight) * cellH;
    if (streamed) {
        const TMapPicturePlan plan =
            PlanMapPictureFile(outName, header.MapWidth, header.MapHeight, options);
        if (plan.Why == TMapPictureRefusal::TooManyPixels)
            failure(QStringLiteral("cannot render %1: %2, or give --allow-huge")
                        .arg(a.at(0), plan.Refusal));
        if (!plan.Ok())
            failure(QStringLiteral("cannot render %1 x %2 pixels: %3")
                        .arg(width)
                        .arg(height)
                        .arg(plan.Refusal));
    } else {
        const qint64 bytes = width * height * 4;
        if (bytes > MaxRenderBytes || width > std::numeric_limits<int>::max() ||
            height > std::numeric_limits<int>::max())
            failure(QStringLiteral("the picture would be %1 x %2 pixels (%3 bytes), more than "
                                   "the limit of 2^31 bytes for %4; choose a smaller --cell, "
                                   "or bmp or png")
                        .arg(width)
                        .arg(height)
                        .arg(bytes)
                        .arg(QString::fromLatin1(format)));
    }

    TMapDocument doc;
    const TMapLoadResult r = loadMap(a.at(0), type, doc);
    // The file may have changed since its header was read.
    if (doc.MapWidth() != header.MapWidth || doc.MapHeight() != header.MapHeight ||
        r.PartWidth != header.PartWidth || r.PartHeight != header.PartHeight)
        failure(QStringLiteral("map %1 changed while it was read").arg(a.at(0)));

    std::optional<RenderParts> parts;
    {
        const QuietStderr quiet;
        parts = loadRenderParts(a.at(1), r.PartWidth, r.PartHeight, doc.MapCells());
    }
    if (!parts)
        failure(QStringLiteral("cannot read the parts picture %1").arg(a.at(1)));
    const std::array<QImage, 256>& pictures = parts->Parts;

    if (streamed) {
        ProgressLine progress;
        options.Inputs = {a.at(0), a.at(1)};
        expectWritten(WriteMapPicture(outName, doc.MapCells(), doc.MapWidth(), doc.MapHeight(),
                                      pictures, options, std::ref(progress)));
    } else {
        QImage picture(int(width), int(height), QImage::Format_RGB888);
        if (picture.isNull())
            failure(
                QStringLiteral("not enough memory for a %1 x %2 picture").arg(width).arg(height));
        TMapPictureRenderer renderer(doc.MapCells(), doc.MapWidth(), doc.MapHeight(), pictures,
                                     options.Cell, TPixelOrder::Rgb);
        renderer.RenderRows(0, int(height), picture.bits(), picture.bytesPerLine(), 0, width);
        QString writerError;
        TFileWriteSet set;
        set.AddInputs({a.at(0), a.at(1)});
        set.AddOutput(outName, [&](QIODevice& file) {
            QImageWriter writer(&file, format);
            const QuietStderr quiet;
            if (writer.write(picture))
                return true;
            // Writers that give no reason still get a useful line; a device error, a full
            // disk say, speaks for itself.
            if (writer.error() == QImageWriter::UnknownError)
                writerError = QStringLiteral("the %1 writer refused a %2 x %3 picture")
                                  .arg(QString::fromLatin1(format))
                                  .arg(width)
                                  .arg(height);
            else if (writer.error() != QImageWriter::DeviceError)
                writerError = writer.errorString();
            return false;
        });
        TFileWriteResult written = set.Write();
        if (!written && written.Error == FileContentsNotMade() && !writerError.isEmpty())
            written.Error = writerError;
        expectWritten(written);
    }
    noteTruncation(r, a.at(0), out);
    out << "wrote " << OneLine(outName) << ": " << width << " x " << height << " pixels";
    if (!options.Tile.isEmpty()) {
        const TMapPicturePlan plan = PlanMapPicture(doc.MapWidth(), doc.MapHeight(), options);
        out << " in " << plan.TileColumns << " x " << plan.TileRows << " tiles named "
            << QFileInfo(MapPictureTileName(outName, 0, 0)).fileName() << " and on";
    }
    out << "\n";
    return 0;
}

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

int cmdExport(const TCliCommand& a, QTextStream& out)
{
    const TMapFileType type = a.LoadType;
    const QString outName = a.at(1);
    const bool tmx = a.Tmx;
    const TTmxEncoding encoding = a.Encoding;
    const std::optional<QString> sheetName = a.Sheet;

    TMapDocument doc;
    const TMapLoadResult r = loadMap(a.at(0), type, doc);
    if (tmx) {
        const QImage sheet = loadSheet(*sheetName, r.PartWidth, r.PartHeight);
        expectWritten(ExportTmxFile(outName, doc, sheet, r.PartWidth, r.PartHeight, encoding,
                                    {a.at(0), *sheetName}));
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

    TTmxImport imported;
    QString why;
    if (!QFileInfo(a.at(0)).isFile())
        failure(QStringLiteral("TMX file %1 does not exist").arg(a.at(0)));
    {
        const QuietStderr quiet;
        if (!ImportTmxFile(a.at(0), uint8_t(empty), imported, &why))
            failure(QStringLiteral("cannot import %1: %2").arg(a.at(0), why));
    }
    const TPictureFormats formats = TPictureFormats::WithQtFormats();
    const QByteArray sheetFormat = TPartsStore(formats).SheetFormatFor(sheetName);
    if (sheetFormat.isEmpty())
        usageError(QStringLiteral("%1: the parts sheet must be PNG or BMP").arg(sheetName));
    // The sheet is made straight from the parts the map uses, the others placeholders.
    QImage sheet;
    try {
        sheet = SheetFromParts(imported.Parts, imported.PartWidth, imported.PartHeight, formats);
    } catch (const std::bad_alloc&) {
        failure(
            QStringLiteral("cannot import %1: not enough memory for the parts sheet").arg(a.at(0)));
    }
    imported.Parts = {};
    TMapDocument doc;
    doc.NewMap(std::move(imported.Stores));
    // The sheet and the map are one set, the map renamed last; neither may replace the TMX
    // or a file it names.
    TFileWriteSet set;
    set.AddInput(a.at(0));
    set.AddInputs(imported.Files);
    set.AddOutput(sheetName, [&sheet, &sheetFormat](QIODevice& out) {
        return sheet.save(&out, sheetFormat.constData());
    });
    addMap(set, mapName, doc, TMapFileType::Type2,
           PartSize{imported.PartWidth, imported.PartHeight});
    expectWritten(set.Write());
    out << "wrote " << OneLine(mapName) << " and " << OneLine(sheetName) << ": " << doc.MapWidth()
        << " x " << doc.MapHeight() << " cells, part size " << imported.PartWidth << " x "
        << imported.PartHeight << "\n";
    return 0;
}

} // namespace

QString CliUsage()
{
    return QStringLiteral(
        "quiltmapper-cli: batch work on Quiltmapper map files (.mpd)\n"
        "\n"
        "Map files come in two layouts. Type 1 holds the map size and the cells column by\n"
        "column; type 2 starts with \"QuiltmapperDataFormat20\", the part size and the map\n"
        "size, then the cells row by row. A file that starts with that text is read as\n"
        "type 2 whatever --type or --from says; they decide only files without it, which\n"
        "auto (the default) reads as type 1. Files are written as type 2 unless told.\n"
        "\n"
        "Commands:\n"
        "  info MAP [--type auto|1|2]\n"
        "      Print the map size, the part size (type 2) and how many cells hold each\n"
        "      part number.\n"
        "  convert IN OUT [--from auto|1|2] --to 1|2 [--part WxH]\n"
        "      Read IN in one layout and write OUT in another. A type 2 output takes the\n"
        "      part size from --part, else from a type 2 input, else 32x32.\n"
        "      --part WxH must leave the parts sheet (16 x 16 parts) within 2 GB, about\n"
        "      1448x1448 at most, as in the editor (also for new).\n"
        "  render MAP PARTS_PICTURE OUT [--type auto|1|2] [--cell N] [--split WxH]\n"
        "         [--png-level N] [--allow-huge]\n"
        "      Draw the whole map as one picture: every cell shows its part from the parts\n"
        "      picture (a 16 x 16 sheet of parts, as saved by the editor) at N x N pixels\n"
        "      (default: the part size, 32x32 for type 1). OUT's extension chooses the\n"
        "      format (bmp, png, jpg, ...); icon formats (ico, cur, icns) are refused, as\n"
        "      they would shrink the picture. bmp and png are written a few rows at a time,\n"
        "      so any map fits in little memory; a BMP file holds at most 4 GB, and one\n"
        "      that would not fit on the disk is refused before the cells are read. Other\n"
        "      formats are made in memory: pictures over 2^31 bytes are refused.\n"
        "      --split WxH writes tiles of at most W x H pixels instead, OUT_C_R.ext for\n"
        "      tile column C and row R (from 0). --png-level N: zlib level 0..9, default 1\n"
        "      (fast). A picture of more than 2^36 pixels (all tiles together; 256 K x\n"
        "      256 K) would take days and terabytes: it is refused unless --allow-huge\n"
        "      is given. On a terminal a progress line shows on stderr.\n"
        "  new W H OUT [--type 1|2] [--fill N] [--part WxH]\n"
        "      Write a new map of W x H cells (1..9999 each), every cell part N (0..255,\n"
        "      default 0); a type 2 file records the part size (default 32x32).\n"
        "  export MAP OUT.tmx|OUT.csv [--parts SHEET] [--encoding csv|zlib] [--type auto|1|2]\n"
        "      Write the map for other map editors and game engines. TMX (needs --parts,\n"
        "      the parts sheet): one tile layer whose gids are part number + 1, as CSV or,\n"
        "      with --encoding zlib, as base64 zlib data; the sheet is written beside it as\n"
        "      PNG with the map's name. CSV: the part numbers, one map row a line.\n"
        "  import IN.tmx OUT.mpd [--parts-out SHEET] [--empty N]\n"
        "      Read an orthogonal TMX map of one tile layer into a type 2 map and its parts\n"
        "      sheet (default: OUT's name with .png). One tileset of at most 256 tiles keeps\n"
        "      its tile numbers; otherwise the tiles used become parts 0.. in gid order.\n"
        "      Flipped tiles take free parts. Empty cells become part N (default 0).\n"
        "\n"
        "Parts pictures are read as the editor reads them: BMP, PNG, JPEG, GIF, ... and\n"
        "every format of the picture plug-ins (.spi) in the editor's plug-in folders;\n"
        "--plugins DIR, anywhere before a lone --, adds one more folder.\n"
        "\n"
        "Options take their value as --name value or --name=value; a lone -- ends the\n"
        "options, for file names that start with -.\n"
        "Cell data that ends early reads as part 0; info, convert and render then print a\n"
        "note line on stdout and still succeed.\n"
        "On any error one line goes to stderr, the exit code is 1 (2 for a wrong command\n"
        "line), and no output file is left behind; an existing OUT stays as it was.\n");
}

int RunCli(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const std::variant<TCliCommand, QString> parsed = ParseCli(args);
    if (const QString* wrong = std::get_if<QString>(&parsed)) {
        err << "quiltmapper-cli: " << OneLine(*wrong) << "\n";
        return ExitUsage;
    }
    const TCliCommand& command = std::get<TCliCommand>(parsed);
    if (command.Kind == TCliCommandKind::Help) {
        (command.HelpAsked ? out : err) << CliUsage();
        return command.HelpAsked ? 0 : ExitUsage;
    }
    extraPluginFolder.clear();
    try {
        if (command.PluginFolder) {
            if (!QFileInfo(*command.PluginFolder).isDir())
                failure(
                    QStringLiteral("plug-in folder %1 does not exist").arg(*command.PluginFolder));
            extraPluginFolder = *command.PluginFolder;
        }
        switch (command.Kind) {
        case TCliCommandKind::Info:
            return cmdInfo(command, out);
        case TCliCommandKind::Convert:
            return cmdConvert(command, out);
        case TCliCommandKind::Render:
            return cmdRender(command, out);
        case TCliCommandKind::New:
            return cmdNew(command, out);
        case TCliCommandKind::Export:
            return cmdExport(command, out);
        case TCliCommandKind::Import:
            return cmdImport(command, out);
        case TCliCommandKind::Help:
            break;
        }
        return ExitUsage;
    } catch (const CliError& e) {
        err << "quiltmapper-cli: " << OneLine(e.Message) << "\n";
        return e.Code;
    } catch (const std::bad_alloc&) {
        err << "quiltmapper-cli: not enough memory\n";
        return ExitFailed;
    } catch (const std::exception& e) {
        err << "quiltmapper-cli: " << OneLine(QString::fromUtf8(e.what())) << "\n";
        return ExitFailed;
    }
}
