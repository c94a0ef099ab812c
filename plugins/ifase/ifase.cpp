// ifase.spi: the first frame of Aseprite sprites, drawn onto white as 24-bit pictures.

#include "AseDecoder.h"

#include <algorithm>
#include <cstring>
#include <quiltmapper/spi.h>
#include <quiltmapper/spi_helpers.hpp>
#include <string>

namespace {

using namespace qmspi;

int32_t ReadHead(const char* buf, int32_t len, uint32_t flag, ase::TAseHead& head)
{
    if (const int32_t r = CheckInput(buf, len, flag); r != SPI_ALL_RIGHT) {
        return r;
    }
    std::string why;
    if (!ase::ReadAseHead(reinterpret_cast<const uint8_t*>(buf), size_t(len), head, why)) {
        return Refuse(SPI_NOT_SUPPORT, why);
    }
    return SPI_ALL_RIGHT;
}

} // namespace

extern "C" {

QM_SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen)
{
    switch (infono) {
    case SPI_INFO_API_VERSION:
        return PutText(SPI_API_VERSION_PICTURE, buf, buflen);
    case SPI_INFO_DESCRIPTION:
        return PutText("Aseprite sprites for Quiltmapper (first frame, normal blending)", buf,
                       buflen);
    case SPI_INFO_FIRST_PATTERN:
        return PutText("*.aseprite;*.ase", buf, buflen);
    case SPI_INFO_FIRST_PATTERN + 1:
        return PutText("Aseprite", buf, buflen);
    default:
        return 0;
    }
}

QM_SPI_EXPORT int32_t IsSupported(const char* /*filename*/, const void* data)
{
    // The program passes the data's first 2048 bytes, zero-padded.
    return data != nullptr && ase::LooksLikeAse(static_cast<const uint8_t*>(data), 2048);
}

QM_SPI_EXPORT int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag,
                                     struct PictureInfo* info)
{
    ase::TAseHead head;
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
    ase::TAseHead head;
    const int32_t r = ReadHead(buf, len, flag, head);
    if (r != SPI_ALL_RIGHT) {
        return r;
    }
    TProgress callback{progress, data};
    if (ReportProgress(0, 1, &callback)) {
        return Refuse(SPI_ABORT, "stopped");
    }
    const size_t imageSize = ase::AseDibStride(head.Width) * size_t(head.Height);
    HLOCAL info = LocalAlloc(LMEM_FIXED, 40);
    HLOCAL bits = LocalAlloc(LMEM_FIXED, imageSize);
    if (info == nullptr || bits == nullptr) {
        LocalFree(info);
        LocalFree(bits);
        return Refuse(SPI_NO_MEMORY, "no memory for the picture");
    }
    std::string why;
    const ase::TAseResult result = ase::RenderAse(
        reinterpret_cast<const uint8_t*>(buf), size_t(len), static_cast<uint8_t*>(LocalLock(bits)),
        imageSize, ReportProgress, &callback, why);
    LocalUnlock(bits);
    if (result != ase::TAseResult::Ok) {
        LocalFree(info);
        LocalFree(bits);
        if (result == ase::TAseResult::Aborted) {
            return Refuse(SPI_ABORT, "stopped");
        }
        return Refuse(SPI_OUT_OF_ORDER, why);
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
