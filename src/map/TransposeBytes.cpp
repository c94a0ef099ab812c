#include "TransposeBytes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr size_t Tile = 16;

void transposeScalar(const uint8_t* src, size_t srcStride, uint8_t* dst, size_t dstStride,
                     size_t rows, size_t cols)
{
    for (size_t c = 0; c < cols; ++c) {
        uint8_t* out = dst + c * dstStride;
        for (size_t r = 0; r < rows; ++r)
            out[r] = src[r * srcStride + c];
    }
}

#if defined(__SSE2__)
// One 16 x 16 tile by four rounds of interleaving: bytes, then pairs, quads and halves.
void transposeTile(const uint8_t* src, size_t srcStride, uint8_t* dst, size_t dstStride)
{
    __m128i x[16], y[16];
    for (size_t i = 0; i < 16; ++i)
        x[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * srcStride));
    // y[i]: columns 0-7 (y[i + 8]: 8-15), rows 2i and 2i+1 side by side.
    for (size_t i = 0; i < 8; ++i) {
        y[i] = _mm_unpacklo_epi8(x[2 * i], x[2 * i + 1]);
        y[i + 8] = _mm_unpackhi_epi8(x[2 * i], x[2 * i + 1]);
    }
    // x[4g + i]: columns 4g..4g+3, rows 4i..4i+3.
    for (size_t i = 0; i < 4; ++i) {
        x[i] = _mm_unpacklo_epi16(y[2 * i], y[2 * i + 1]);
        x[4 + i] = _mm_unpackhi_epi16(y[2 * i], y[2 * i + 1]);
        x[8 + i] = _mm_unpacklo_epi16(y[8 + 2 * i], y[8 + 2 * i + 1]);
        x[12 + i] = _mm_unpackhi_epi16(y[8 + 2 * i], y[8 + 2 * i + 1]);
    }
    // y[4g + 2k + p]: columns 4g+2p and 4g+2p+1, rows 8k..8k+7.
    for (size_t g = 0; g < 4; ++g) {
        for (size_t k = 0; k < 2; ++k) {
            y[4 * g + 2 * k] = _mm_unpacklo_epi32(x[4 * g + 2 * k], x[4 * g + 2 * k + 1]);
            y[4 * g + 2 * k + 1] = _mm_unpackhi_epi32(x[4 * g + 2 * k], x[4 * g + 2 * k + 1]);
        }
    }
    // Whole columns.
    for (size_t g = 0; g < 4; ++g) {
        for (size_t p = 0; p < 2; ++p) {
            const __m128i top = y[4 * g + p];
            const __m128i bottom = y[4 * g + 2 + p];
            const size_t c = 4 * g + 2 * p;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + c * dstStride),
                             _mm_unpacklo_epi64(top, bottom));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + (c + 1) * dstStride),
                             _mm_unpackhi_epi64(top, bottom));
        }
    }
}
#endif

} // namespace

void TransposeBytes(const uint8_t* src, size_t srcStride, uint8_t* dst, size_t dstStride,
                    size_t rows, size_t cols)
{
#if defined(__SSE2__)
    const size_t fullRows = rows - rows % Tile;
    const size_t fullCols = cols - cols % Tile;
    for (size_t r = 0; r < fullRows; r += Tile) {
        for (size_t c = 0; c < fullCols; c += Tile)
            transposeTile(src + r * srcStride + c, srcStride, dst + c * dstStride + r, dstStride);
    }
    // The ragged right and bottom edges.
    transposeScalar(src + fullCols, srcStride, dst + fullCols * dstStride, dstStride, rows,
                    cols - fullCols);
    transposeScalar(src + fullRows * srcStride, srcStride, dst + fullRows, dstStride,
                    rows - fullRows, fullCols);
#else
    transposeScalar(src, srcStride, dst, dstStride, rows, cols);
#endif
}
