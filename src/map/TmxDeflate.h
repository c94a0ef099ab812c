#pragma once

// One standard zlib stream compressed on several threads: the data is cut into blocks, each
// deflated on a worker primed with the 32 KB before it and ended on a byte boundary with a
// sync flush (the last one finishes the stream), and the blocks' Adler-32 sums combined.
// Any zlib reader inflates the result as one stream.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct TDeflateBlocks
{
    size_t Count = 0;
    // Fills `bytes` with up to 32 KB of the data that comes just before block `i` (none for
    // the first), followed by the block itself; returns how many bytes precede the block.
    // Called on the worker threads, for different blocks at once.
    std::function<size_t(size_t i, std::vector<uint8_t>& bytes)> Fill;
};

// Takes the stream's bytes in order, on the calling thread, with the number of blocks
// whose bytes have all been handed on; false stops the work.
using TDeflateSink = std::function<bool(const uint8_t* data, size_t size, size_t blocksDone)>;

// Compresses the blocks at `level` (0..9 or Z_DEFAULT_COMPRESSION) on `threads` workers
// (at least one, at most one a block); level 1 with ISA-L's faster deflate, the others
// with zlib. False when the sink said stop or zlib failed;
// what was handed on is then not a whole stream.
bool DeflateBlocks(const TDeflateBlocks& blocks, int level, int threads, const TDeflateSink& sink);

// The worker count a caller asking for `threads` (0: one per core) gets.
int DeflateThreads(int threads);
