#pragma once

// The pieces of the TMX reader that decode a tile layer's data into gids.

#include "TerrainFile.h"
#include "TmxXml.h"
#include "TransposeBytes.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringView>
#include <QXmlStreamAttributes>
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>
#include <zlib.h>

namespace TmxDetail {

constexpr uint32_t FlipH = 0x80000000u;
constexpr uint32_t FlipV = 0x40000000u;
constexpr uint32_t FlipD = 0x20000000u;
// Tiled's hexagonal 120-degree rotation; meaningless on an orthogonal map.
constexpr uint32_t FlipHex = 0x10000000u;
constexpr uint32_t FlagBits = FlipH | FlipV | FlipD | FlipHex;

struct Tileset
{
    uint32_t FirstGid = 0;
    int TileCount = 0;
    int Columns = 0;
    int Margin = 0;
    int Spacing = 0;
    // The picture, ARGB32, shared by the tilesets that name the same file.
    std::shared_ptr<const QImage> Picture;
    // The terrain sets and the tiles' own probabilities, in the tileset's tile numbers.
    std::vector<TWangSet> Sets;
    std::vector<std::pair<int, double>> Probabilities;
};

// The tilesets' terrain sets and probabilities in part numbers. `partOfGid` gives the part
// of each gid that became one, with the flags of a flipped or rotated copy: a copy takes
// its tile's place in the sets with its wang id turned as its picture is. The tiles no part
// holds are left out, and so are sets left without tiles.
TTerrainSheet TerrainInParts(const std::vector<Tileset>& tilesets,
                             const std::map<uint32_t, int>& partOfGid);

inline int intAttribute(const QXmlStreamAttributes& attrs, const char* name, int low, int high,
                        const QString& where, std::optional<int> fallback = std::nullopt)
{
    const QStringView text = attrs.value(QLatin1String(name));
    if (text.isEmpty()) {
        if (fallback)
            return *fallback;
        fail(QStringLiteral("%1 has no %2").arg(where, QLatin1String(name)));
    }
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < low || v > high)
        fail(QStringLiteral("%1 has %2=\"%3\", not a number from %4 to %5")
                 .arg(where, QLatin1String(name), Quoted(text))
                 .arg(low)
                 .arg(high));
    return int(v);
}

// Turns the gids of the layer, in row-major order, into small ids in order of first
// appearance and puts them straight into the map's column-major cells, a band of rows at a
// time: the layer is never held whole. Gids that differ only in the hexagonal bit share an
// id (they are the same tile on an orthogonal map). Ids past 255 (at most one: 256 tiles
// and the empty gid) keep their ninth bit aside.
class GidSink
{
public:
    GidSink(const std::vector<Tileset>& tilesets, int w, int h, uint8_t* cells)
        : FTilesets(tilesets), FWidth(w), FHeight(h), FCount(qint64(w) * h), FCells(cells),
          FSmall(SmallGids, NoId)
    {
        FBand.resize(size_t(w) * size_t(std::min(BandRows, h)));
    }

    void add(uint32_t gid)
    {
        if (FDone == FCount)
            fail(QStringLiteral("the layer holds more than its %1 cells").arg(FCount));
        put(idOf(gid));
    }
    // `n` gids as little-endian 32-bit numbers.
    void addBytes(const uint8_t* p, size_t n)
    {
        while (n > 0) {
            if (FDone == FCount)
                fail(QStringLiteral("the layer holds more than its %1 cells").arg(FCount));
            const size_t room =
                std::min<size_t>({n, FBand.size() - FInBand, size_t(FCount - FDone)});
            uint8_t* band = FBand.data() + FInBand;
            for (size_t i = 0; i < room; ++i, p += 4) {
                const uint32_t gid = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                     uint32_t(p[3]) << 24;
                uint16_t id = gid < SmallGids ? FSmall[gid] : gid == FLastBig ? FLastBigId : NoId;
                if (id == NoId) {
                    id = idOf(gid);
                    if (gid >= SmallGids) {
                        FLastBig = gid;
                        FLastBigId = id;
                    }
                }
                if (id > 255)
                    markHigh(FDone + qint64(i));
                band[i] = uint8_t(id);
            }
            n -= room;
            advance(room);
        }
    }
    // Puts the last rows in place; the count tells whether the layer was whole.
    void finish() { flushBand(FInBand / size_t(FWidth)); }

