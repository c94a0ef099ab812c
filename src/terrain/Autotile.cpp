#include "Autotile.h"

#include "TransposeBytes.h"

#include <algorithm>
#include <climits>
#include <unordered_map>
#include <vector>

namespace {

// Cell rows worked out before they are turned into the map's columns.
constexpr int BandRows = 64;

// The set's colour numbers of a picture's rows, converted once each.
class TColorRows
{
public:
    TColorRows(const QImage& picture, const TWangSet& set) : FPicture(picture), FSet(set)
    {
        for (size_t i = 0; i < set.Colors.size(); ++i)
            FIndex.emplace(set.Colors[i].Color.rgb() & 0xffffff, uint8_t(i + 1));
        for (Row& r : FRows)
            r.Colors.resize(size_t(picture.width()));
    }

    // The colours of row y, or nullptr after setting Error.
    const uint8_t* row(int y)
    {
        for (Row& r : FRows) {
            if (r.Y == y)
                return r.Colors.data();
        }
        Row& r = FRows[FNext];
        FNext = (FNext + 1) % 3;
        const QRgb* pixels = reinterpret_cast<const QRgb*>(FPicture.constScanLine(y));
        QRgb last = 0xffffffff;
        uint8_t lastIndex = 0;
        for (int x = 0; x < FPicture.width(); ++x) {
            const QRgb rgb = pixels[x] & 0xffffff;
            if (rgb != last) {
                const auto it = FIndex.find(rgb);
                if (it == FIndex.end()) {
                    Error = QStringLiteral("the pixel at (%1, %2) is %3, no terrain of the set %4")
                                .arg(x)
                                .arg(y)
                                .arg(QColor(rgb).name(), FSet.Name);
                    return nullptr;
                }
                last = rgb;
                lastIndex = it->second;
            }
            r.Colors[size_t(x)] = lastIndex;
        }
        r.Y = y;
        return r.Colors.data();
    }

    QString Error;

private:
    struct Row
    {
        int Y = -1;
        std::vector<uint8_t> Colors;
    };
    const QImage& FPicture;
    const TWangSet& FSet;
    std::unordered_map<QRgb, uint8_t> FIndex;
    Row FRows[3];
    int FNext = 0;
};

} // namespace

QSize AutotileMapSize(QSize picture, const TWangSet& set)
{
    if (set.Type == TWangType::Corner)
        return picture.width() >= 2 && picture.height() >= 2
                   ? QSize(picture.width() - 1, picture.height() - 1)
                   : QSize();
    if (picture.width() < 3 || picture.height() < 3 || picture.width() % 2 == 0 ||
        picture.height() % 2 == 0)
        return QSize();
    return QSize((picture.width() - 1) / 2, (picture.height() - 1) / 2);
}

TAutotileResult AutotileCells(const QImage& source, const TWangSet& set,
                              const TWangMatcher& matcher, std::span<uint8_t> cells, TCellRng* rng)
{
    TAutotileResult result;
    const QSize size = AutotileMapSize(source.size(), set);
    const int w = size.width();
    const int h = size.height();
    if (size.isEmpty() || cells.size() != size_t(w) * size_t(h)) {
        result.Error = QStringLiteral("the picture's size does not fit the terrain set");
        return result;
    }
    const QImage picture =
        source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
            ? source
            : source.convertToFormat(QImage::Format_RGB32);
    TColorRows rows(picture, set);
    const bool corner = set.Type == TWangType::Corner;
    const uint8_t mask = matcher.PlaceMask();

    // Requirements seen, by their colours: a table when the colours are few, else a map.
    const int base = matcher.ColorCount() + 1;
    const int places = corner || set.Type == TWangType::Edge ? 4 : 8;
    size_t tableSize = 1;
    for (int i = 0; i < places && tableSize <= (size_t(1) << 20); ++i)
        tableSize *= size_t(base);
    const bool dense = tableSize <= (size_t(1) << 20);
    constexpr int32_t Unknown = INT32_MIN;
    std::vector<int32_t> table(dense ? tableSize : 0, Unknown);
    std::unordered_map<uint64_t, int32_t> seen;

    std::vector<uint8_t> band(size_t(w) * BandRows);
    for (int y0 = 0; y0 < h; y0 += BandRows) {
        const int bandRows = std::min(BandRows, h - y0);
        for (int by = 0; by < bandRows; ++by) {
            const int y = y0 + by;
            // The picture rows of the cells' top, middle and bottom places.
            const uint8_t* top = rows.row(corner ? y : 2 * y);
            const uint8_t* middle = corner ? nullptr : rows.row(2 * y + 1);
            const uint8_t* bottom = rows.row(corner ? y + 1 : 2 * y + 2);
            if (!top || !bottom || (!corner && !middle)) {
                result.Error = rows.Error;
                return result;
            }
            uint8_t* out = &band[size_t(by) * size_t(w)];
            for (int x = 0; x < w; ++x) {
                TWangId id;
                if (corner) {
                    id = {0, top[x + 1], 0, bottom[x + 1], 0, bottom[x], 0, top[x]};
                } else {
                    const int l = 2 * x;
                    id = {top[l + 1],    top[l + 2], middle[l + 2], bottom[l + 2],
                          bottom[l + 1], bottom[l],  middle[l],     top[l]};
                }
                int32_t* entry = nullptr;
                if (dense) {
                    size_t key = 0;
                    for (int i = 7; i >= 0; --i) {
                        if (mask >> i & 1)
                            key = key * size_t(base) + id[i];
                    }
                    entry = &table[key];
                } else {
                    entry = &seen.try_emplace(matcher.Key(id), Unknown).first->second;
                }
                if (*entry == Unknown) {
                    // The list when random placement draws, else the part itself; -1 - part
                    // for a requirement no part fits.
                    const int list = matcher.ListOf(id);
                    if (list < 0)
                        *entry = -1 - int32_t(matcher.Nearest(id));
                    else
                        *entry = rng ? list : matcher.Pick(list, nullptr);
                }
                const int32_t e = *entry;
                if (e < 0) {
                    out[x] = uint8_t(-1 - e);
                    ++result.Unmatched;
                } else {
                    out[x] = rng ? matcher.Pick(e, rng) : uint8_t(e);
                }
            }
        }
        TransposeBytes(band.data(), size_t(w), &cells[size_t(y0)], size_t(h), size_t(bandRows),
                       size_t(w));
    }
    return result;
}
