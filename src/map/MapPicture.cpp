#include "MapPicture.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QPainter>
#include <QStorageInfo>
#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <png.h>
#include <zlib.h>

// ---- encoders -----------------------------------------------------------------------------

namespace {

// Takes a picture's rows a band at a time, in its own order, and writes them to a device.
class TPictureEncoder
{
public:
    virtual ~TPictureEncoder() = default;
    virtual TPixelOrder Order() const = 0;
    virtual bool BottomUp() const = 0;
    // Bytes from one row to the next in the bands it takes.
    virtual qsizetype Stride(qint64 width) const = 0;
    virtual bool Begin(QIODevice& device, qint64 width, qint64 height) = 0;
    // `count` rows in the encoder's order, `Stride` bytes apart.
    virtual bool WriteBand(const uchar* rows, int count) = 0;
    // A piece of one row, for rows too long to take whole: the pixels from where the last
    // piece ended; `first` when the row starts here, `last` when it ends here.
    virtual bool WriteRowPart(const uchar* pixels, qint64 bytes, bool first, bool last) = 0;
    virtual bool Finish() = 0;

    QString Error;
};

qsizetype bmpStride(qint64 width)
{
    return qsizetype((width * 3 + 3) & ~qint64(3));
}

constexpr int BmpHeaderSize = 54;

qint64 bmpFileSize(qint64 width, qint64 height)
{
    return BmpHeaderSize + qint64(bmpStride(width)) * height;
}

// 24-bit BMP, rows bottom-up as every reader expects, each padded to 4 bytes.
class TBmpEncoder : public TPictureEncoder
{
public:
    TPixelOrder Order() const override { return TPixelOrder::Bgr; }
    bool BottomUp() const override { return true; }
    qsizetype Stride(qint64 width) const override { return bmpStride(width); }

    bool Begin(QIODevice& device, qint64 width, qint64 height) override
    {
        FDevice = &device;
        uchar h[BmpHeaderSize] = {};
        const auto put16 = [&h](int at, quint32 v) {
            h[at] = uchar(v);
            h[at + 1] = uchar(v >> 8);
        };
        const auto put32 = [&h](int at, quint32 v) {
            for (int i = 0; i < 4; ++i)
                h[at + i] = uchar(v >> (8 * i));
        };
        h[0] = 'B';
        h[1] = 'M';
        put32(2, quint32(bmpFileSize(width, height)));
        put32(10, BmpHeaderSize);
        put32(14, 40);
        put32(18, quint32(width));
        put32(22, quint32(height));
        put16(26, 1);
        put16(28, 24);
        put32(34, quint32(qint64(bmpStride(width)) * height));
        put32(38, 2835); // 72 dpi
        put32(42, 2835);
        FStride = bmpStride(width);
        FPadding = int(FStride - width * 3);
        return device.write(reinterpret_cast<const char*>(h), BmpHeaderSize) == BmpHeaderSize;
    }

    bool WriteBand(const uchar* rows, int count) override
    {
        const qint64 bytes = qint64(FStride) * count;
        return FDevice->write(reinterpret_cast<const char*>(rows), bytes) == bytes;
    }

    bool WriteRowPart(const uchar* pixels, qint64 bytes, bool, bool last) override
    {
        static constexpr char Zeros[4] = {};
        return FDevice->write(reinterpret_cast<const char*>(pixels), bytes) == bytes &&
               (!last || FDevice->write(Zeros, FPadding) == FPadding);
    }

    bool Finish() override { return true; }

private:
    QIODevice* FDevice = nullptr;
    qsizetype FStride = 0;
    int FPadding = 0;
};

// PNG: libpng writes the signature, the header and the chunks, checks them and sums them;
// the picture data is deflated here, a band at a time, two bands at once on the two
// threads besides the caller's. Each band is a deflate block sequence of its own ending
// on a byte boundary (a sync flush), so the pieces joined in order are one deflate stream;
// the zlib stream around them takes the Adler-32 of all rows. Rows are not filtered:
// parts laid side by side repeat far more than they slope, and deflate finds the repeats.
class TPngEncoder : public TPictureEncoder
{
public:
    explicit TPngEncoder(int level) : FLevel(level) {}
    ~TPngEncoder() override
    {
        for (auto& f : FPending) {
            if (f.valid())
                f.wait();
        }
        if (FPng)
            png_destroy_write_struct(&FPng, &FInfo);
    }

    TPixelOrder Order() const override { return TPixelOrder::Rgb; }
    bool BottomUp() const override { return false; }
    qsizetype Stride(qint64 width) const override { return qsizetype(width * 3); }

