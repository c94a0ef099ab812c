#pragma once

// The pieces of the TMX reader that decode a tile layer's data into gids.

#include "TmxXml.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringView>
#include <QXmlStreamAttributes>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>
#include <vector>
#include <zlib.h>

namespace TmxDetail {

constexpr uint32_t FlipH = 0x80000000u;
constexpr uint32_t FlipV = 0x40000000u;
constexpr uint32_t FlipD = 0x20000000u;
// Tiled's hexagonal 120-degree rotation; meaningless on an orthogonal map.
constexpr uint32_t FlipHex = 0x10000000u;
constexpr uint32_t FlagBits = FlipH | FlipV | FlipD | FlipHex;

// A reason the import stops; caught at the top and turned into the caller's message.
struct TmxError
{
    QString Message;
};

[[noreturn]] inline void fail(const QString& message)
{
    throw TmxError{message};
}

struct Tileset
{
    uint32_t FirstGid = 0;
    int TileCount = 0;
    int Columns = 0;
    int Margin = 0;
    int Spacing = 0;
    // The picture, ARGB32, shared by the tilesets that name the same file.
    std::shared_ptr<const QImage> Picture;
};

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
// appearance, so that the cells take two bytes each however large the gids are.
class GidSink
{
public:
    GidSink(const std::vector<Tileset>& tilesets, int w, int h)
        : FTilesets(tilesets), FCount(qint64(w) * h)
    {
    }

    void add(uint32_t gid)
    {
        if (FDone == FCount)
            fail(QStringLiteral("the layer holds more than its %1 cells").arg(FCount));
        if (gid != FLastGid || FDone == 0) {
            FLastGid = gid;
            FLastId = idOf(gid);
        }
        // The store grows with the data, so that a large map that claims more cells than
        // its data holds costs no memory for them.
        if (size_t(FDone) == FIds.size())
            FIds.resize(size_t(std::min(FCount, std::max<qint64>(FDone * 2, 1 << 16))));
        FIds[size_t(FDone++)] = FLastId;
    }
    qint64 count() const { return FDone; }
    qint64 expected() const { return FCount; }
    const std::vector<uint16_t>& ids() const { return FIds; }
    const std::vector<uint32_t>& gids() const { return FGids; }

private:
    uint16_t idOf(uint32_t gid)
    {
        const auto found = FIdOf.find(gid);
        if (found != FIdOf.end())
            return found->second;
        check(gid);
        // 256 parts and the empty gid: anything beyond can never fit.
        if (FGids.size() == 257)
            fail(QStringLiteral("the map uses more than 256 different tiles"));
        const uint16_t id = uint16_t(FGids.size());
        FGids.push_back(gid);
        FIdOf.emplace(gid, id);
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
    qint64 FCount;
    qint64 FDone = 0;
    std::vector<uint16_t> FIds;
    std::vector<uint32_t> FGids;
    std::unordered_map<uint32_t, uint16_t> FIdOf;
    uint32_t FLastGid = 0;
    uint16_t FLastId = 0;
};

// Gids as little-endian 32-bit numbers out of a byte stream.
class GidBytes
{
public:
    explicit GidBytes(GidSink& sink) : FSink(sink) {}
    void add(const uint8_t* data, size_t size)
    {
        for (size_t i = 0; i < size; ++i) {
            FGid |= uint32_t(data[i]) << (8 * FHave);
            if (++FHave == 4) {
                FSink.add(FGid);
                FGid = 0;
                FHave = 0;
            }
        }
    }
    bool partial() const { return FHave != 0; }

private:
    GidSink& FSink;
    uint32_t FGid = 0;
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

// Base64 text, fed in pieces of any size; whitespace between the characters is allowed.
class Base64In
{
public:
    explicit Base64In(std::function<void(const uint8_t*, size_t)> out) : FOut(std::move(out)) {}
    void add(QStringView text)
    {
        for (const QChar c : text) {
            if (c.isSpace())
                continue;
            if (c.unicode() > 0x7f)
                badBase64();
            FPending.append(char(c.unicode()));
        }
        const qsizetype whole = FPending.size() / 4 * 4;
        if (whole >= 65536)
            decode(whole);
    }
    void finish()
    {
        if (FPending.size() % 4 != 0)
            badBase64();
        decode(FPending.size());
    }

private:
    [[noreturn]] static void badBase64() { fail(QStringLiteral("the layer data is not base64")); }
    void decode(qsizetype size)
    {
        if (size == 0)
            return;
        // Padding may only end the text.
        const qsizetype pad = FPending.left(size).indexOf('=');
        if (pad >= 0 && pad < size - 2)
            badBase64();
        if (FEnded)
            badBase64();
        const auto result = QByteArray::fromBase64Encoding(FPending.left(size),
                                                           QByteArray::AbortOnBase64DecodingErrors);
        if (!result)
            badBase64();
        FEnded = pad >= 0;
        FPending.remove(0, size);
        FOut(reinterpret_cast<const uint8_t*>(result.decoded.constData()),
             size_t(result.decoded.size()));
    }

    std::function<void(const uint8_t*, size_t)> FOut;
    QByteArray FPending;
    bool FEnded = false;
};

// Comma-separated gids, fed in pieces of any size.
class CsvIn
{
public:
    explicit CsvIn(GidSink& sink) : FSink(sink) {}
    void add(QStringView text)
    {
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u >= '0' && u <= '9') {
                if (FEnded)
                    bad();
                FValue = FValue * 10 + (u - '0');
                if (FValue > 0xffffffffull)
                    bad();
                FDigits = true;
            } else if (u == ',') {
                if (!FDigits)
                    bad();
                FSink.add(uint32_t(FValue));
                FValue = 0;
                FDigits = FEnded = false;
            } else if (c.isSpace()) {
                FEnded = FDigits;
            } else {
                bad();
            }
        }
    }
    void finish()
    {
        if (FDigits)
            FSink.add(uint32_t(FValue));
    }

private:
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
