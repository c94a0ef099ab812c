// Small helpers for picture plug-ins written in C++: the parts every plug-in's exports
// repeat (texts into the caller's buffer, the reason of the last failure, the progress
// callback, the picture record and the bitmap header). Include after spi.h.
#pragma once

#include "spi.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace qmspi {

// Copies text into the caller's buffer of buflen bytes, cut to fit, NUL-terminated; the
// characters copied, as "GetPluginInfo" answers.
inline int32_t PutText(const char* text, char* buf, int32_t buflen)
{
    if (buf == nullptr || buflen <= 0)
        return 0;
    const size_t n = std::min(std::strlen(text), size_t(buflen - 1));
    std::memcpy(buf, text, n);
    buf[n] = '\0';
    return int32_t(n);
}

// Why the last call of this thread failed; empty after a success.
inline std::string& LastError()
{
    thread_local std::string text;
    return text;
}

// Returns code, keeping why as the reason of the failure.
inline int32_t Refuse(int32_t code, const std::string& why)
{
    LastError() = why;
    return code;
}

// Checks the arguments "GetPictureInfo" and "GetPicture" share: data in memory, present.
// Starts a new call: the last failure's reason is forgotten.
inline int32_t CheckInput(const char* buf, int32_t len, uint32_t flag)
{
    LastError().clear();
    if ((flag & 7u) != SPI_INPUT_MEMORY)
        return Refuse(SPI_NO_FUNCTION, "only data in memory is read");
    if (buf == nullptr || len < 0)
        return Refuse(SPI_OUT_OF_ORDER, "no data");
    return SPI_ALL_RIGHT;
}

// The program's progress callback and its value, for a decoder that reports progress as
// (done, total, context) and stops when told to.
struct TProgress
{
    SpiProgressCallback Callback;
    int32_t Data;
};

// True when the program asks to stop.
inline bool ReportProgress(int done, int total, void* context)
{
    const auto* p = static_cast<const TProgress*>(context);
    return p->Callback != nullptr && p->Callback(done, total, p->Data) != 0;
}

// Fills the picture record of a picture without a text.
inline int32_t FillPictureInfo(PictureInfo* info, int width, int height, int depth)
{
    if (info == nullptr)
        return Refuse(SPI_OTHER_ERROR, "no record to fill");
    std::memset(info, 0, sizeof *info);
    info->width = width;
    info->height = height;
    info->colorDepth = int16_t(depth);
    info->hInfo = nullptr;
    return SPI_ALL_RIGHT;
}

inline void PutLe(uint8_t* p, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// The 40-byte header of a bottom-up picture without a colour table. Not inlined: the
// compiler would take the block's data for the handle's header and warn about bounds.
[[gnu::noinline]] inline void PutBitmapInfoHeader(uint8_t* p, int width, int height,
                                                  int bitsPerPixel, uint32_t imageSize)
{
    std::memset(p, 0, 40);
    PutLe(p, 40, 4);
    PutLe(p + 4, uint32_t(width), 4);
    PutLe(p + 8, uint32_t(height), 4);
    PutLe(p + 12, 1, 2); // planes
    PutLe(p + 14, uint32_t(bitsPerPixel), 2);
    PutLe(p + 20, imageSize, 4);
}

} // namespace qmspi