    qint64 count() const { return FDone; }
    qint64 expected() const { return FCount; }
    // The gid of each id (the hexagonal bit dropped).
    const std::vector<uint32_t>& gids() const { return FGids; }
    // Ids past 255: the row-major cells that hold them, a bit each; empty if none.
    const std::vector<uint8_t>& high() const { return FHigh; }

private:
    static constexpr int BandRows = 64;
    static constexpr uint32_t SmallGids = 1 << 16;
    static constexpr uint16_t NoId = 0xffff;

    void put(uint16_t id)
    {
        if (id > 255)
            markHigh(FDone);
        FBand[FInBand] = uint8_t(id);
        advance(1);
    }
    void advance(size_t n)
    {
        FInBand += n;
        FDone += qint64(n);
        if (FInBand == FBand.size())
            flushBand(FBand.size() / size_t(FWidth));
    }
    void flushBand(size_t rows)
    {
        if (rows == 0)
            return;
        TransposeBytes(FBand.data(), size_t(FWidth), FCells + FBandRow, size_t(FHeight), rows,
                       size_t(FWidth));
        FBandRow += rows;
        FInBand = 0;
    }
    void markHigh(qint64 at)
    {
        if (FHigh.empty())
            FHigh.resize(size_t(FCount + 7) / 8);
        FHigh[size_t(at) / 8] |= uint8_t(1 << (at % 8));
    }
    uint16_t idOf(uint32_t gid)
    {
        if (gid < SmallGids && FSmall[gid] != NoId)
            return FSmall[gid];
        const auto found = FIdOf.find(gid);
        if (found != FIdOf.end())
            return found->second;
        check(gid);
        // 256 parts and the empty gid: anything beyond can never fit.
        if (FIdOf.size() == 257)
            fail(QStringLiteral("the map uses more than 256 different tiles"));
        const uint32_t tile = gid & ~FlipHex;
        const auto known = std::find(FGids.begin(), FGids.end(), tile);
        const uint16_t id = uint16_t(known - FGids.begin());
        if (known == FGids.end())
            FGids.push_back(tile);
        FIdOf.emplace(gid, id);
        if (gid < SmallGids)
            FSmall[gid] = id;
        return id;
    }
    void check(uint32_t gid) const
    {
        const uint32_t base = gid & ~FlagBits;
        if (base == 0)
            return;
        for (const Tileset& t : FTilesets) {
            if (base >= t.FirstGid && base - t.FirstGid < uint32_t(t.TileCount))
                return;
        }
        fail(QStringLiteral("gid %1 is beyond the tilesets").arg(base));
    }

    const std::vector<Tileset>& FTilesets;
    int FWidth;
    int FHeight;
    qint64 FCount;
    uint8_t* FCells;
    qint64 FDone = 0;
    std::vector<uint8_t> FBand; // rows of ids, row-major, on their way to the cells
    size_t FInBand = 0;
    size_t FBandRow = 0; // the map row the band starts at
    std::vector<uint8_t> FHigh;
    std::vector<uint32_t> FGids;
    std::unordered_map<uint32_t, uint16_t> FIdOf; // every gid seen, hexagonal bit and all
    std::vector<uint16_t> FSmall;                 // the ids of the gids below SmallGids
    uint32_t FLastBig = 0;                        // the last gid above them, and its id
    uint16_t FLastBigId = NoId;
};

