#include "SPIBmp.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <utility>

const QString TSPIBitmap::GraphicClassOwner = QStringLiteral("TSPIBitmap");

namespace {

// Pictures are held as 32-bit pixels; beyond 2 GB a picture can never be held.
constexpr qint64 PictureLimit = qint64(2048) * 1024 * 1024;
constexpr int HeadSize = 2048;
constexpr qint64 HeaderSkip = 128;
constexpr size_t InfoHeaderSize = 40;
constexpr qint64 FileHeaderSize = 14;

// The loaders by the value the plug-ins hand back to the progress callback: a 32-bit value
// cannot hold an address, and a plug-in passing a wrong one must not reach freed memory.
std::mutex loadersLock;
std::map<int32_t, TInSPIAble*> loaders;
int32_t lastLoaderId = 0;

int32_t progressCallback(int32_t num, int32_t denom, int32_t data)
{
    TInSPIAble* loader = nullptr;
    {
        const std::lock_guard<std::mutex> guard(loadersLock);
        const auto it = loaders.find(data);
        if (it != loaders.end())
            loader = it->second;
    }
    return loader ? loader->Progress(num, denom) : 0;
}

template <class T> T readLE(const char* at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    return qFromLittleEndian(value);
}

template <class T> void writeLE(char* at, T value)
{
    value = qToLittleEndian(value);
    std::memcpy(at, &value, sizeof value);
}

// Frees a plug-in's block when the attempt ends, however it ends.
struct LocalBlock
{
    HLOCAL Handle = nullptr;
    const char* Data = nullptr;
    ~LocalBlock()
    {
        if (!Handle)
            return;
        if (Data)
            LocalUnlock(Handle);
        LocalFree(Handle);
    }
    void lock() { Data = static_cast<const char*>(LocalLock(Handle)); }
    size_t size() const { return Data ? LocalSize(Handle) : 0; }
};

QString extensionOf(const QString& fileName)
{
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? fileName.mid(dot) : QString();
}

} // namespace

EInvalidGraphic::EInvalidGraphic()
    : std::runtime_error(QStringLiteral("認識できない画像形式です").toStdString())
{
}

EFOpenError::EFOpenError(const QString& fileName)
    : std::runtime_error(QStringLiteral("ファイル %1 を開けません").arg(fileName).toStdString())
{
}

// ---- TInSPIAble ----------------------------------------------------------------------

TInSPIAble::TInSPIAble()
{
    const std::lock_guard<std::mutex> guard(loadersLock);
    do {
        lastLoaderId = lastLoaderId == std::numeric_limits<int32_t>::max() ? 1 : lastLoaderId + 1;
    } while (loaders.count(lastLoaderId));
    FId = lastLoaderId;
    loaders[FId] = this;
}

TInSPIAble::~TInSPIAble()
{
    const std::lock_guard<std::mutex> guard(loadersLock);
    loaders.erase(FId);
}

void TInSPIAble::notify(TProgressStage stage, int percent, bool redrawNow)
{
    if (!ProgressNotifier)
        return;
    const QSize size = BitmapSize ? BitmapSize() : QSize();
    ProgressNotifier(stage, percent, redrawNow, QRect(QPoint(0, 0), size), QString());
}

int32_t TInSPIAble::Progress(int32_t num, int32_t denom)
{
    if (denom == 0)
        return 0;
    // num * 98 / denom rounded to the nearest, in 64 bits; a plug-in counting past its
    // total (or backwards) still stays within 1 to 99.
    qint64 n = qint64(num), d = qint64(denom);
    if (d < 0) {
        n = -n;
        d = -d;
    }
    n = std::clamp<qint64>(n, 0, d);
    const int percent = int((n * 98 * 2 + d) / (d * 2)) + 1;
    try {
        notify(psRunning, percent, false);
    } catch (const EAbort&) {
        return 1;
    } catch (...) {
        // No exception may pass through the plug-in's frames: stop it, raise once it returns.
        if (!FPending)
            FPending = std::current_exception();
        return 1;
    }
    return 0;
}

