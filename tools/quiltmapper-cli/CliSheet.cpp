#include "CliSheet.h"

#include "PartsStore.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr int Side = TPartsStore::SheetSide;

// A white sheet with the placeholders of the parts `placeholder` names. Placeholders show
// their number at the top left and are white beyond it: a small store draws that corner.
QImage blankSheet(uint16_t partWidth, uint16_t partHeight, const std::array<bool, 256>& placeholder,
                  const TPictureFormats& formats)
{
    QImage sheet(Side * partWidth, Side * partHeight, QImage::Format_RGB32);
    if (sheet.isNull())
        throw std::bad_alloc();
    sheet.fill(0xffffffffu);
    if (std::none_of(placeholder.begin(), placeholder.end(), [](bool b) { return b; }))
        return sheet;
    TPartsStore corners(formats);
    corners.SetPartsSize(std::min<uint16_t>(partWidth, 64), std::min<uint16_t>(partHeight, 32));
    for (int n = 0; n < 256; ++n) {
        if (!placeholder[size_t(n)])
            continue;
        const QImage& corner = corners.PartBitmap(n);
        const int x = (n % Side) * partWidth;
        const int y = (n / Side) * partHeight;
        for (int row = 0; row < corner.height(); ++row)
            std::memcpy(sheet.scanLine(y + row) + qsizetype(x) * 4, corner.constScanLine(row),
                        size_t(corner.width()) * 4);
    }
    return sheet;
}

// Copies the rows [0, area.height()) of `from`'s area into the sheet at `to`, converted to
// RGB32 a band of rows at a time.
void copyInto(QImage& sheet, const QImage& from, const QRect& area, QPoint to)
{
    constexpr int BandRows = 64;
    for (int y0 = 0; y0 < area.height(); y0 += BandRows) {
        const int rows = std::min(BandRows, area.height() - y0);
        const QRect band(area.x(), area.y() + y0, area.width(), rows);
        QImage pixels = from.format() == QImage::Format_RGB32
                            ? from
                            : from.copy(band).convertToFormat(QImage::Format_RGB32);
        if (pixels.isNull())
            throw std::bad_alloc();
        const QPoint origin = from.format() == QImage::Format_RGB32 ? band.topLeft() : QPoint();
        for (int r = 0; r < rows; ++r)
            std::memcpy(sheet.scanLine(to.y() + y0 + r) + qsizetype(to.x()) * 4,
                        pixels.constScanLine(origin.y() + r) + qsizetype(origin.x()) * 4,
                        size_t(band.width()) * 4);
    }
}

} // namespace

QImage SheetFromPicture(QImage picture, uint16_t partWidth, uint16_t partHeight,
                        const TPictureFormats& formats)
{
    const QSize sheetSize(Side * partWidth, Side * partHeight);
    if (picture.size() == sheetSize) {
        // In place for the 32-bit formats a PNG or BMP decodes to.
        QImage sheet = std::move(picture).convertToFormat(QImage::Format_RGB32);
        if (sheet.isNull())
            throw std::bad_alloc();
        return sheet;
    }
    std::array<bool, 256> placeholder{};
    for (int n = 0; n < 256; ++n)
        placeholder[size_t(n)] = (n % Side) * partWidth >= picture.width() ||
                                 (n / Side) * partHeight >= picture.height();
    QImage sheet = blankSheet(partWidth, partHeight, placeholder, formats);
    const QRect used = picture.rect() & sheet.rect();
    copyInto(sheet, picture, used, QPoint(0, 0));
    return sheet;
}

QImage SheetFromParts(const std::array<QImage, 256>& parts, uint16_t partWidth, uint16_t partHeight,
                      const TPictureFormats& formats)
{
    std::array<bool, 256> placeholder{};
    for (int n = 0; n < 256; ++n)
        placeholder[size_t(n)] = parts[size_t(n)].isNull();
    QImage sheet = blankSheet(partWidth, partHeight, placeholder, formats);
    for (int n = 0; n < 256; ++n) {
        const QImage& part = parts[size_t(n)];
        if (part.isNull())
            continue;
        const QRect area = part.rect() & QRect(0, 0, partWidth, partHeight);
        copyInto(sheet, part, area, QPoint((n % Side) * partWidth, (n / Side) * partHeight));
    }
    return sheet;
}
