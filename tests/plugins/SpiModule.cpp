#include "SpiModule.h"

#include <cstring>
#include <dlfcn.h>

namespace {

uint32_t Le(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = v << 8 | p[i];
    }
    return v;
}

// The callback's 32-bit value indexes this table, as a plug-in can only pass it back.
std::function<bool(int, int)>* CurrentProgress = nullptr;

int32_t ProgressThunk(int32_t num, int32_t denom, int32_t data)
{
    if (data != 1 || CurrentProgress == nullptr || !*CurrentProgress) {
        return 0;
    }
    return (*CurrentProgress)(num, denom) ? 1 : 0;
}

} // namespace

TSpiModule::TSpiModule(const QString& path)
{
    FHandle = dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (FHandle == nullptr) {
        FLoadError = QString::fromLocal8Bit(dlerror());
        return;
    }
    FGetPluginInfo = reinterpret_cast<SpiGetPluginInfoFn>(dlsym(FHandle, "GetPluginInfo"));
    FIsSupported = reinterpret_cast<SpiIsSupportedFn>(dlsym(FHandle, "IsSupported"));
    FGetPictureInfo = reinterpret_cast<SpiGetPictureInfoFn>(dlsym(FHandle, "GetPictureInfo"));
    FLastError = reinterpret_cast<int32_t (*)(char*, int32_t)>(dlsym(FHandle, "QmLastErrorText"));
    if (FGetPluginInfo != nullptr && FIsSupported != nullptr && FGetPictureInfo != nullptr) {
        FGetPicture = reinterpret_cast<SpiGetPictureFn>(dlsym(FHandle, "GetPicture"));
    }
    if (FGetPicture == nullptr) {
        FLoadError = "an export is missing";
    }
}

TSpiModule::~TSpiModule()
{
    if (FHandle != nullptr) {
        dlclose(FHandle);
    }
}

QString TSpiModule::Info(int number) const
{
    char buf[SPI_INFO_BUFFER_SIZE] = {};
    const int32_t n = FGetPluginInfo(number, buf, SPI_INFO_BUFFER_SIZE - 1);
    return n > 0 ? QString::fromUtf8(buf) : QString();
}

bool TSpiModule::IsSupported(const QByteArray& data) const
{
    QByteArray head = data.left(2048);
    head.append(QByteArray(2048 - head.size(), '\0'));
    return FIsSupported("", head.constData()) != 0;
}

int32_t TSpiModule::PictureInfo(const QByteArray& data, ::PictureInfo& info) const
{
    return FGetPictureInfo(data.constData(), int32_t(data.size()), SPI_INPUT_MEMORY, &info);
}

QString TSpiModule::LastError() const
{
    if (FLastError == nullptr) {
        return QString();
    }
    char buf[512] = {};
    FLastError(buf, sizeof buf);
    return QString::fromUtf8(buf);
}

TSpiModule::TDecoded TSpiModule::Decode(const QByteArray& data,
                                        std::function<bool(int, int)> progress) const
{
    TDecoded out;
    HLOCAL info = nullptr;
    HLOCAL bits = nullptr;
    CurrentProgress = &progress;
    out.Result = FGetPicture(data.constData(), int32_t(data.size()), SPI_INPUT_MEMORY, &info, &bits,
                             ProgressThunk, 1);
    CurrentProgress = nullptr;
    if (out.Result != SPI_ALL_RIGHT) {
        out.Why = LastError();
        LocalFree(info);
        LocalFree(bits);
        return out;
    }
    out.BitsSize = LocalSize(bits);
    const auto* i = static_cast<const uint8_t*>(LocalLock(info));
    const auto* b = static_cast<const uint8_t*>(LocalLock(bits));
    out.Image = ImageFromDib24(i, LocalSize(info), b, LocalSize(bits));
    LocalUnlock(info);
    LocalUnlock(bits);
    LocalFree(info);
    LocalFree(bits);
    return out;
}

QImage ImageFromDib24(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize)
{
    if (info == nullptr || bits == nullptr || infoSize < 40 || Le(info, 4) != 40 ||
        Le(info + 14, 2) != 24 || Le(info + 16, 4) != 0) {
        return QImage();
    }
    const int width = int32_t(Le(info + 4, 4));
    const int height = int32_t(Le(info + 8, 4));
    if (width <= 0 || height == 0) {
        return QImage();
    }
    const int rows = height < 0 ? -height : height;
    const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
    if (bitsSize / stride < size_t(rows)) {
        return QImage();
    }
    QImage image(width, rows, QImage::Format_RGB32);
    for (int y = 0; y < rows; ++y) {
        const uint8_t* s = bits + size_t(height < 0 ? y : rows - 1 - y) * stride;
        auto* d = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x, s += 3) {
            d[x] = qRgb(s[2], s[1], s[0]);
        }
    }
    return image;
}