// Gids as little-endian 32-bit numbers out of a byte stream.
class GidBytes
{
public:
    explicit GidBytes(GidSink& sink) : FSink(sink) {}
    void add(const uint8_t* data, size_t size)
    {
        // A gid cut between two pieces first, then the whole ones at once.
        while (FHave != 0 && size > 0) {
            FGid[FHave++] = *data++;
            --size;
            if (FHave == 4) {
                FSink.addBytes(FGid, 1);
                FHave = 0;
            }
        }
        const size_t whole = size / 4;
        FSink.addBytes(data, whole);
        for (size_t i = whole * 4; i < size; ++i)
            FGid[FHave++] = data[i];
    }
    bool partial() const { return FHave != 0; }

private:
    GidSink& FSink;
    uint8_t FGid[4] = {};
    int FHave = 0;
};

// The inflater of zlib or gzip data. Stops at the first byte beyond the map's cells.
class Inflater
{
public:
    Inflater(GidBytes& bytes, qint64 limit, bool gzip) : FBytes(bytes), FLimit(limit)
    {
        if (inflateInit2(&FZ, gzip ? 15 + 16 : 15) != Z_OK)
            throw std::bad_alloc();
    }
    ~Inflater() { inflateEnd(&FZ); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    void add(const uint8_t* data, size_t size)
    {
        if (size == 0)
            return;
        if (FEnded)
            fail(QStringLiteral("the layer data goes on after its compressed stream"));
        FZ.next_in = const_cast<Bytef*>(data);
        FZ.avail_in = uInt(size);
        while (FZ.avail_in > 0 && !FEnded) {
            FZ.next_out = FOut;
            FZ.avail_out = sizeof FOut;
            const int rc = inflate(&FZ, Z_NO_FLUSH);
            const size_t made = sizeof FOut - FZ.avail_out;
            if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && made > 0))
                fail(QStringLiteral("the compressed layer data is damaged (%1)")
                         .arg(QString::fromLatin1(FZ.msg ? FZ.msg : "zlib error")));
            FTotal += qint64(made);
            if (FTotal > FLimit)
                fail(QStringLiteral("the compressed layer data inflates past the map's size"));
            FBytes.add(FOut, made);
            FEnded = rc == Z_STREAM_END;
            if (made == 0 && rc != Z_STREAM_END && FZ.avail_in > 0)
                fail(QStringLiteral("the compressed layer data is damaged"));
        }
    }
    void finish()
    {
        if (!FEnded)
            fail(QStringLiteral("the compressed layer data ends early"));
    }

private:
    GidBytes& FBytes;
    qint64 FLimit;
    qint64 FTotal = 0;
    bool FEnded = false;
    z_stream FZ{};
    uint8_t FOut[64 * 1024];
};

// Whitespace as XML and the TMX readers take it; bytes past ASCII are no part of base64 or
// CSV, whatever the file's encoding.
inline bool isTextSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool isTextSpace(char16_t c)
{
    return QChar(c).isSpace();
}

// Base64 text, fed in pieces of any size, as the file's bytes or as the XML reader's text;
// whitespace between the characters is allowed, padding only at the end.
class Base64In
{
public:
    explicit Base64In(std::function<void(const uint8_t*, size_t)> out) : FOut(std::move(out))
    {
        FBytes.resize(BufferBytes);
    }
    void add(QStringView text)
    {
        addChars(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()));
    }
    void addBytes(const char* data, size_t size) { addChars(data, size); }
    void finish()
    {
        if (FHave != 0)
            badBase64();
        flush();
    }

