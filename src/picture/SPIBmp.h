#pragma once

#include "PictureFormats.h"
#include "SPIs.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>
#include <exception>
#include <functional>
#include <stdexcept>

class QIODevice;

// No reader took the data, or a plug-in's result does not make a picture.
class EInvalidGraphic : public std::runtime_error
{
public:
    EInvalidGraphic();
    QString message() const { return QString::fromUtf8(what()); }
};

// The picture file cannot be opened for reading.
class EFOpenError : public std::runtime_error
{
public:
    explicit EFOpenError(const QString& fileName);
    QString message() const { return QString::fromUtf8(what()); }
};

// Thrown by a progress handler to stop the plug-in decoding; never reported.
class EAbort : public std::exception
{
public:
    const char* what() const noexcept override { return "abort"; }
};

enum TProgressStage
{
    psStarting,
    psRunning,
    psEnding,
};

// What a plug-in told of the picture before decoding it.
struct TPictureInfoRec
{
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    uint16_t XDensity = 0, YDensity = 0;
    int16_t ColorDepth = 0;
    QString Info;
    bool HasInfo = false;
};

using TProgressNotifier = std::function<void(TProgressStage stage, int percent, bool redrawNow,
                                             const QRect& rect, const QString& message)>;

// Does the loading for one bitmap, which it knows only through these hooks.
class TInSPIAble
{
public:
    TInSPIAble();
    ~TInSPIAble();
    TInSPIAble(const TInSPIAble&) = delete;
    TInSPIAble& operator=(const TInSPIAble&) = delete;

    // Reads the data (the whole picture file, held once): the native reader and the
    // plug-ins in the order the current extension gives. Raises EInvalidGraphic when none
    // takes it, or what a plug-in attempt raised.
    void LoadStream(const QByteArray& data);

    // Extension with its period and file name of a load by name; empty otherwise.
    QString CurrentExtension;
    QString CurrentFileName;
    const QString NativeExtension = QStringLiteral("BMP");
    TInSPI* ForcedSPI = nullptr;
    bool SkipHeaderRetry = true;

    // The native reader on the data; false when it cannot read it.
    std::function<bool(const QByteArray& data)> NativeStreamReader;
    // A plug-in's result: the information block, the bits block, with their true sizes.
    std::function<void(const char* info, size_t infoSize, const char* bits, size_t bitsSize,
                       const TPictureInfoRec& rec, bool& loaded)>
        PictureReceived;
    TProgressNotifier ProgressNotifier;
    std::function<QSize()> BitmapSize;

    // The value the plug-ins hand back to the progress callback.
    int32_t CallbackValue() const { return FId; }
    // The progress callback's answer for this loader: 0 to go on, 1 to stop.
    int32_t Progress(int32_t num, int32_t denom);

private:
    bool tryNative(const QByteArray& data);
    bool trySPIs(const QByteArray& data);
    bool TrySPI(TSPI* spi, const QByteArray& data);
    bool TryData(TSPI* spi, const char* data, int32_t len);
    void notify(TProgressStage stage, int percent, bool redrawNow);

    int32_t FId;
    // An error the progress handler raised while a plug-in ran; raised again once it returns.
    std::exception_ptr FPending;
};

// A bitmap that reads BMP itself and every other format through the picture plug-ins of the
// running manager. Registered by the manager for the extensions the plug-ins claim.
class TSPIBitmap
{
public:
    TSPIBitmap();
    virtual ~TSPIBitmap() = default;
    TSPIBitmap(const TSPIBitmap&) = delete;
    TSPIBitmap& operator=(const TSPIBitmap&) = delete;

    // Only this plug-in is tried when set.
    TInSPI* ForcedSPI = nullptr;
    // A plug-in that rejects the data is tried once more after its first 128 bytes.
    bool SkipHeaderRetry = true;
    // The largest picture accepted; a larger one is refused before it is allocated.
    TPictureLimits Limits;
    // Starting (0 %), running (1 to 99 %) while a plug-in decodes, ending (100 %). A handler
    // that throws EAbort stops the plug-in.
    TProgressNotifier OnProgress;

    // The settings, then the picture.
    void Assign(const TSPIBitmap& source);
    // Raises EFOpenError when the file cannot be opened, EInvalidGraphic when no reader
    // takes it.
    void LoadFromFile(const QString& fileName);
    // The whole content from its beginning, without a name (the native reader first).
    void LoadFromStream(QIODevice& stream);
    // As if the content came from a file of that name.
    virtual void LoadFromStreamWithName(QIODevice& stream, const QString& fileName);
    // The load by name as a handler: always this bitmap's own LoadFromStreamWithName.
    using TSPILoadFromStreamWithNameEvent =
        std::function<void(QIODevice& Stream, const QString& FileName)>;
    TSPILoadFromStreamWithNameEvent OnLoadFromStreamWithName()
    {
        return [this](QIODevice& stream, const QString& fileName) {
            LoadFromStreamWithName(stream, fileName);
        };
    }
    // Makes the picture from a plug-in's two blocks, each given with its true size: a
    // 40-byte bitmap information header and its colour table, and the pixel rows. Sizes the
    // header gives that do not fit the blocks, or a picture over the limits, raise
    // EInvalidGraphic before anything is allocated. Sets loaded.
    void AssignDIB(const char* info, size_t infoSize, const char* bits, size_t bitsSize,
                   const TPictureInfoRec& rec, bool& loaded);

    const QImage& Image() const { return FImage; }
    int Width() const { return FImage.width(); }
    int Height() const { return FImage.height(); }
    // What the last plug-in that took the data told of it.
    const TPictureInfoRec& LastPictureInfo() const { return FInfo; }

    // The owner name of the registrations the manager makes for this class.
    static const QString GraphicClassOwner;
    // Sets the manager's SPIGraphicClass to this class (before the manager searches).
    static void InitializeUnit();
    // Withdraws every registration of this class from the formats.
    static void FinalizeUnit(TPictureFormats& formats);

private:
    bool readNative(const QByteArray& data);
    void assignDirect(const char* bits, int width, int rows, qint64 rowSize, int depth,
                      bool topDown);
    void loadData(const QByteArray& data, const QString& fileName);
    qint64 maxBytes() const;

    TInSPIAble FLoader;
    QImage FImage;
    TPictureInfoRec FInfo;
};
