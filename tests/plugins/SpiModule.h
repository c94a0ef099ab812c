#pragma once

// A real import plug-in opened by absolute path with dlopen and called through its exports
// as the program calls it: the 2048-byte zero-padded head to IsSupported, then
// GetPictureInfo and GetPicture on the whole data, the returned blocks read within their
// sizes and freed.

#define QM_SPI_HOST
#include <QByteArray>
#include <QImage>
#include <QString>
#include <functional>
#include <quiltmapper/spi.h>

class TSpiModule
{
public:
    explicit TSpiModule(const QString& path);
    ~TSpiModule();
    TSpiModule(const TSpiModule&) = delete;
    TSpiModule& operator=(const TSpiModule&) = delete;

    bool IsLoaded() const { return FGetPicture != nullptr; }
    QString LoadError() const { return FLoadError; }

    QString Info(int number) const;
    bool IsSupported(const QByteArray& data) const;
    int32_t PictureInfo(const QByteArray& data, ::PictureInfo& info) const;
    // Why the last call failed, as the plug-in tells it.
    QString LastError() const;

    struct TDecoded
    {
        int32_t Result = SPI_OTHER_ERROR;
        QImage Image;        // RGB32, null unless the result is 0 and the blocks are sound
        QString Why;         // the plug-in's reason when it failed
        size_t BitsSize = 0; // LocalSize of the bits block
    };
    // GetPicture with a progress callback that may stop it (returning true stops).
    TDecoded Decode(const QByteArray& data,
                    std::function<bool(int num, int denom)> progress = {}) const;

private:
    void* FHandle = nullptr;
    QString FLoadError;
    SpiGetPluginInfoFn FGetPluginInfo = nullptr;
    SpiIsSupportedFn FIsSupported = nullptr;
    SpiGetPictureInfoFn FGetPictureInfo = nullptr;
    SpiGetPictureFn FGetPicture = nullptr;
    int32_t (*FLastError)(char*, int32_t) = nullptr;
};

// The picture of a 24-bit bottom-up DIB, or a null image when the header and blocks do not
// describe one within their sizes.
QImage ImageFromDib24(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize);