private:
    static constexpr size_t BufferBytes = 64 * 1024;
    static constexpr uint8_t Pad = 64;
    static constexpr uint8_t Bad = 0xff;

    [[noreturn]] static void badBase64() { fail(QStringLiteral("the layer data is not base64")); }
    static const std::array<uint8_t, 128>& values()
    {
        static const std::array<uint8_t, 128> table = [] {
            std::array<uint8_t, 128> t{};
            t.fill(Bad);
            const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
            for (uint8_t i = 0; i < 64; ++i)
                t[uint8_t(digits[i])] = i;
            t['='] = Pad;
            return t;
        }();
        return table;
    }

    template <typename C> static uint32_t value(C c, const std::array<uint8_t, 128>& table)
    {
        return uint32_t(c) < 128 ? table[size_t(c)] : Bad;
    }

    template <typename C> void addChars(const C* text, size_t size)
    {
        const std::array<uint8_t, 128>& table = values();
        size_t i = 0;
        while (i < size) {
            // Whole groups of four digits, the common case, decoded at once.
            if (FHave == 0 && !FEnded) {
                uint8_t* out = FBytes.data();
                while (i + 4 <= size && FUsed + 3 <= BufferBytes) {
                    const uint32_t a = value(text[i], table);
                    const uint32_t b = value(text[i + 1], table);
                    const uint32_t c = value(text[i + 2], table);
                    const uint32_t d = value(text[i + 3], table);
                    if ((a | b | c | d) >= 64)
                        break;
                    const uint32_t bits = a << 18 | b << 12 | c << 6 | d;
                    out[FUsed] = uint8_t(bits >> 16);
                    out[FUsed + 1] = uint8_t(bits >> 8);
                    out[FUsed + 2] = uint8_t(bits);
                    FUsed += 3;
                    i += 4;
                }
                if (FUsed + 3 > BufferBytes) {
                    flush();
                    continue;
                }
                if (i == size)
                    break;
            }
            // One character at a time: whitespace, padding, a group cut by either.
            const C c = text[i++];
            const uint8_t v = uint8_t(value(c, table));
            if (v == Bad) {
                if (isTextSpace(c))
                    continue;
                badBase64();
            }
            if (FEnded)
                badBase64();
            FQuad[FHave++] = v;
            if (FHave == 4)
                quad();
        }
    }
    void quad()
    {
        FHave = 0;
        const uint8_t* q = FQuad;
        if (q[0] == Pad || q[1] == Pad || (q[2] == Pad && q[3] != Pad))
            badBase64();
        const uint32_t bits = uint32_t(q[0]) << 18 | uint32_t(q[1]) << 12 |
                              uint32_t(q[2] & 63) << 6 | uint32_t(q[3] & 63);
        FBytes[FUsed++] = uint8_t(bits >> 16);
        if (q[2] != Pad)
            FBytes[FUsed++] = uint8_t(bits >> 8);
        if (q[3] != Pad)
            FBytes[FUsed++] = uint8_t(bits);
        FEnded = q[3] == Pad;
        if (FUsed + 3 > BufferBytes)
            flush();
    }
    void flush()
    {
        if (FUsed == 0)
            return;
        FOut(FBytes.data(), FUsed);
        FUsed = 0;
    }

    std::function<void(const uint8_t*, size_t)> FOut;
    std::vector<uint8_t> FBytes; // decoded, not yet handed on: the first FUsed
    size_t FUsed = 0;
    uint8_t FQuad[4] = {};
    int FHave = 0;
    bool FEnded = false;
};

// Comma-separated gids, fed in pieces of any size.
class CsvIn
{
public:
    explicit CsvIn(GidSink& sink) : FSink(sink) {}
    void add(QStringView text)
    {
        addChars(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()));
    }
    void addBytes(const char* data, size_t size) { addChars(data, size); }
    void finish()
    {
        if (FDigits)
            FSink.add(uint32_t(FValue));
    }

private:
    template <typename C> void addChars(const C* text, size_t size)
    {
        for (size_t i = 0; i < size; ++i) {
            const C u = text[i];
            if (u >= '0' && u <= '9') {
                if (FEnded)
                    bad();
                FValue = FValue * 10 + uint32_t(u - '0');
                if (FValue > 0xffffffffull)
                    bad();
                FDigits = true;
            } else if (u == ',') {
                if (!FDigits)
                    bad();
                FSink.add(uint32_t(FValue));
                FValue = 0;
                FDigits = FEnded = false;
            } else if (isTextSpace(u)) {
                FEnded = FDigits;
            } else {
                bad();
            }
        }
    }
    [[noreturn]] static void bad()
    {
        fail(QStringLiteral("the CSV layer data holds something other than gids"));
    }
    GidSink& FSink;
    uint64_t FValue = 0;
    bool FDigits = false;
    bool FEnded = false;
};

} // namespace TmxDetail
