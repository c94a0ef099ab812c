#include "TmxDeflate.h"

#include <QScopeGuard>
#include <QThread>
#include <algorithm>
#include <array>
#include <condition_variable>
#include <isa-l/igzip_lib.h>
#include <mutex>
#include <thread>
#include <zlib.h>

namespace {

// The two bytes zlib itself starts a stream with at this level and the largest window.
std::array<uint8_t, 2> zlibHeader(int level)
{
    if (level == Z_DEFAULT_COMPRESSION)
        level = 6;
    const unsigned flags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = (Z_DEFLATED + (7 << 4)) << 8 | flags << 6;
    header += 31 - header % 31;
    return {uint8_t(header >> 8), uint8_t(header)};
}

struct Block
{
    std::vector<uint8_t> Out;
    uLong Adler = 1;
    size_t Length = 0;
    bool Done = false;
    bool Failed = false;
};

// A worker's raw deflate stream, reset for each block it compresses.
class Deflater
{
public:
    explicit Deflater(int level)
    {
        FOk = deflateInit2(&FZ, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater()
    {
        if (FOk)
            deflateEnd(&FZ);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    bool compress(const std::vector<uint8_t>& bytes, size_t dictionary, bool last, Block& block)
    {
        if (!FOk || deflateReset(&FZ) != Z_OK)
            return false;
        if (dictionary > 0 && deflateSetDictionary(&FZ, bytes.data(), uInt(dictionary)) != Z_OK)
            return false;
        const size_t size = bytes.size() - dictionary;
        block.Length = size;
        block.Adler = adler32(1, bytes.data() + dictionary, uInt(size));
        block.Out.resize(deflateBound(&FZ, uLong(size)) + 64);
        FZ.next_in = const_cast<Bytef*>(bytes.data() + dictionary);
        FZ.avail_in = uInt(size);
        size_t made = 0;
        const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
        for (;;) {
            FZ.next_out = block.Out.data() + made;
            FZ.avail_out = uInt(block.Out.size() - made);
            const int rc = deflate(&FZ, flush);
            made = block.Out.size() - FZ.avail_out;
            if (rc == Z_STREAM_ERROR)
                return false;
            if (FZ.avail_out > 0 && FZ.avail_in == 0 && (rc == Z_STREAM_END || !last))
                break;
            block.Out.resize(block.Out.size() * 2);
        }
        block.Out.resize(made);
        return true;
    }

private:
    z_stream FZ{};
    bool FOk = false;
};

// Level 1 through ISA-L's igzip, which deflates about twice as fast as zlib's level 1 with
// output any zlib reader inflates.
class FastDeflater
{
public:
    FastDeflater() : FLevelBuffer(ISAL_DEF_LVL1_DEFAULT) {}

    bool compress(std::vector<uint8_t>& bytes, size_t dictionary, bool last, Block& block)
    {
        isal_deflate_init(&FZ);
        FZ.level = 1;
        FZ.level_buf = FLevelBuffer.data();
        FZ.level_buf_size = uint32_t(FLevelBuffer.size());
        FZ.gzip_flag = IGZIP_DEFLATE;
        FZ.flush = SYNC_FLUSH;
        FZ.end_of_stream = last ? 1 : 0;
        if (dictionary > 0 &&
            isal_deflate_set_dict(&FZ, bytes.data(), uint32_t(dictionary)) != COMP_OK)
            return false;
        const size_t size = bytes.size() - dictionary;
        block.Length = size;
        block.Adler = adler32(1, bytes.data() + dictionary, uInt(size));
        block.Out.resize(compressBound(uLong(size)) + 1024);
        FZ.next_in = bytes.data() + dictionary;
        FZ.avail_in = uint32_t(size);
        size_t made = 0;
        for (int calls = 0;; ++calls) {
            FZ.next_out = block.Out.data() + made;
            FZ.avail_out = uint32_t(block.Out.size() - made);
            if (calls == 64 || isal_deflate(&FZ) != COMP_OK)
                return false;
            made = block.Out.size() - FZ.avail_out;
            const bool done = last ? FZ.internal_state.state == ZSTATE_END
                                   : FZ.avail_in == 0 && FZ.avail_out > 0 &&
                                         FZ.internal_state.state == ZSTATE_NEW_HDR;
            if (done)
                break;
            if (FZ.avail_out == 0)
                block.Out.resize(block.Out.size() * 2);
        }
        block.Out.resize(made);
        return true;
    }

private:
    isal_zstream FZ{};
    std::vector<uint8_t> FLevelBuffer;
};

} // namespace

int DeflateThreads(int threads)
{
    return threads > 0 ? threads : std::max(QThread::idealThreadCount(), 1);
}

bool DeflateBlocks(const TDeflateBlocks& blocks, int level, int threads, const TDeflateSink& sink)
{
    if (blocks.Count == 0)
        return false;
    const int workers = int(std::min<size_t>(size_t(DeflateThreads(threads)), blocks.Count));
    // Blocks in flight: enough to keep every worker busy while the sink writes.
    const size_t window = size_t(workers) * 2;
    std::vector<Block> inFlight(window);
    std::mutex mutex;
    std::condition_variable workReady;
    std::condition_variable blockDone;
    size_t next = 0;
    size_t consumed = 0;
    bool stop = false;

    const bool fast = level == 1;
    const auto work = [&] {
        Deflater deflater(fast ? Z_DEFAULT_COMPRESSION : level);
        FastDeflater fastDeflater;
        std::vector<uint8_t> bytes;
        std::unique_lock lock(mutex);
        for (;;) {
            workReady.wait(
                lock, [&] { return stop || next >= blocks.Count || next < consumed + window; });
            if (stop || next >= blocks.Count)
                return;
            const size_t i = next++;
            Block& block = inFlight[i % window];
            lock.unlock();
            bool ok = true;
            try {
                const size_t dictionary = blocks.Fill(i, bytes);
                const bool last = i + 1 == blocks.Count;
                ok = fast ? fastDeflater.compress(bytes, dictionary, last, block)
                          : deflater.compress(bytes, dictionary, last, block);
            } catch (const std::bad_alloc&) {
                ok = false;
            }
            lock.lock();
            block.Failed = !ok;
            block.Done = true;
            blockDone.notify_all();
        }
    };
    std::vector<std::thread> pool;
    // However the writing ends, by an exception too, the workers stop and are joined.
    const auto joinAll = qScopeGuard([&] {
        {
            std::lock_guard lock(mutex);
            stop = true;
            workReady.notify_all();
        }
        for (std::thread& t : pool)
            t.join();
    });
    pool.reserve(size_t(workers));
    for (int t = 0; t < workers; ++t)
        pool.emplace_back(work);

    const std::array<uint8_t, 2> header = zlibHeader(level);
    bool ok = sink(header.data(), header.size(), 0);
    uLong adler = adler32(0, nullptr, 0);
    for (size_t i = 0; i < blocks.Count && ok; ++i) {
        Block& block = inFlight[i % window];
        {
            std::unique_lock lock(mutex);
            blockDone.wait(lock, [&] { return block.Done; });
        }
        ok = !block.Failed && sink(block.Out.data(), block.Out.size(), i + 1);
        adler = adler32_combine(adler, block.Adler, z_off_t(block.Length));
        std::lock_guard lock(mutex);
        block.Done = false;
        ++consumed;
        workReady.notify_all();
    }
    if (ok) {
        const uint8_t trailer[4] = {uint8_t(adler >> 24), uint8_t(adler >> 16), uint8_t(adler >> 8),
                                    uint8_t(adler)};
        ok = sink(trailer, 4, blocks.Count);
    }
    return ok;
}
