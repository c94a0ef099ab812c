// A picture plug-in's result against arbitrary bytes: the input is split into the bitmap
// information block and the bits block, each in a block of exactly its size as a plug-in
// hands them over, and the plug-in bitmap makes a picture of them (or refuses them).

#include "SPIBmp.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Two bytes give the information block's length; the rest of the input after that
    // block is the bits.
    if (size < 2)
        return 0;
    size_t infoSize = size_t(data[0] | data[1] << 8);
    data += 2;
    size -= 2;
    infoSize = std::min(infoSize, size);
    HLOCAL info = LocalAlloc(LMEM_FIXED, infoSize);
    HLOCAL bits = LocalAlloc(LMEM_FIXED, size - infoSize);
    auto* infoData = static_cast<char*>(LocalLock(info));
    auto* bitsData = static_cast<char*>(LocalLock(bits));
    if (infoSize)
        std::memcpy(infoData, data, infoSize);
    if (size > infoSize)
        std::memcpy(bitsData, data + infoSize, size - infoSize);
    TSPIBitmap bitmap;
    // Small pictures only: the point is the checks, not the memory of the machine.
    bitmap.Limits.MaxBytes = 64 * 1024 * 1024;
    bool loaded = false;
    try {
        bitmap.AssignDIB(infoData, LocalSize(info), bitsData, LocalSize(bits), {}, loaded);
    } catch (const EInvalidGraphic&) {
    }
    if (loaded != !bitmap.Image().isNull())
        __builtin_trap();
    LocalUnlock(info);
    LocalUnlock(bits);
    LocalFree(info);
    LocalFree(bits);
    return 0;
}
