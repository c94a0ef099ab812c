#pragma once

#include <cstddef>
#include <cstdint>

// Copies a rows x cols block of bytes into its transpose:
// dst[c * dstStride + r] = src[r * srcStride + c]. Moves the map between the column-major
// store and row-major data (type 2 files, the random placement's row-by-row draws) in
// 16 x 16 tiles, so that both sides are read and written a cache line at a time.
void TransposeBytes(const uint8_t* src, size_t srcStride, uint8_t* dst, size_t dstStride,
                    size_t rows, size_t cols);
