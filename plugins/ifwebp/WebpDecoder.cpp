#include "WebpDecoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <webp/decode.h>

namespace webpdib {

namespace {

// A 24-bit picture above this many bytes is refused, as the program refuses it.
constexpr uint64_t MaxPictureBytes = 0x7FFFFFFF;

// How many pieces the data is fed in, so that progress can be told and decoding stopped.
constexpr size_t ProgressSteps = 16;

const char* StatusText(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
        return "the decoder ran out of memory";
    case VP8_STATUS_INVALID_PARAM:
        return "the decoder was given an unusable buffer";
    case VP8_STATUS_BITSTREAM_ERROR:
        return "the picture's data is damaged";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return "the picture uses a WebP feature that is not supported (animation?)";
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return "the picture's data is cut short";
    default:
        return "the picture cannot be decoded";
    }
}

// Premultiplied 32-bit rows (blue, green, red, alpha; rows of 4 * width bytes) into padded
// 24-bit rows at the same block's start, each pixel over white: c + (255 - alpha). The
// 24-bit rows are never longer than the 32-bit ones, so writing front to back never
// overwrites a pixel not yet read.
void FlattenOntoWhite(uint8_t* block, int width, int height)
{
    const size_t from = size_t(width) * 4;
    const size_t to = WebpDibStride(width);
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = block + size_t(y) * from;
        uint8_t* d = block + size_t(y) * to;
        for (int x = 0; x < width; ++x, s += 4, d += 3) {
            const uint8_t white = uint8_t(255 - s[3]);
            d[0] = uint8_t(s[0] + white);
            d[1] = uint8_t(s[1] + white);
            d[2] = uint8_t(s[2] + white);
        }
        std::memset(d, 0, to - size_t(width) * 3);
    }
}

struct TDecoderDeleter
{
    void operator()(WebPIDecoder* d) const { WebPIDelete(d); }
};

} // namespace

bool LooksLikeWebp(const uint8_t* head, size_t size)
{
    return size >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0;
}

bool ReadWebpHead(const uint8_t* data, size_t size, TWebpHead& head, std::string& why)
{
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(data, size, &features);
    if (status != VP8_STATUS_OK) {
        why = StatusText(status);
        return false;
    }
    if (features.has_animation) {
        why = "animated WebP pictures are not supported";
        return false;
    }
    if (features.width <= 0 || features.height <= 0) {
        why = "the picture has no pixels";
        return false;
    }
    head.Width = features.width;
    head.Height = features.height;
    head.HasAlpha = features.has_alpha != 0;
    if (uint64_t(WebpDibStride(head.Width)) * uint64_t(head.Height) > MaxPictureBytes ||
        WebpBlockSize(head) > MaxPictureBytes) {
        why = "the picture is larger than 2 GB";
        return false;
    }
    return true;
}

size_t WebpDibStride(int width)
{
    return (size_t(width) * 3 + 3) / 4 * 4;
}

size_t WebpBlockSize(const TWebpHead& head)
{
    const size_t rows = WebpDibStride(head.Width) * size_t(head.Height);
    return head.HasAlpha ? std::max(rows, size_t(head.Width) * 4 * size_t(head.Height)) : rows;
}

TWebpResult DecodeWebp(const uint8_t* data, size_t size, const TWebpHead& head, uint8_t* block,
                       size_t blockSize, TWebpProgress progress, void* context, std::string& why)
{
    if (blockSize < WebpBlockSize(head)) {
        why = "the picture's rows do not fit the block given";
        return TWebpResult::Refused;
    }
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        why = "the WebP library does not match its header";
        return TWebpResult::Refused;
    }
    // Straight into the caller's rows, bottom row first.
    config.options.flip = 1;
    config.output.is_external_memory = 1;
    // Premultiplied, the flattening is one addition per component.
    config.output.colorspace = head.HasAlpha ? MODE_bgrA : MODE_BGR;
    config.output.u.RGBA.rgba = block;
    config.output.u.RGBA.stride = head.HasAlpha ? head.Width * 4 : int(WebpDibStride(head.Width));
    config.output.u.RGBA.size = blockSize;

    std::unique_ptr<WebPIDecoder, TDecoderDeleter> decoder(WebPIDecode(nullptr, 0, &config));
    if (!decoder) {
        why = "the decoder could not start";
        return TWebpResult::Refused;
    }
    const size_t step = std::max<size_t>(size / ProgressSteps, 64 * 1024);
    size_t fed = 0;
    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    while (status == VP8_STATUS_SUSPENDED) {
        if (fed == size) {
            status = VP8_STATUS_NOT_ENOUGH_DATA;
            break;
        }
        fed = std::min(size, fed + step);
        // The data stays in place: the decoder reads the same block as it grows.
        status = WebPIUpdate(decoder.get(), data, fed);
        if (status == VP8_STATUS_SUSPENDED && progress != nullptr &&
            progress(int(fed * 1000 / size), 1000, context)) {
            return TWebpResult::Aborted;
        }
    }
    if (status != VP8_STATUS_OK) {
        why = StatusText(status);
        return TWebpResult::Refused;
    }
    if (progress != nullptr && progress(1000, 1000, context)) {
        return TWebpResult::Aborted;
    }
    if (head.HasAlpha) {
        FlattenOntoWhite(block, head.Width, head.Height);
    }
    return TWebpResult::Ok;
}

} // namespace webpdib
