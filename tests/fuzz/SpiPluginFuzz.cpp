// A picture plug-in's exports against arbitrary bytes, called as the program calls them:
// IsSupported on the zero-padded 2048-byte head, GetPictureInfo and GetPicture on the whole
// data. What GetPicture returns must be a 24-bit picture whose rows lie inside its bits
// block. One target per plug-in, each built with that plug-in's sources, so that the fuzzer
// sees their coverage (the libraries they use are the system's, not instrumented).

#include "FuzzCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <quiltmapper/spi.h>

namespace {

int32_t StopAtRandom(int32_t num, int32_t denom, int32_t data)
{
    // The input's last byte says whether to stop at the first report past half way.
    return data != 0 && denom > 0 && int64_t(num) * 2 > denom ? 1 : 0;
}

uint32_t FuzzLe(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = v << 8 | p[i];
    }
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0x7FFFFFFF) {
        return 0;
    }
    char head[2048] = {};
    std::memcpy(head, data, std::min(size, sizeof head));
    IsSupported("", head);

    const char* buf = reinterpret_cast<const char*>(data);
    const int32_t len = int32_t(size);
    PictureInfo info;
    if (GetPictureInfo(buf, len, SPI_INPUT_MEMORY, &info) == SPI_ALL_RIGHT) {
        // Larger pictures cost their allocation and reach no other code.
        if (int64_t(info.width) * info.height > (int64_t(1) << 22)) {
            return 0;
        }
        LocalFree(info.hInfo);
    }
    HLOCAL hInfo = nullptr;
    HLOCAL hBits = nullptr;
    const int32_t stop = size > 0 ? data[size - 1] & 1 : 0;
    if (GetPicture(buf, len, SPI_INPUT_MEMORY, &hInfo, &hBits, StopAtRandom, stop) ==
        SPI_ALL_RIGHT) {
        QM_FUZZ_CHECK(LocalSize(hInfo) >= 40 && hBits != nullptr);
        const auto* h = static_cast<const uint8_t*>(LocalLock(hInfo));
        const int32_t width = int32_t(FuzzLe(h + 4, 4));
        const int32_t height = int32_t(FuzzLe(h + 8, 4));
        const uint64_t stride = (uint64_t(width) * 3 + 3) / 4 * 4;
        QM_FUZZ_CHECK(FuzzLe(h, 4) == 40 && FuzzLe(h + 14, 2) == 24);
        QM_FUZZ_CHECK(width > 0 && height > 0);
        QM_FUZZ_CHECK(LocalSize(hBits) >= stride * uint64_t(height));
        // Every byte of the rows is read, so that uninitialised or missing memory shows.
        const auto* rows = static_cast<const uint8_t*>(LocalLock(hBits));
        unsigned sum = 0;
        for (uint64_t i = 0; i < stride * uint64_t(height); ++i) {
            sum += rows[i];
        }
        volatile unsigned sink = sum;
        (void)sink;
        LocalUnlock(hBits);
        LocalUnlock(hInfo);
    }
    LocalFree(hInfo);
    LocalFree(hBits);
    return 0;
}
