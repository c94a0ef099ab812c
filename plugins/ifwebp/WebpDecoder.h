#pragma once

// Decodes a WebP picture (lossy or lossless, still) straight into 24-bit device-independent
// bitmap rows: bottom row first, blue-green-red, each row padded to 4 bytes. A picture with
// alpha is flattened onto white, as the rows have no alpha.

#include <cstddef>
#include <cstdint>
#include <string>

namespace webpdib {

struct TWebpHead
{
    int Width = 0;
    int Height = 0;
    bool HasAlpha = false;
};

enum class TWebpResult
{
    Ok,
    Refused, // the reason says why
    Aborted, // the progress callback asked to stop
};

// Called while decoding with the bytes decoded so far and the data's length; true stops.
using TWebpProgress = bool (*)(int done, int total, void* context);

// Whether a file's beginning holds a RIFF container of a WebP picture.
bool LooksLikeWebp(const uint8_t* head, size_t size);

bool ReadWebpHead(const uint8_t* data, size_t size, TWebpHead& head, std::string& why);

// Bytes of one 24-bit row, padded to 4 bytes.
size_t WebpDibStride(int width);

// The block the decoder needs for a picture: the 24-bit rows, or for a picture with alpha
// its 32-bit rows, which are then flattened into the 24-bit rows in place.
size_t WebpBlockSize(const TWebpHead& head);

// Decodes into block (at least WebpBlockSize(head) bytes); the 24-bit rows sit at its
// start. Progress is reported as the data is fed to the decoder in steps.
TWebpResult DecodeWebp(const uint8_t* data, size_t size, const TWebpHead& head, uint8_t* block,
                       size_t blockSize, TWebpProgress progress, void* context, std::string& why);

} // namespace webpdib
