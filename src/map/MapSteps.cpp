#include "MapSteps.h"

#include <algorithm>

void SwapMapBytes(uint8_t* a, uint8_t* b, size_t n)
{
    constexpr size_t Chunk = 4096;
    uint8_t tmp[Chunk];
    for (size_t done = 0; done < n; done += Chunk) {
        const size_t k = std::min(Chunk, n - done);
        std::memcpy(tmp, a + done, k);
        std::memcpy(a + done, b + done, k);
        std::memcpy(b + done, tmp, k);
    }
}

void TMapDocument::TReplaceStep::Apply()
{
    const size_t h = size_t(Rect.Height());
    if (FForm == AllNewParts) {
        Doc->replaceInRect(Rect, FBefore, FAfter);
    } else if (FForm == Positions) {
        uint32_t* out = reinterpret_cast<uint32_t*>(Buffer.Data.get());
        for (int x = Rect.Left; x <= Rect.Right; ++x) {
            uint8_t* cell = column(x);
            const uint32_t base = uint32_t(size_t(x - Rect.Left) * h);
            for (size_t i = 0; i < h; ++i) {
                if (cell[i] == FBefore) {
                    cell[i] = FAfter;
                    *out++ = base + uint32_t(i);
                }
            }
        }
        FCount = size_t(out - reinterpret_cast<uint32_t*>(Buffer.Data.get()));
    } else {
        const size_t columnBytes = MaskColumnBytes(Rect.Height());
        for (int x = Rect.Left; x <= Rect.Right; ++x) {
            uint8_t* cell = column(x);
            uint8_t* bits = &Buffer.Data[size_t(x - Rect.Left) * columnBytes];
            for (size_t i = 0; i < h; i += 8) {
                const size_t n = std::min<size_t>(8, h - i);
                uint8_t byte = 0;
                for (size_t j = 0; j < n; ++j) {
                    const uint8_t c = cell[i + j];
                    const bool match = c == FBefore;
                    byte |= uint8_t(match << j);
                    cell[i + j] = match ? FAfter : c;
                }
                bits[i / 8] = byte;
            }
        }
    }
}

void TMapDocument::TReplaceStep::set(uint8_t from, uint8_t to)
{
    const size_t h = size_t(Rect.Height());
    if (FForm == AllNewParts) {
        Doc->replaceInRect(Rect, from, to);
    } else if (FForm == Positions) {
        const uint32_t* at = reinterpret_cast<const uint32_t*>(Buffer.Data.get());
        for (size_t k = 0; k < FCount; ++k)
            column(Rect.Left + int(at[k] / h))[at[k] % h] = to;
    } else {
        const size_t columnBytes = MaskColumnBytes(Rect.Height());
        for (int x = Rect.Left; x <= Rect.Right; ++x) {
            uint8_t* cell = column(x);
            const uint8_t* bits = &Buffer.Data[size_t(x - Rect.Left) * columnBytes];
            for (size_t k = 0; k < columnBytes; ++k) {
                for (uint8_t b = bits[k]; b != 0; b &= uint8_t(b - 1))
                    cell[8 * k + size_t(__builtin_ctz(b))] = to;
            }
        }
    }
}
