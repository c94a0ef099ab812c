#pragma once

// Reads the first frame of an Aseprite sprite (.aseprite, .ase) and draws it onto white as
// 24-bit device-independent bitmap rows. Only what can be drawn exactly is drawn: visible
// image layers in normal blend mode with their layer and cel opacity, in RGBA, grayscale or
// indexed colour, from raw, zlib-compressed or linked cels. Anything else that would show
// in the frame (another blend mode, a tilemap, a group with its own opacity) is refused
// with a reason. The data is untrusted: every size and offset is checked against its length.

#include <cstddef>
#include <cstdint>
#include <string>

namespace ase {

struct TAseHead
{
    int Width = 0;
    int Height = 0;
    int Depth = 0; // 32 RGBA, 16 grayscale, 8 indexed
    int Frames = 0;
};

enum class TAseResult
{
    Ok,
    Refused, // the reason says why
    Aborted, // the progress callback asked to stop
};

// Called after each cel with the cels drawn so far and their number; true stops drawing.
using TAseProgress = bool (*)(int done, int total, void* context);

// Whether a file's beginning (at least 2048 bytes, zero-padded) holds the magic numbers of
// the file header and of the first frame, and a colour depth the format has.
bool LooksLikeAse(const uint8_t* head, size_t size);

// Reads and checks the 128-byte file header.
bool ReadAseHead(const uint8_t* data, size_t size, TAseHead& head, std::string& why);

// Bytes of one 24-bit row, padded to 4 bytes.
size_t AseDibStride(int width);

// Draws the first frame onto white into rows (bottom row first, blue-green-red), which
// must hold AseDibStride(width) * height bytes. On refusal the rows are left half drawn.
TAseResult RenderAse(const uint8_t* data, size_t size, uint8_t* rows, size_t rowsSize,
                     TAseProgress progress, void* context, std::string& why);

} // namespace ase
