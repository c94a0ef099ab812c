#pragma once

#include <cstdint>

// The pseudo-random generator of the random placement: wyrand, which passes the usual
// statistical batteries and costs one multiplication per number, so that a whole
// 9999 x 9999 map can be drawn in well under a second.
class TCellRng
{
public:
    explicit TCellRng(uint64_t seed) : FState(seed) {}

    uint64_t Next()
    {
        FState += 0xa0761d6478bd642fULL;
        const __uint128_t t = __uint128_t(FState) * (FState ^ 0xe7037ed1a0b428dbULL);
        return uint64_t(t >> 64) ^ uint64_t(t);
    }

    // 32 random bits: each 64-bit number serves twice.
    uint32_t Next32()
    {
        if (FHaveSpare) {
            FHaveSpare = false;
            return FSpare;
        }
        const uint64_t r = Next();
        FSpare = uint32_t(r);
        FHaveSpare = true;
        return uint32_t(r >> 32);
    }

    // A uniform number in 0..bound-1 (bound >= 1), without modulo bias (multiply and
    // reject the few products that would favour low results).
    uint32_t Below(uint32_t bound)
    {
        uint64_t m = uint64_t(Next32()) * bound;
        uint32_t low = uint32_t(m);
        if (low < bound) {
            const uint32_t threshold = uint32_t(-bound) % bound;
            while (low < threshold) {
                m = uint64_t(Next32()) * bound;
                low = uint32_t(m);
            }
        }
        return uint32_t(m >> 32);
    }

private:
    uint64_t FState;
    uint32_t FSpare = 0;
    bool FHaveSpare = false;
};
