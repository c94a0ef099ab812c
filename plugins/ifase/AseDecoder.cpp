#include "AseDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>
#include <zlib.h>

namespace ase {

namespace {

constexpr size_t HeaderSize = 128;
constexpr size_t FrameHeaderSize = 16;
constexpr size_t ChunkHeaderSize = 6;
constexpr size_t CelHeaderSize = 16;
constexpr uint16_t FileMagic = 0xA5E0;
constexpr uint16_t FrameMagic = 0xF1FA;

constexpr uint16_t ChunkOldPalette = 0x0004;
constexpr uint16_t ChunkOldPalette64 = 0x0011;
constexpr uint16_t ChunkLayer = 0x2004;
constexpr uint16_t ChunkCel = 0x2005;
constexpr uint16_t ChunkPalette = 0x2019;

constexpr uint16_t LayerVisible = 1;
constexpr uint16_t LayerBackground = 8;
constexpr uint16_t LayerReference = 64;
constexpr uint16_t LayerImage = 0;
constexpr uint16_t LayerGroup = 1;
constexpr uint16_t LayerTilemap = 2;

constexpr uint16_t CelRaw = 0;
constexpr uint16_t CelLinked = 1;
constexpr uint16_t CelCompressed = 2;
constexpr uint16_t CelTilemap = 3;

// A 24-bit picture above this many bytes is refused, as the program refuses it.
constexpr uint64_t MaxPictureBytes = 0x7FFFFFFF;

uint16_t Word(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t Dword(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// a * b / 255, rounded.
uint8_t Mul255(unsigned a, unsigned b)
{
    const unsigned t = a * b + 128;
    return uint8_t((t + (t >> 8)) >> 8);
}

struct TChunkRef
{
    size_t Offset = 0; // of the chunk's data, after its 6-byte header
    size_t Size = 0;   // of the data
};

struct TLayer
{
    uint16_t Flags = 0;
    uint16_t Type = 0;
    uint16_t Blend = 0;
    uint8_t Opacity = 255;
    int Level = 0; // child level: how deep below the groups read before it
    int Parent = -1;
    bool Shown = false; // visible itself and every group above it visible
};

struct TCel
{
    int Layer = 0;
    int ZIndex = 0;
    int Sequence = 0; // order in the file
    TChunkRef Chunk;
};

struct TLinkCel
{
    int Frame = 0;
    int Layer = 0;
    TChunkRef Chunk;
};

struct TRgba
{
    uint8_t R = 0, G = 0, B = 0, A = 255;
};

class TAseReader
{
public:
    TAseReader(const uint8_t* data, size_t size, std::string& why)
        : FData(data), FSize(size), FWhy(why)
    {
    }

    bool Read();
    TAseResult Render(uint8_t* rows, size_t rowsSize, TAseProgress progress, void* context);

private:
    bool Refuse(const char* why)
    {
        FWhy = why;
        return false;
    }
    bool ReadFrames();
    bool ReadFirstFrameChunk(uint16_t type, const TChunkRef& chunk);
    bool ReadLayer(const TChunkRef& chunk);
    bool ReadPalette(const TChunkRef& chunk);
    bool ReadOldPalette(const TChunkRef& chunk, bool sixBits);
    bool LinkLayers();
    // Follows a linked cel to the cel holding the pixels.
    bool ResolveLink(int layer, TChunkRef& chunk);
    bool DrawCel(const TCel& cel, uint8_t* rows);
    bool DrawRow(const uint8_t* pixels, int width, int x, uint8_t* dibRow, uint8_t opacity,
                 bool background);

    const uint8_t* FData;
    size_t FSize;
    std::string& FWhy;

    TAseHead FHead;
    uint32_t FFlags = 0;
    uint8_t FTransparentIndex = 0;
    size_t FStride = 0;

    std::vector<TLayer> FLayers;
    std::vector<TCel> FCels;          // of the first frame
    std::vector<TLinkCel> FOtherCels; // of the other frames, for links
    std::array<TRgba, 256> FPalette{};
    int FPaletteSize = 0;
    bool FHasNewPalette = false;
    std::array<TRgba, 256> FOldPalette{};
    int FOldPaletteSize = 0;
};

bool TAseReader::Read()
{
    if (!ReadAseHead(FData, FSize, FHead, FWhy)) {
        return false;
    }
    FFlags = Dword(FData + 14);
    FTransparentIndex = FData[28];
    FStride = AseDibStride(FHead.Width);
    if (!ReadFrames()) {
        return false;
    }
    if (!FHasNewPalette) {
        FPalette = FOldPalette;
        FPaletteSize = FOldPaletteSize;
    }
    return LinkLayers();
}

bool TAseReader::ReadFrames()
{
    size_t pos = HeaderSize;
    for (int frame = 0; frame < FHead.Frames; ++frame) {
        if (FSize - pos < FrameHeaderSize) {
            return Refuse("the file ends inside a frame header");
        }
        const uint8_t* f = FData + pos;
        const uint32_t frameBytes = Dword(f);
        if (Word(f + 4) != FrameMagic) {
            return Refuse("a frame header has the wrong magic number");
        }
        if (frameBytes < FrameHeaderSize || frameBytes > FSize - pos) {
            return Refuse("the file is shorter than its frames say");
        }
        const uint32_t newCount = Dword(f + 12);
        const uint32_t chunks = newCount != 0 ? newCount : Word(f + 6);
        const size_t frameEnd = pos + frameBytes;
        size_t at = pos + FrameHeaderSize;
        for (uint32_t i = 0; i < chunks; ++i) {
            if (frameEnd - at < ChunkHeaderSize) {
                return Refuse("a frame holds fewer chunks than it says");
            }
            const uint32_t chunkBytes = Dword(FData + at);
            if (chunkBytes < ChunkHeaderSize || chunkBytes > frameEnd - at) {
                return Refuse("a chunk runs past the end of its frame");
            }
            const uint16_t type = Word(FData + at + 4);
            const TChunkRef chunk{at + ChunkHeaderSize, chunkBytes - ChunkHeaderSize};
            if (frame == 0) {
                if (!ReadFirstFrameChunk(type, chunk)) {
                    return false;
                }
            } else if (type == ChunkCel && chunk.Size >= CelHeaderSize) {
                FOtherCels.push_back({frame, Word(FData + chunk.Offset), chunk});
            }
            at += chunkBytes;
        }
        pos = frameEnd;
    }
    return true;
}

bool TAseReader::ReadFirstFrameChunk(uint16_t type, const TChunkRef& chunk)
{
    switch (type) {
    case ChunkLayer:
        return ReadLayer(chunk);
    case ChunkCel: {
        if (chunk.Size < CelHeaderSize) {
            return Refuse("a cel chunk is too short");
        }
        const uint8_t* c = FData + chunk.Offset;
        FCels.push_back({Word(c), int16_t(Word(c + 9)), int(FCels.size()), chunk});
        return true;
    }
    case ChunkPalette:
        return ReadPalette(chunk);
    case ChunkOldPalette:
        return ReadOldPalette(chunk, false);
    case ChunkOldPalette64:
        return ReadOldPalette(chunk, true);
    default:
        // Tags, slices, user data, colour profiles and the like do not change the pixels.
        return true;
    }
}

bool TAseReader::ReadLayer(const TChunkRef& chunk)
{
    if (chunk.Size < 16) {
        return Refuse("a layer chunk is too short");
    }
    const uint8_t* l = FData + chunk.Offset;
    TLayer layer;
    layer.Flags = Word(l);
    layer.Type = Word(l + 2);
    layer.Level = Word(l + 4);
    layer.Blend = Word(l + 10);
    layer.Opacity = (FFlags & 1) != 0 ? l[12] : 255;
    FLayers.push_back(layer);
    return true;
}

bool TAseReader::ReadPalette(const TChunkRef& chunk)
{
    if (chunk.Size < 20) {
        return Refuse("a palette chunk is too short");
    }
    const uint8_t* p = FData + chunk.Offset;
    const uint32_t newSize = Dword(p);
    const uint32_t first = Dword(p + 4);
    const uint32_t last = Dword(p + 8);
    if (first > last || last >= newSize) {
        return Refuse("a palette chunk has a wrong range of entries");
    }
    size_t at = 20;
    for (uint32_t i = first; i <= last && i < 256; ++i) {
        if (chunk.Size - at < 6) {
            return Refuse("a palette chunk is shorter than its entries");
        }
        const uint16_t flags = Word(p + at);
        FPalette[i] = {p[at + 2], p[at + 3], p[at + 4], p[at + 5]};
        at += 6;
        if ((flags & 1) != 0) {
            if (chunk.Size - at < 2 || chunk.Size - at - 2 < Word(p + at)) {
                return Refuse("a palette entry's name runs past its chunk");
            }
            at += 2 + size_t(Word(p + at));
        }
    }
    FPaletteSize = int(std::min<uint32_t>(newSize, 256));
    FHasNewPalette = true;
    return true;
}

bool TAseReader::ReadOldPalette(const TChunkRef& chunk, bool sixBits)
{
    if (chunk.Size < 2) {
        return Refuse("a palette chunk is too short");
    }
    const uint8_t* p = FData + chunk.Offset;
    const unsigned packets = Word(p);
    size_t at = 2;
    unsigned index = 0;
    for (unsigned k = 0; k < packets; ++k) {
        if (chunk.Size - at < 2) {
            return Refuse("a palette chunk is shorter than its packets");
        }
        index += p[at];
        const unsigned count = p[at + 1] == 0 ? 256 : p[at + 1];
        at += 2;
        if ((chunk.Size - at) / 3 < count) {
            return Refuse("a palette chunk is shorter than its packets");
        }
        for (unsigned i = 0; i < count; ++i, ++index, at += 3) {
            if (index >= 256) {
                return Refuse("a palette chunk has more than 256 colours");
            }
            auto scale = [sixBits](uint8_t v) {
                return sixBits ? uint8_t((std::min<unsigned>(v, 63) * 255 + 31) / 63) : v;
            };
            FOldPalette[index] = {scale(p[at]), scale(p[at + 1]), scale(p[at + 2]), 255};
        }
        FOldPaletteSize = std::max(FOldPaletteSize, int(index));
    }
    return true;
}

bool TAseReader::LinkLayers()
{
    std::vector<int> groupAtLevel;
    for (size_t i = 0; i < FLayers.size(); ++i) {
        TLayer& layer = FLayers[i];
        const size_t level = size_t(layer.Level);
        if (level > groupAtLevel.size()) {
            return Refuse("a layer sits deeper than the group above it");
        }
        groupAtLevel.resize(level);
        layer.Parent = level == 0 ? -1 : groupAtLevel[level - 1];
        if (layer.Parent >= 0 && FLayers[size_t(layer.Parent)].Type != LayerGroup) {
            return Refuse("a layer sits below a layer that is not a group");
        }
        const bool parentShown = layer.Parent < 0 || FLayers[size_t(layer.Parent)].Shown;
        // Reference layers are guides for drawing, never part of the picture.
        layer.Shown =
            parentShown && (layer.Flags & LayerVisible) != 0 && (layer.Flags & LayerReference) == 0;
        groupAtLevel.push_back(int(i));
    }
    return true;
}

bool TAseReader::ResolveLink(int layer, TChunkRef& chunk)
{
    // Each step must land on another frame's cel; a chain longer than the frames loops.
    for (int hops = 0; hops <= FHead.Frames; ++hops) {
        const uint8_t* c = FData + chunk.Offset;
        if (Word(c + 7) != CelLinked) {
            return true;
        }
        if (chunk.Size < CelHeaderSize + 2) {
            return Refuse("a linked cel is too short");
        }
        const int frame = Word(c + CelHeaderSize);
        auto found = std::find_if(FOtherCels.begin(), FOtherCels.end(), [&](const TLinkCel& o) {
            return o.Frame == frame && o.Layer == layer;
        });
        if (found == FOtherCels.end()) {
            return Refuse("a linked cel points to a frame without a cel on its layer");
        }
        chunk = found->Chunk;
    }
    return Refuse("linked cels point to each other in a loop");
}

TAseResult TAseReader::Render(uint8_t* rows, size_t rowsSize, TAseProgress progress, void* context)
{
    const size_t need = FStride * size_t(FHead.Height);
    if (rowsSize < need) {
        FWhy = "the picture's rows do not fit the block given";
        return TAseResult::Refused;
    }
    // White, with the padding of each row zero.
    for (int y = 0; y < FHead.Height; ++y) {
        uint8_t* row = rows + size_t(y) * FStride;
        std::memset(row, 0xFF, size_t(FHead.Width) * 3);
        std::memset(row + size_t(FHead.Width) * 3, 0, FStride - size_t(FHead.Width) * 3);
    }

    // Back to front: layer order, moved by each cel's z-index.
    std::vector<TCel> order = FCels;
    std::stable_sort(order.begin(), order.end(), [](const TCel& a, const TCel& b) {
        const int oa = a.Layer + a.ZIndex;
        const int ob = b.Layer + b.ZIndex;
        return oa != ob ? oa < ob : a.ZIndex < b.ZIndex;
    });

    const int total = int(order.size());
    int done = 0;
    for (const TCel& cel : order) {
        if (!DrawCel(cel, rows)) {
            return TAseResult::Refused;
        }
        ++done;
        if (progress != nullptr && progress(done, total, context)) {
            return TAseResult::Aborted;
        }
    }
    return TAseResult::Ok;
}

bool TAseReader::DrawCel(const TCel& cel, uint8_t* rows)
{
    if (cel.Layer >= int(FLayers.size())) {
        return Refuse("a cel belongs to a layer the file does not have");
    }
    const TLayer& layer = FLayers[size_t(cel.Layer)];
    if (!layer.Shown || layer.Type == LayerGroup) {
        return true;
    }
    if (layer.Type == LayerTilemap) {
        return Refuse("tilemap layers are not supported");
    }
    if (layer.Type != LayerImage) {
        return Refuse("the file has a layer of an unknown type");
    }
    if (layer.Blend != 0) {
        return Refuse("blend modes other than normal are not supported");
    }
    for (int g = layer.Parent; g >= 0; g = FLayers[size_t(g)].Parent) {
        if (FLayers[size_t(g)].Opacity != 255 || FLayers[size_t(g)].Blend != 0) {
            return Refuse("groups with their own opacity or blend mode are not supported");
        }
    }

    TChunkRef chunk = cel.Chunk;
    if (!ResolveLink(cel.Layer, chunk)) {
        return false;
    }
    const uint8_t* c = FData + chunk.Offset;
    const int celX = int16_t(Word(c + 2));
    const int celY = int16_t(Word(c + 4));
    const uint8_t opacity = Mul255(c[6], layer.Opacity);
    const uint16_t type = Word(c + 7);
    if (opacity == 0) {
        return true;
    }
    if (type == CelTilemap) {
        return Refuse("tilemap cels are not supported");
    }
    if (type != CelRaw && type != CelCompressed) {
        return Refuse("a cel has an unknown type");
    }
    if (chunk.Size < CelHeaderSize + 4) {
        return Refuse("a cel is too short for its size");
    }
    const int width = Word(c + CelHeaderSize);
    const int height = Word(c + CelHeaderSize + 2);
    const size_t bpp = size_t(FHead.Depth / 8);
    const size_t rowBytes = size_t(width) * bpp;
    const uint8_t* pixels = c + CelHeaderSize + 4;
    const size_t pixelBytes = chunk.Size - CelHeaderSize - 4;
    if (width == 0 || height == 0) {
        return true;
    }
    const bool background = (layer.Flags & LayerBackground) != 0;

    auto drawRow = [&](const uint8_t* row, int y) {
        const int canvasY = celY + y;
        if (canvasY < 0 || canvasY >= FHead.Height) {
            return true;
        }
        uint8_t* dibRow = rows + size_t(FHead.Height - 1 - canvasY) * FStride;
        return DrawRow(row, width, celX, dibRow, opacity, background);
    };

    if (type == CelRaw) {
        if (uint64_t(rowBytes) * uint64_t(height) > pixelBytes) {
            return Refuse("a cel holds fewer pixels than its size");
        }
        for (int y = 0; y < height; ++y) {
            if (!drawRow(pixels + size_t(y) * rowBytes, y)) {
                return false;
            }
        }
        return true;
    }

    // Inflated a row at a time: a cel never needs more memory than one of its rows.
    std::vector<uint8_t> row(rowBytes);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        return Refuse("the decompressor could not start");
    }
    z.next_in = const_cast<Bytef*>(pixels);
    size_t inLeft = pixelBytes;
    bool ok = true;
    for (int y = 0; y < height && ok; ++y) {
        z.next_out = row.data();
        z.avail_out = uInt(rowBytes);
        while (z.avail_out > 0) {
            if (z.avail_in == 0) {
                const size_t step = std::min<size_t>(inLeft, std::numeric_limits<uInt>::max());
                z.avail_in = uInt(step);
                inLeft -= step;
            }
            const int r = inflate(&z, Z_NO_FLUSH);
            if (r == Z_STREAM_END && z.avail_out > 0) {
                ok = Refuse("a compressed cel holds fewer pixels than its size");
                break;
            }
            if (r != Z_OK && r != Z_STREAM_END) {
                ok = Refuse(r == Z_BUF_ERROR ? "a compressed cel is cut short"
                                             : "a compressed cel is damaged");
                break;
            }
        }
        if (ok) {
            ok = drawRow(row.data(), y);
        }
    }
    inflateEnd(&z);
    return ok;
}

bool TAseReader::DrawRow(const uint8_t* pixels, int width, int x, uint8_t* dibRow, uint8_t opacity,
                         bool background)
{
    const int from = std::max(0, -x);
    const int to = std::min(width, FHead.Width - x);
    for (int i = from; i < to; ++i) {
        TRgba s;
        switch (FHead.Depth) {
        case 32: {
            const uint8_t* p = pixels + size_t(i) * 4;
            s = {p[0], p[1], p[2], p[3]};
            break;
        }
        case 16: {
            const uint8_t* p = pixels + size_t(i) * 2;
            s = {p[0], p[0], p[0], p[1]};
            break;
        }
        default: {
            const uint8_t index = pixels[i];
            if (index == FTransparentIndex && !background) {
                continue;
            }
            if (index >= FPaletteSize) {
                return Refuse("a pixel's colour index lies outside the palette");
            }
            s = FPalette[index];
            break;
        }
        }
        const unsigned a = Mul255(s.A, opacity);
        if (a == 0) {
            continue;
        }
        uint8_t* d = dibRow + size_t(x + i) * 3;
        const unsigned na = 255 - a;
        d[0] = uint8_t((s.B * a + d[0] * na + 127) / 255);
        d[1] = uint8_t((s.G * a + d[1] * na + 127) / 255);
        d[2] = uint8_t((s.R * a + d[2] * na + 127) / 255);
    }
    return true;
}

} // namespace

bool LooksLikeAse(const uint8_t* head, size_t size)
{
    if (size < HeaderSize + FrameHeaderSize) {
        return false;
    }
    const uint16_t depth = Word(head + 12);
    return Word(head + 4) == FileMagic && Word(head + HeaderSize + 4) == FrameMagic &&
           (depth == 8 || depth == 16 || depth == 32);
}

bool ReadAseHead(const uint8_t* data, size_t size, TAseHead& head, std::string& why)
{
    if (size < HeaderSize) {
        why = "the file is shorter than its header";
        return false;
    }
    if (Word(data + 4) != FileMagic) {
        why = "the file is not an Aseprite sprite";
        return false;
    }
    head.Frames = Word(data + 6);
    head.Width = Word(data + 8);
    head.Height = Word(data + 10);
    head.Depth = Word(data + 12);
    if (head.Depth != 8 && head.Depth != 16 && head.Depth != 32) {
        why = "the sprite has an unknown colour depth";
        return false;
    }
    if (head.Frames == 0 || head.Width == 0 || head.Height == 0) {
        why = "the sprite has no frame or no pixels";
        return false;
    }
    if (uint64_t(AseDibStride(head.Width)) * uint64_t(head.Height) > MaxPictureBytes) {
        why = "the picture is larger than 2 GB";
        return false;
    }
    return true;
}

size_t AseDibStride(int width)
{
    return (size_t(width) * 3 + 3) / 4 * 4;
}

TAseResult RenderAse(const uint8_t* data, size_t size, uint8_t* rows, size_t rowsSize,
                     TAseProgress progress, void* context, std::string& why)
{
    TAseReader reader(data, size, why);
    if (!reader.Read()) {
        return TAseResult::Refused;
    }
    return reader.Render(rows, rowsSize, progress, context);
}

} // namespace ase
