#include "CliParse.h"
#include "CliSupport.h"
#include "CliText.h"
#include "MapPicture.h"
#include "PartsStore.h"

#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QTextStream>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#include <span>
#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace cli {

namespace {

constexpr qint64 MaxRenderBytes = qint64(1) << 31;

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

} // namespace

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

    MapWork work;
    const TMapLoadResult r = loadMap(a.at(0), type, work.Session);
    const TMapDocument& doc = work.Doc();
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

} // namespace cli