bool TInSPIAble::tryNative(const QByteArray& data)
{
    try {
        return NativeStreamReader && NativeStreamReader(data);
    } catch (...) {
        return false;
    }
}

void TInSPIAble::LoadStream(const QByteArray& data)
{
    const bool pluginsFirst =
        !CurrentExtension.isEmpty() &&
        CurrentExtension.mid(1).compare(NativeExtension, Qt::CaseInsensitive) != 0;
    bool loaded;
    if (pluginsFirst)
        loaded = trySPIs(data) || tryNative(data);
    else
        loaded = tryNative(data) || trySPIs(data);
    if (!loaded)
        throw EInvalidGraphic();
}

bool TInSPIAble::trySPIs(const QByteArray& data)
{
    // The plug-ins take lengths of 32 bits.
    if (data.size() > std::numeric_limits<int32_t>::max())
        return false;
    if (ForcedSPI)
        return TrySPI(ForcedSPI, data);
    TSPIs* manager = TSPIs::ActiveSPIs();
    if (!manager)
        return false;
    std::vector<TSPI*> spis;
    manager->FindSPIs({TSPIKind::InSPI}, spis, CurrentExtension);
    for (TSPI* spi : spis) {
        if (TrySPI(spi, data))
            return true;
    }
    return false;
}

bool TInSPIAble::TrySPI(TSPI* spi, const QByteArray& data)
{
    notify(psStarting, 0, false);
    bool result;
    try {
        const auto len = int32_t(data.size());
        result = TryData(spi, data.constData(), len);
        if (!result && SkipHeaderRetry && len > HeaderSkip)
            result = TryData(spi, data.constData() + HeaderSkip, int32_t(len - HeaderSkip));
    } catch (...) {
        notify(psEnding, 100, true);
        throw;
    }
    notify(psEnding, 100, true);
    return result;
}

bool TInSPIAble::TryData(TSPI* spi, const char* data, int32_t len)
{
    // The plug-in may look at 2048 bytes whatever the length.
    std::array<char, HeadSize> head{};
    if (len < HeadSize) {
        if (len > 0)
            std::memcpy(head.data(), data, size_t(len));
        data = head.data();
    }
    const QByteArray name = QFile::encodeName(CurrentFileName);
    if (spi->IsSupported(name.constData(), data) == 0)
        return false;

    TPictureInfoRec rec;
    PictureInfo info{};
    if (spi->GetPictureInfo(data, len, SPI_INPUT_MEMORY, &info) == SPI_ALL_RIGHT) {
        rec.Left = info.left;
        rec.Top = info.top;
        rec.Width = info.width;
        rec.Height = info.height;
        rec.XDensity = info.x_density;
        rec.YDensity = info.y_density;
        rec.ColorDepth = info.colorDepth;
        if (info.hInfo) {
            LocalBlock text{info.hInfo};
            text.lock();
            const size_t size = text.size();
            const void* end = text.Data ? std::memchr(text.Data, 0, size) : nullptr;
            const size_t length = end ? size_t(static_cast<const char*>(end) - text.Data) : size;
            rec.Info = QString::fromLocal8Bit(text.Data, qsizetype(length));
        }
        rec.HasInfo = true;
    }

    LocalBlock infoBlock, bitsBlock;
    FPending = nullptr;
    const int32_t result = spi->GetPicture(data, len, SPI_INPUT_MEMORY, &infoBlock.Handle,
                                           &bitsBlock.Handle, &progressCallback, FId);
    if (FPending) {
        std::exception_ptr pending = std::exchange(FPending, nullptr);
        if (result == SPI_ALL_RIGHT) {
            infoBlock.lock();
            bitsBlock.lock();
        } else {
            // Handles of a failed call are not the plug-in's to give back.
            infoBlock.Handle = bitsBlock.Handle = nullptr;
        }
        std::rethrow_exception(pending);
    }
    if (result != SPI_ALL_RIGHT) {
        infoBlock.Handle = bitsBlock.Handle = nullptr;
        return false;
    }
    infoBlock.lock();
    bitsBlock.lock();
    bool loaded = false;
    if (PictureReceived)
        PictureReceived(infoBlock.Data, infoBlock.size(), bitsBlock.Data, bitsBlock.size(), rec,
                        loaded);
    return loaded;
}