    bool Begin(QIODevice& device, qint64 width, qint64 height) override
    {
        FDevice = &device;
        FHeight = height;
        FPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, onError, onWarning);
        if (!FPng)
            return fail("out of memory");
        FInfo = png_create_info_struct(FPng);
        if (!FInfo)
            return fail("out of memory");
        FStride = Stride(width);
        return begin(png_uint_32(width), png_uint_32(height));
    }

    bool WriteBand(const uchar* rows, int count) override
    {
        // Each row as PNG stores it: filter type 0 (none), then its pixels.
        const size_t rowBytes = size_t(FStride) + 1;
        std::vector<uchar> raw(rowBytes * size_t(count));
        for (int i = 0; i < count; ++i) {
            raw[rowBytes * size_t(i)] = 0;
            std::memcpy(raw.data() + rowBytes * size_t(i) + 1, rows + qsizetype(i) * FStride,
                        size_t(FStride));
        }
        FRowsTaken += count;
        return deflateRows(std::move(raw));
    }

    bool WriteRowPart(const uchar* pixels, qint64 bytes, bool first, bool last) override
    {
        std::vector<uchar> raw(size_t(bytes) + (first ? 1 : 0));
        if (first)
            raw[0] = 0; // the row's filter type
        std::memcpy(raw.data() + (first ? 1 : 0), pixels, size_t(bytes));
        if (last)
            ++FRowsTaken;
        return deflateRows(std::move(raw));
    }

