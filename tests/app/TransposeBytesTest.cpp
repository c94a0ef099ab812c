#include "TransposeBytes.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(TransposeBytes, MatchesTheDefinitionForRaggedBlocksAndStrides)
{
    // Sizes around the 16 x 16 tile, with strides wider than the block.
    for (size_t rows : {1u, 15u, 16u, 17u, 33u, 64u})
        for (size_t cols : {1u, 7u, 16u, 31u, 48u, 50u}) {
            const size_t srcStride = cols + 3;
            const size_t dstStride = rows + 5;
            std::vector<uint8_t> src(rows * srcStride);
            for (size_t i = 0; i < src.size(); ++i)
                src[i] = uint8_t(i * 31 + i / 7);
            std::vector<uint8_t> dst(cols * dstStride, 0xEE);
            TransposeBytes(src.data(), srcStride, dst.data(), dstStride, rows, cols);
            for (size_t c = 0; c < cols; ++c)
                for (size_t r = 0; r < dstStride; ++r) {
                    if (r < rows)
                        ASSERT_EQ(dst[c * dstStride + r], src[r * srcStride + c])
                            << rows << "x" << cols << " at " << r << "," << c;
                    else
                        ASSERT_EQ(dst[c * dstStride + r], 0xEE) << "wrote past the block";
                }
        }
}

} // namespace