// ---- TSPIBitmap ----------------------------------------------------------------------

TSPIBitmap::TSPIBitmap()
{
    FLoader.NativeStreamReader = [this](const QByteArray& data) { return readNative(data); };
    FLoader.PictureReceived = [this](const char* info, size_t infoSize, const char* bits,
                                     size_t bitsSize, const TPictureInfoRec& rec, bool& loaded) {
        AssignDIB(info, infoSize, bits, bitsSize, rec, loaded);
    };
    FLoader.ProgressNotifier = [this](TProgressStage stage, int percent, bool redrawNow,
                                      const QRect& rect, const QString& message) {
        if (OnProgress)
            OnProgress(stage, percent, redrawNow, rect, message);
    };
    FLoader.BitmapSize = [this] { return FImage.size(); };
}

void TSPIBitmap::Assign(const TSPIBitmap& source)
{
    ForcedSPI = source.ForcedSPI;
    SkipHeaderRetry = source.SkipHeaderRetry;
    FImage = source.FImage;
    FInfo = source.FInfo;
}

qint64 TSPIBitmap::maxBytes() const
{
    return std::min(PictureLimit, Limits.MaxBytes);
}

void TSPIBitmap::loadData(const QByteArray& data, const QString& fileName)
{
    FLoader.ForcedSPI = ForcedSPI;
    FLoader.SkipHeaderRetry = SkipHeaderRetry;
    FLoader.CurrentExtension = extensionOf(fileName);
    FLoader.CurrentFileName = fileName;
    try {
        FLoader.LoadStream(data);
    } catch (...) {
        FLoader.CurrentExtension.clear();
        FLoader.CurrentFileName.clear();
        throw;
    }
    FLoader.CurrentExtension.clear();
    FLoader.CurrentFileName.clear();
}

void TSPIBitmap::LoadFromFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(fileName);
    // The plug-ins take 32-bit lengths, and no picture file this large makes a picture
    // within the limit.
    if (file.size() > std::numeric_limits<int32_t>::max())
        throw EInvalidGraphic();
    const QByteArray data = file.readAll();
    if (data.size() != file.size())
        throw EFOpenError(fileName);
    loadData(data, fileName);
}

void TSPIBitmap::LoadFromStream(QIODevice& stream)
{
    LoadFromStreamWithName(stream, QString());
}

void TSPIBitmap::LoadFromStreamWithName(QIODevice& stream, const QString& fileName)
{
    // A memory stream is read where it is; anything else is read once, from its start.
    if (auto* buffer = qobject_cast<QBuffer*>(&stream)) {
        loadData(buffer->data(), fileName);
        return;
    }
    if (!stream.isSequential())
        stream.seek(0);
    loadData(stream.readAll(), fileName);
}

bool TSPIBitmap::readNative(const QByteArray& data)
{
    QByteArray bytes = QByteArray::fromRawData(data.constData(), data.size());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setDecideFormatFromContent(false);
    reader.setAllocationLimit(int(PictureLimit / (1024 * 1024)));
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() * 4 > maxBytes())
        return false;
    QImage image = reader.read();
    if (image.isNull())
        return false;
    FImage = std::move(image);
    return true;
}