    bool Finish() override
    {
        if (setjmp(png_jmpbuf(FPng)))
            return false;
        png_write_chunk(FPng, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
        return true;
    }

private:
    // Rows as PNG stores them, or a piece of them, deflated as the next piece of the stream.
    bool deflateRows(std::vector<uchar> raw)
    {
        FAdler = adler32_z(FAdler, raw.data(), raw.size());
        const bool last = FRowsTaken == FHeight;
        FPending.push_back(
            std::async(std::launch::async, deflatePiece, std::move(raw), FLevel, last));
        // Two pieces deflate at once; the older one is written when a third comes.
        while (FPending.size() > (last ? 0u : 1u)) {
            std::vector<uchar> piece = FPending.front().get();
            FPending.erase(FPending.begin());
            if (piece.empty())
                return fail("out of memory");
            if (!writePiece(piece, FPending.empty() && last))
                return false;
        }
        return true;
    }

    bool begin(png_uint_32 width, png_uint_32 height)
    {
        if (setjmp(png_jmpbuf(FPng)))
            return false;
        // libpng refuses pictures wider or higher than a million pixels unless told.
        png_set_user_limits(FPng, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
        png_set_write_fn(FPng, this, onWrite, onFlush);
        png_set_IHDR(FPng, FInfo, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
        png_write_info(FPng, FInfo);
        return true;
    }

    // One band deflated, raw (no zlib header), ending on a byte boundary; the last one
    // ends the stream. Empty when zlib could not get its memory.
    static std::vector<uchar> deflatePiece(std::vector<uchar> raw, int level, bool last)
    {
        z_stream z{};
        if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return {};
        std::vector<uchar> out(deflateBound(&z, uLong(raw.size())) + 64);
        // zlib counts in 32 bits: a row of gigabytes goes in by pieces.
        constexpr size_t Step = size_t(1) << 30;
        size_t in = 0;
        size_t produced = 0;
        bool ok = true;
        for (;;) {
            const size_t chunk = std::min(Step, raw.size() - in);
            const bool end = in + chunk == raw.size();
            z.next_in = raw.data() + in;
            z.avail_in = uInt(chunk);
            int result;
            do {
                if (out.size() - produced < 64)
                    out.resize(out.size() * 2);
                const size_t room = std::min(Step, out.size() - produced);
                z.next_out = out.data() + produced;
                z.avail_out = uInt(room);
                result = deflate(&z, end ? (last ? Z_FINISH : Z_SYNC_FLUSH) : Z_NO_FLUSH);
                produced += room - z.avail_out;
            } while (result == Z_OK && (z.avail_out == 0 || z.avail_in > 0 || (end && last)));
            in += chunk;
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
                ok = false;
                break;
            }
            if (end) {
                ok = last ? result == Z_STREAM_END : z.avail_in == 0;
                break;
            }
        }
        out.resize(produced);
        deflateEnd(&z);
        if (!ok)
            return {};
        return out;
    }

    // A deflated piece as an IDAT chunk: the zlib header before the first, the Adler-32
    // after the last.
    bool writePiece(std::vector<uchar>& piece, bool last)
    {
        if (!FHeaderWritten) {
            // Deflate with a 32 KB window; the level hint as zlib itself would give it.
            const uchar flag = FLevel <= 1 ? 0x01 : FLevel <= 5 ? 0x5e : FLevel == 6 ? 0x9c : 0xda;
            piece.insert(piece.begin(), {uchar(0x78), flag});
            FHeaderWritten = true;
        }
        if (last) {
            for (int shift = 24; shift >= 0; shift -= 8)
                piece.push_back(uchar(FAdler >> shift));
        }
        if (setjmp(png_jmpbuf(FPng)))
            return false;
        png_write_chunk(FPng, reinterpret_cast<png_const_bytep>("IDAT"), piece.data(),
                        piece.size());
        return true;
    }

    bool fail(const char* why)
    {
        Error = QString::fromLatin1(why);
        return false;
    }

    static void onError(png_structp png, png_const_charp message)
    {
        auto* self = static_cast<TPngEncoder*>(png_get_error_ptr(png));
        if (self->Error.isEmpty())
            self->Error = QString::fromLatin1(message);
        png_longjmp(png, 1);
    }
    static void onWarning(png_structp, png_const_charp) {}
    static void onWrite(png_structp png, png_bytep data, png_size_t length)
    {
        auto* self = static_cast<TPngEncoder*>(png_get_io_ptr(png));
        if (self->FDevice->write(reinterpret_cast<const char*>(data), qint64(length)) !=
            qint64(length)) {
            // The device's own error speaks for itself.
            self->Error = self->FDevice->errorString();
            png_error(png, "write failed");
        }
    }
    static void onFlush(png_structp) {}

    int FLevel;
    QIODevice* FDevice = nullptr;
    png_structp FPng = nullptr;
    png_infop FInfo = nullptr;
    qsizetype FStride = 0;
    qint64 FHeight = 0;
    qint64 FRowsTaken = 0;
    uLong FAdler = adler32(0, nullptr, 0);
    bool FHeaderWritten = false;
    std::vector<std::future<std::vector<uchar>>> FPending;
};

// Bands of about this many bytes: big enough that a write or a thread hand-over is cheap,
// small enough that two of them stay well within the memory budget.
constexpr qint64 BandBytes = 4 << 20;

struct TBandJob
{
    TMapPictureRenderer* Renderer;
    TPictureEncoder* Encoder;
    qint64 Left, Top, Width, Height; // the piece of the picture to write
    qint64 RowsBefore, RowsTotal;    // for the progress report
    const TMapPictureProgress* Progress;
};

enum class TBandResult
{
    Done,
    Failed,
    Cancelled,
};

// Renders the piece's bands in the encoder's order, each next band on a second thread
// while the encoder takes the current one. A band is a few whole rows, or, where one row
// alone passes BandBytes (wide maps, wide cells), a piece of one row: memory stays the same
// whatever the picture's width.
TBandResult streamBands(const TBandJob& job)
{
    const qsizetype stride = job.Encoder->Stride(job.Width);
    const bool pieces = stride > BandBytes;
    const qint64 pieceWidth = pieces ? BandBytes / 3 : job.Width;
    const qint64 piecesPerRow = (job.Width + pieceWidth - 1) / pieceWidth;
    const int bandRows =
        pieces ? 1
               : int(std::clamp<qint64>(BandBytes / std::max<qsizetype>(stride, 1), 1, job.Height));
    // Zeroed once: the BMP row padding is never written by the renderer.
    std::vector<uchar> buffers[2];
    for (auto& b : buffers)
        b.assign(pieces ? size_t(pieceWidth) * 3 : size_t(stride) * size_t(bandRows), 0);
    const bool bottomUp = job.Encoder->BottomUp();
    const qint64 bands =
        pieces ? job.Height * piecesPerRow : (job.Height + bandRows - 1) / bandRows;
    // Band k in the encoder's order: its rows (or its pixels) and where they go.
    const auto render = [&](qint64 k) -> qint64 {
        uchar* buffer = buffers[k % 2].data();
        if (pieces) {
            const qint64 row = k / piecesPerRow;
            const qint64 x = k % piecesPerRow * pieceWidth;
            const qint64 width = std::min(pieceWidth, job.Width - x);
            job.Renderer->RenderRows(bottomUp ? job.Top + job.Height - 1 - row : job.Top + row, 1,
                                     buffer, 0, job.Left + x, width);
            return width * 3;
        }
        const qint64 first = k * bandRows;
        const int count = int(std::min<qint64>(bandRows, job.Height - first));
        if (bottomUp)
            job.Renderer->RenderRows(job.Top + job.Height - first - count, count,
                                     buffer + qsizetype(count - 1) * stride, -stride, job.Left,
                                     job.Width);
        else
            job.Renderer->RenderRows(job.Top + first, count, buffer, stride, job.Left, job.Width);
        return count;
    };
    std::future<qint64> next = std::async(std::launch::async, render, qint64(0));
    qint64 done = 0;
    for (qint64 k = 0; k < bands; ++k) {
        const qint64 got = next.get();
        if (k + 1 < bands)
            next = std::async(std::launch::async, render, k + 1);
        const uchar* band = buffers[k % 2].data();
        bool written;
        if (pieces) {
            const qint64 piece = k % piecesPerRow;
            const bool rowEnds = piece == piecesPerRow - 1;
            written = job.Encoder->WriteRowPart(band, got, piece == 0, rowEnds);
            if (written && !rowEnds)
                continue; // progress is told of whole rows
            done += 1;
        } else {
            written = job.Encoder->WriteBand(band, int(got));
            done += got;
        }
        if (!written)
            return TBandResult::Failed; // the future's destructor waits for the next band
        if (*job.Progress && !(*job.Progress)(job.RowsBefore + done, job.RowsTotal))
            return TBandResult::Cancelled;
    }
    return TBandResult::Done;
}

} // namespace

// ---- planning -----------------------------------------------------------------------------

TMapPicturePlan PlanMapPicture(int mapWidth, int mapHeight, const TMapPictureOptions& options)
{
    TMapPicturePlan plan;
    const QSize cell = options.Cell;
    if (mapWidth < 1 || mapHeight < 1 || cell.width() < 1 || cell.height() < 1) {
        plan.Why = TMapPictureRefusal::Empty;
        plan.Refusal = QStringLiteral("the map and the cell size must not be empty");
        return plan;
    }
    plan.Width = qint64(mapWidth) * cell.width();
    plan.Height = qint64(mapHeight) * cell.height();
    qint64 pieceW = plan.Width, pieceH = plan.Height;
    if (!options.Tile.isEmpty()) {
        pieceW = std::min<qint64>(options.Tile.width(), plan.Width);
        pieceH = std::min<qint64>(options.Tile.height(), plan.Height);
        const qint64 columns = (plan.Width + pieceW - 1) / pieceW;
        const qint64 rows = (plan.Height + pieceH - 1) / pieceH;
        if (columns * rows > 1000000) {
            plan.Why = TMapPictureRefusal::TooManyTiles;
            plan.Refusal = QStringLiteral("%1 x %2 tiles are too many; choose larger tiles")
                               .arg(columns)
                               .arg(rows);
            return plan;
        }
        plan.TileColumns = int(columns);
        plan.TileRows = int(rows);
    }
    const QString size = QStringLiteral("%1 x %2 pixels").arg(pieceW).arg(pieceH);
    if (options.Format == TMapPictureFormat::Bmp) {
        // Every tile column but perhaps the last is pieceW wide.
        const qint64 lastW = plan.Width - (plan.TileColumns - 1) * pieceW;
        plan.Bytes =
            (qint64(bmpStride(pieceW)) * (plan.TileColumns - 1) + bmpStride(lastW)) * plan.Height +
            qint64(BmpHeaderSize) * plan.TileColumns * plan.TileRows;
        const qint64 fileBytes = bmpFileSize(pieceW, pieceH);
        if (pieceW > std::numeric_limits<qint32>::max() ||
            pieceH > std::numeric_limits<qint32>::max() ||
            fileBytes > std::numeric_limits<quint32>::max()) {
            plan.Why = TMapPictureRefusal::BmpTooLarge;
            plan.Refusal = QStringLiteral("a BMP of %1 would take %2 bytes, more than the 4 GB a "
                                          "BMP file can hold; choose PNG, a smaller cell size "
                                          "or tiles")
                               .arg(size)
                               .arg(fileBytes);
        }
    } else {
        plan.Bytes = plan.Width * plan.Height * 3;
        if (pieceW > PNG_UINT_31_MAX || pieceH > PNG_UINT_31_MAX) {
            plan.Why = TMapPictureRefusal::PngTooLarge;
            plan.Refusal = QStringLiteral("a PNG of %1 is more than the 2^31 - 1 pixels a side "
                                          "PNG allows; choose a smaller cell size or tiles")
                               .arg(size);
        }
    }
    // What no format can hold is said first: lifting this limit would not help there.
    if (plan.Ok() && !options.AllowHuge && plan.Width * plan.Height > MapPictureMaxPixels) {
        plan.Why = TMapPictureRefusal::TooManyPixels;
        plan.Refusal = QStringLiteral("%1 x %2 pixels (%3) are more than the limit of %4 "
                                      "pixels (2^36); choose a smaller cell size")
                           .arg(plan.Width)
                           .arg(plan.Height)
                           .arg(plan.Width * plan.Height)
                           .arg(MapPictureMaxPixels);
    }
    return plan;
}

TMapPicturePlan PlanMapPictureFile(const QString& fileName, int mapWidth, int mapHeight,
                                   const TMapPictureOptions& options)
{
    TMapPicturePlan plan = PlanMapPicture(mapWidth, mapHeight, options);
    if (!plan.Ok() || options.Format != TMapPictureFormat::Bmp)
        return plan;
    const QStorageInfo storage(QFileInfo(fileName).absolutePath());
    const qint64 free = storage.isValid() ? storage.bytesAvailable() : -1;
    if (free >= 0 && plan.Bytes > free) {
        plan.Why = TMapPictureRefusal::NoRoom;
        plan.FreeBytes = free;
        plan.Refusal = QStringLiteral("the picture needs %1 bytes, but only %2 are free on %3")
                           .arg(plan.Bytes)
                           .arg(free)
                           .arg(storage.rootPath());
    }
    return plan;
}

QString MapPictureTileName(const QString& fileName, int column, int row)
{
    const QFileInfo info(fileName);
    const QString suffix = info.suffix();
    QString base = fileName;
    if (!suffix.isEmpty())
        base.chop(suffix.size() + 1);
    QString name = QStringLiteral("%1_%2_%3").arg(base).arg(column).arg(row);
    if (!suffix.isEmpty())
        name += QLatin1Char('.') + suffix;
    return name;
}

// ---- writing ------------------------------------------------------------------------------

TFileWriteResult WriteMapPicture(const QString& fileName, std::span<const uint8_t> cells,
                                 int mapWidth, int mapHeight, const std::array<QImage, 256>& parts,
                                 const TMapPictureOptions& options,
                                 const TMapPictureProgress& progress)
{
    const TMapPicturePlan plan = PlanMapPicture(mapWidth, mapHeight, options);
    if (!plan.Ok())
        return {false, plan.Refusal, fileName};
    const bool bmp = options.Format == TMapPictureFormat::Bmp;
    TMapPictureRenderer renderer(cells, mapWidth, mapHeight, parts, options.Cell,
                                 bmp ? TPixelOrder::Bgr : TPixelOrder::Rgb);
    const bool tiled = !options.Tile.isEmpty();
    const qint64 tileW = tiled ? std::min<qint64>(options.Tile.width(), plan.Width) : plan.Width;
    const qint64 tileH = tiled ? std::min<qint64>(options.Tile.height(), plan.Height) : plan.Height;

    // The tiles are one set: written to temporary files, renamed into place only when all
    // are complete, so a failure or a cancel leaves every earlier file as it was.
    TFileWriteSet set;
    set.AddInputs(options.Inputs);
    TBandResult result = TBandResult::Done;
    QString why;
    for (int row = 0; row < plan.TileRows; ++row) {
        const qint64 top = row * tileH;
        const qint64 height = std::min(tileH, plan.Height - top);
        for (int column = 0; column < plan.TileColumns; ++column) {
            const qint64 left = column * tileW;
            const QString name = tiled ? MapPictureTileName(fileName, column, row) : fileName;
            set.AddOutput(name, [&, left, top, height, column](QIODevice& device) {
                std::unique_ptr<TPictureEncoder> encoder;
                if (bmp)
                    encoder = std::make_unique<TBmpEncoder>();
                else
                    encoder = std::make_unique<TPngEncoder>(std::clamp(options.PngLevel, 0, 9));
                const TBandJob job{&renderer,
                                   encoder.get(),
                                   left,
                                   top,
                                   std::min(tileW, plan.Width - left),
                                   height,
                                   top * plan.TileColumns + column * height,
                                   plan.Height * plan.TileColumns,
                                   &progress};
                result = TBandResult::Failed;
                try {
                    if (encoder->Begin(device, job.Width, job.Height))
                        result = streamBands(job);
                } catch (const std::bad_alloc&) {
                    why = QStringLiteral("not enough memory");
                    return false;
                }
                if (result == TBandResult::Done && encoder->Finish())
                    return true;
                // The encoder's reason, used when the device has none of its own.
                if (why.isEmpty())
                    why = encoder->Error;
                return false;
            });
        }
    }
    TFileWriteResult r = set.Write();
    if (result == TBandResult::Cancelled)
        return TFileWriteResult::Stopped(fileName);
    if (!r && r.Error == FileContentsNotMade() && !why.isEmpty())
        r.Error = why;
    return r;
}
