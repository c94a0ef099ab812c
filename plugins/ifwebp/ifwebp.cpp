// ifwebp.spi: WebP pictures (lossy and lossless) through libwebp, as 24-bit pictures with
// alpha flattened onto white.

#include "WebpDecoder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <quiltmapper/spi.h>
#include <quiltmapper/spi_helpers.hpp>
#include <string>
#include <sys/mman.h>
#include <webp/decode.h>

namespace {

using namespace qmspi;

// A sheet's rows are tens of megabytes written once: on huge pages the kernel takes a few
// hundred faults for them instead of thousands.
void AdviseHugePages(void* data, size_t size)
{
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t huge = uintptr_t(2) * 1024 * 1024;
    const uintptr_t from = (reinterpret_cast<uintptr_t>(data) + huge - 1) & ~(huge - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(data) + size) & ~(huge - 1);
    if (to > from) {
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)size;
#endif
}

// Checks the arguments shared by GetPictureInfo and GetPicture and reads the picture's head.
int32_t ReadHead(const char* buf, int32_t len, uint32_t flag, webpdib::TWebpHead& head)
{
    if (const int32_t r = CheckInput(buf, len, flag); r != SPI_ALL_RIGHT) {
        return r;
    }
    const auto* data = reinterpret_cast<const uint8_t*>(buf);
    if (!webpdib::LooksLikeWebp(data, size_t(len))) {
        return Refuse(SPI_NOT_SUPPORT, "the data is not a WebP picture");
    }
    std::string why;
    if (!webpdib::ReadWebpHead(data, size_t(len), head, why)) {
        return Refuse(SPI_OUT_OF_ORDER, why);
    }
    return SPI_ALL_RIGHT;
}

} // namespace

extern "C" {

QM_SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen)
{
    static const std::string description = [] {
        const int v = WebPGetDecoderVersion();
        char text[96];
        std::snprintf(text, sizeof text, "WebP pictures for Quiltmapper (libwebp %d.%d.%d)",
                      v >> 16, (v >> 8) & 0xFF, v & 0xFF);
        return std::string(text);
    }();
    switch (infono) {
    case SPI_INFO_API_VERSION:
        return PutText(SPI_API_VERSION_PICTURE, buf, buflen);
    case SPI_INFO_DESCRIPTION:
        return PutText(description.c_str(), buf, buflen);
    case SPI_INFO_FIRST_PATTERN:
        return PutText("*.webp", buf, buflen);
    case SPI_INFO_FIRST_PATTERN + 1:
        return PutText("WebP", buf, buflen);
    default:
        return 0;
    }
}

QM_SPI_EXPORT int32_t IsSupported(const char* /*filename*/, const void* data)
{
    // The program passes the data's first 2048 bytes, zero-padded.
    return data != nullptr && webpdib::LooksLikeWebp(static_cast<const uint8_t*>(data), 2048);
}

QM_SPI_EXPORT int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag,
                                     struct PictureInfo* info)
{
    webpdib::TWebpHead head;
    const int32_t r = ReadHead(buf, len, flag, head);
    if (r != SPI_ALL_RIGHT) {
        return r;
    }
    return FillPictureInfo(info, head.Width, head.Height, 24);
}

QM_SPI_EXPORT int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, HLOCAL* pHBInfo,
                                 HLOCAL* pHBm, SpiProgressCallback progress, int32_t data)
{
    if (pHBInfo == nullptr || pHBm == nullptr) {
        return Refuse(SPI_OTHER_ERROR, "no handles to fill");
    }
    webpdib::TWebpHead head;
    const int32_t r = ReadHead(buf, len, flag, head);
    if (r != SPI_ALL_RIGHT) {
        return r;
    }
    TProgress callback{progress, data};
    if (ReportProgress(0, 1000, &callback)) {
        return Refuse(SPI_ABORT, "stopped");
    }
    const size_t stride = webpdib::WebpDibStride(head.Width);
    const size_t imageSize = stride * size_t(head.Height);
    const size_t blockSize = webpdib::WebpBlockSize(head);
    HLOCAL info = LocalAlloc(LMEM_FIXED, 40);
    HLOCAL bits = LocalAlloc(LMEM_FIXED, blockSize);
    if (info == nullptr || bits == nullptr) {
        LocalFree(info);
        LocalFree(bits);
        return Refuse(SPI_NO_MEMORY, "no memory for the picture");
    }
    auto* rows = static_cast<uint8_t*>(LocalLock(bits));
    AdviseHugePages(rows, blockSize);
    std::string why;
    const webpdib::TWebpResult result =
        webpdib::DecodeWebp(reinterpret_cast<const uint8_t*>(buf), size_t(len), head, rows,
                            blockSize, ReportProgress, &callback, why);
    if (result == webpdib::TWebpResult::Ok && !head.HasAlpha && stride > size_t(head.Width) * 3) {
        // The decoder leaves the padding at each row's end as it was.
        const size_t used = size_t(head.Width) * 3;
        for (int y = 0; y < head.Height; ++y) {
            std::memset(rows + size_t(y) * stride + used, 0, stride - used);
        }
    }
    LocalUnlock(bits);
    if (result != webpdib::TWebpResult::Ok) {
        LocalFree(info);
        LocalFree(bits);
        return result == webpdib::TWebpResult::Aborted ? Refuse(SPI_ABORT, "stopped")
                                                       : Refuse(SPI_OUT_OF_ORDER, why);
    }
    if (blockSize > imageSize) {
        // The 32-bit rows of a picture with alpha are flattened: give back the rest.
        if (HLOCAL smaller = LocalReAlloc(bits, imageSize, 0)) {
            bits = smaller;
        }
    }
    PutBitmapInfoHeader(static_cast<uint8_t*>(LocalLock(info)), head.Width, head.Height, 24,
                        uint32_t(imageSize));
    LocalUnlock(info);
    *pHBInfo = info;
    *pHBm = bits;
    return SPI_ALL_RIGHT;
}

// Why the last GetPictureInfo or GetPicture of this thread failed; empty after a success.
QM_SPI_EXPORT int32_t QmLastErrorText(char* buf, int32_t buflen)
{
    return PutText(LastError().c_str(), buf, buflen);
}

} // extern "C"