void TSPIBitmap::AssignDIB(const char* info, size_t infoSize, const char* bits, size_t bitsSize,
                           const TPictureInfoRec& rec, bool& loaded)
{
    // Nothing a plug-in gives is trusted: every size is checked against its blocks first.
    if (!info || infoSize < InfoHeaderSize)
        throw EInvalidGraphic();
    const qint64 width = readLE<int32_t>(info + 4);
    const qint64 height = readLE<int32_t>(info + 8);
    const int depth = readLE<uint16_t>(info + 14);
    const quint32 used = readLE<uint32_t>(info + 32);
    if (width <= 0 || height == 0)
        throw EInvalidGraphic();
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
        throw EInvalidGraphic();
    const qint64 rows = height < 0 ? -height : height;
    // Refused before a byte is allocated.
    if (width * rows > maxBytes() / 4)
        throw EInvalidGraphic();
    const qint64 rowSize = (width * depth + 31) / 32 * 4;
    const qint64 imageSize = rowSize * rows;
    qint64 colours = used;
    if (colours == 0)
        colours = depth <= 8 ? (qint64(1) << depth) : 0;
    if (depth <= 8 && colours > (qint64(1) << depth))
        throw EInvalidGraphic();
    const qint64 tableSize = 4 * colours;
    if (qint64(InfoHeaderSize) + tableSize > qint64(infoSize))
        throw EInvalidGraphic();
    if (!bits || imageSize > qint64(bitsSize))
        throw EInvalidGraphic();
    if (depth == 24 || depth == 32) {
        assignDirect(bits, int(width), int(rows), rowSize, depth, height < 0);
        FInfo = rec;
        loaded = true;
        return;
    }
    const qint64 pixelOffset = FileHeaderSize + qint64(InfoHeaderSize) + tableSize;
    const qint64 fileSize = pixelOffset + imageSize;
    if (fileSize > std::numeric_limits<int32_t>::max())
        throw EInvalidGraphic();

    QByteArray file(qsizetype(fileSize), Qt::Uninitialized);
    char* out = file.data();
    out[0] = 'B';
    out[1] = 'M';
    writeLE<uint32_t>(out + 2, uint32_t(fileSize));
    writeLE<uint32_t>(out + 6, 0);
    writeLE<uint32_t>(out + 10, uint32_t(pixelOffset));
    std::memcpy(out + FileHeaderSize, info, size_t(InfoHeaderSize + tableSize));
    // The rows are read as the 40-byte header describes them, uncompressed, whatever
    // longer header or compression the plug-in named.
    writeLE<uint32_t>(out + FileHeaderSize, uint32_t(InfoHeaderSize));
    writeLE<uint32_t>(out + FileHeaderSize + 16, 0);
    writeLE<uint32_t>(out + FileHeaderSize + 20, uint32_t(imageSize));
    if (height > 0) {
        std::memcpy(out + pixelOffset, bits, size_t(imageSize));
    } else {
        // Top-down rows are turned bottom-up: Qt's reader does not take every depth
        // top-down.
        writeLE<int32_t>(out + FileHeaderSize + 8, int32_t(rows));
        for (qint64 row = 0; row < rows; ++row)
            std::memcpy(out + pixelOffset + (rows - 1 - row) * rowSize, bits + row * rowSize,
                        size_t(rowSize));
    }
    if (!readNative(file))
        throw EInvalidGraphic();
    FInfo = rec;
    loaded = true;
}

void TSPIBitmap::assignDirect(const char* bits, int width, int rows, qint64 rowSize, int depth,
                              bool topDown)
{
    // What the native reader makes of these rows, in one pass instead of a BMP file in
    // memory read back: the colour bytes of each pixel, any fourth byte ignored.
    QImage image(width, rows, QImage::Format_RGB32);
    if (image.isNull())
        throw EInvalidGraphic();
    for (int y = 0; y < rows; ++y) {
        const auto* src =
            reinterpret_cast<const uchar*>(bits) + (topDown ? y : rows - 1 - y) * rowSize;
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        if (depth == 24) {
            for (int x = 0; x < width; ++x, src += 3)
                dst[x] = 0xff000000u | uint32_t(src[2]) << 16 | uint32_t(src[1]) << 8 | src[0];
        } else {
            for (int x = 0; x < width; ++x, src += 4)
                dst[x] = 0xff000000u | uint32_t(src[2]) << 16 | uint32_t(src[1]) << 8 | src[0];
        }
    }
    FImage = std::move(image);
}

void TSPIBitmap::InitializeUnit()
{
    SPIGraphicClass() = {GraphicClassOwner,
                         [](const QString& fileName, const TPictureLimits& limits) {
                             TSPIBitmap bitmap;
                             bitmap.Limits = limits;
                             bitmap.LoadFromFile(fileName);
                             return bitmap.Image();
                         }};
}

void TSPIBitmap::FinalizeUnit(TPictureFormats& formats)
{
    formats.Unregister(GraphicClassOwner);
}
