// Loading a 4096 x 4096 parts sheet through the WebP plug-in, beside libwebp decoding the
// same file by itself: once through the exports as the program calls them (head to
// IsSupported, GetPictureInfo, GetPicture, the DIB's rows into a picture), once through the
// program's own plug-in manager and plug-in bitmap.

#include "PictureFormats.h"
#include "RatioReporter.h"
#include "SPIBmp.h"
#include "SPIs.h"

#define QM_SPI_HOST
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <quiltmapper/spi.h>
#include <webp/decode.h>
#include <webp/encode.h>

namespace {

constexpr int Side = 4096;

struct TPlugin
{
    SpiIsSupportedFn IsSupported = nullptr;
    SpiGetPictureInfoFn GetPictureInfo = nullptr;
    SpiGetPictureFn GetPicture = nullptr;
};

const TPlugin& Plugin()
{
    static const TPlugin plugin = [] {
        TPlugin p;
        void* handle = dlopen(QM_IFWEBP_PATH, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            std::fprintf(stderr, "cannot open %s: %s\n", QM_IFWEBP_PATH, dlerror());
            std::exit(1);
        }
        p.IsSupported = reinterpret_cast<SpiIsSupportedFn>(dlsym(handle, "IsSupported"));
        p.GetPictureInfo = reinterpret_cast<SpiGetPictureInfoFn>(dlsym(handle, "GetPictureInfo"));
        p.GetPicture = reinterpret_cast<SpiGetPictureFn>(dlsym(handle, "GetPicture"));
        return p;
    }();
    return plugin;
}

// A sheet of 256 parts of 256 x 256 pixels: flat colours, gradients and lines, as tiles
// are drawn, so that the file is of a usual size for its pixels.
QImage DrawSheet(bool withAlpha)
{
    QImage sheet(Side, Side, QImage::Format_ARGB32);
    for (int y = 0; y < Side; ++y) {
        auto* row = reinterpret_cast<QRgb*>(sheet.scanLine(y));
        for (int x = 0; x < Side; ++x) {
            const int part = y / 256 * 16 + x / 256;
            const int px = x % 256, py = y % 256;
            const int band = (px / 32 + py / 32) % 3;
            const int r = (part * 37 + band * 40) % 256;
            const int g = (part * 91 + py / 8) % 256;
            const int b = (part * 173 + px / 16) % 256;
            const int a = withAlpha && (px + py) % 97 < 20 ? 100 : 255;
            row[x] = (px == py || px % 64 == 0) ? qRgba(0, 0, 0, 255) : qRgba(r, g, b, a);
        }
    }
    return sheet;
}

QByteArray Encode(const QImage& sheet, bool lossless)
{
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = lossless ? 1 : 0;
    config.quality = lossless ? 25 : 85;
    config.method = lossless ? 1 : 2;
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.use_argb = 1;
    picture.width = sheet.width();
    picture.height = sheet.height();
    WebPPictureImportBGRA(&picture, sheet.constBits(), int(sheet.bytesPerLine()));
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    WebPEncode(&config, &picture);
    QByteArray file(reinterpret_cast<const char*>(writer.mem), qsizetype(writer.size));
    WebPMemoryWriterClear(&writer);
    WebPPictureFree(&picture);
    return file;
}

const QByteArray& File(int kind)
{
    static const QByteArray files[] = {Encode(DrawSheet(false), true),
                                       Encode(DrawSheet(true), true),
                                       Encode(DrawSheet(false), false)};
    return files[kind];
}

int32_t GoOn(int32_t, int32_t, int32_t)
{
    return 0;
}

void Baseline_Libwebp(benchmark::State& state)
{
    const QByteArray& file = File(int(state.range(0)));
    for (auto _ : state) {
        int w = 0, h = 0;
        uint8_t* rgb = WebPDecodeBGR(reinterpret_cast<const uint8_t*>(file.constData()),
                                     size_t(file.size()), &w, &h);
        benchmark::DoNotOptimize(rgb);
        WebPFree(rgb);
    }
    state.SetLabel(std::to_string(file.size() / 1024) + " KiB");
}

void Plugin_LoadSheet(benchmark::State& state)
{
    const QByteArray& file = File(int(state.range(0)));
    const TPlugin& plugin = Plugin();
    for (auto _ : state) {
        char head[2048] = {};
        std::memcpy(head, file.constData(), std::min<size_t>(sizeof head, size_t(file.size())));
        if (plugin.IsSupported("sheet.webp", head) == 0) {
            state.SkipWithError("not supported");
            break;
        }
        PictureInfo info;
        plugin.GetPictureInfo(file.constData(), int32_t(file.size()), SPI_INPUT_MEMORY, &info);
        HLOCAL hInfo = nullptr, hBits = nullptr;
        if (plugin.GetPicture(file.constData(), int32_t(file.size()), SPI_INPUT_MEMORY, &hInfo,
                              &hBits, GoOn, 1) != SPI_ALL_RIGHT) {
            state.SkipWithError("GetPicture failed");
            break;
        }
        // The host's one copy: the bottom-up 24-bit rows into a picture.
        const auto* header = static_cast<const uint8_t*>(LocalLock(hInfo));
        const auto* bits = static_cast<const uint8_t*>(LocalLock(hBits));
        int32_t width = 0, height = 0;
        std::memcpy(&width, header + 4, 4);
        std::memcpy(&height, header + 8, 4);
        const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
        QImage picture(width, height, QImage::Format_BGR888);
        for (int y = 0; y < height; ++y) {
            std::memcpy(picture.scanLine(y), bits + size_t(height - 1 - y) * stride,
                        size_t(width) * 3);
        }
        benchmark::DoNotOptimize(picture.constBits());
        LocalUnlock(hInfo);
        LocalUnlock(hBits);
        LocalFree(hInfo);
        LocalFree(hBits);
    }
}

// The program's path: the manager finds the plug-in in its folder, the plug-in bitmap reads
// the file's bytes by name.
void Bitmap_LoadSheet(benchmark::State& state)
{
    static TPictureFormats formats = TPictureFormats::WithQtFormats();
    static TSPIs* manager = [] {
        TSPIBitmap::InitializeUnit();
        auto* m = new TSPIs(formats);
        m->Search(QStringLiteral(QM_PLUGIN_DIR "/*.spi"));
        return m;
    }();
    if (manager->IndexOf(QStringLiteral(QM_IFWEBP_PATH)) < 0) {
        state.SkipWithError("the manager did not load the plug-in");
        return;
    }
    QByteArray file = File(int(state.range(0)));
    for (auto _ : state) {
        QBuffer buffer(&file);
        buffer.open(QIODevice::ReadOnly);
        TSPIBitmap bitmap;
        bitmap.LoadFromStreamWithName(buffer, QStringLiteral("sheet.webp"));
        benchmark::DoNotOptimize(bitmap.Image().constBits());
    }
}

#define QM_BENCH(fn)                                                                               \
    BENCHMARK(fn)                                                                                  \
        ->ArgName("file")                                                                          \
        ->Arg(0)                                                                                   \
        ->Arg(1)                                                                                   \
        ->Arg(2)                                                                                   \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->UseRealTime()                                                                            \
        ->MinTime(1.0)

QM_BENCH(Baseline_Libwebp);
QM_BENCH(Plugin_LoadSheet);
QM_BENCH(Bitmap_LoadSheet);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // file 0: lossless, 1: lossless with alpha, 2: lossy.
    return RunWithRatios(argc, argv,
                         {
                             {"Plugin_LoadSheet/file:0", "Baseline_Libwebp/file:0", 1.5},
                             {"Plugin_LoadSheet/file:1", "Baseline_Libwebp/file:1", 1.5},
                             {"Plugin_LoadSheet/file:2", "Baseline_Libwebp/file:2", 1.5},
                             {"Bitmap_LoadSheet/file:0", "Baseline_Libwebp/file:0", 1.5},
                             {"Bitmap_LoadSheet/file:1", "Baseline_Libwebp/file:1", 1.5},
                             {"Bitmap_LoadSheet/file:2", "Baseline_Libwebp/file:2", 1.5},
                         });
}
