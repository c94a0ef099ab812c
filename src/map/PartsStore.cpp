#include "PartsStore.h"

#include "FileWrite.h"
#include "PictureFormats.h"
#include "UndoHistory.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

constexpr QRgb White = 0xffffffff;
constexpr int BytesPerPixel = 4;

void checkPartNumber(int n)
{
    if (n < 0 || n >= TPartsStore::PartCount)
        throw std::out_of_range("part number out of range: " + std::to_string(n));
}

QList<int> selectionParts(int left, int top, int right, int bottom)
{
    QList<int> parts;
    for (int r = top; r <= bottom; ++r) {
        for (int c = left; c <= right; ++c)
            parts << r * TPartsStore::SheetSide + c;
    }
    return parts;
}

bool isValidSelection(int left, int top, int right, int bottom)
{
    const int last = TPartsStore::SheetSide - 1;
    return 0 <= left && left <= right && right <= last && 0 <= top && top <= bottom &&
           bottom <= last;
}

QImage makePlaceholder(int width, int height, int n)
{
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        throw std::bad_alloc();
    image.fill(White);

    QPainter painter(&image);
    QFont font;
    // A fixed pixel size keeps the placeholder the same on every screen, and without
    // antialiasing it holds only white and grey, like any picture the user edits by pixel.
    font.setPixelSize(12);
    font.setItalic(true);
    font.setUnderline(true);
    font.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(font);
    painter.setPen(QColor(128, 128, 128));
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(Qt::white);
    // Drawing inside the picture clips the number at the part's edges.
    painter.drawText(QRect(0, 0, width, height), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     QString::number(n));
    return image;
}

// The part of the width x height window at (x, y) that lies inside the source; empty when
// the window's top-left corner is right of or below the source, or when it misses the
// source entirely on the left or top. Computed wide so that no coordinate overflows.
QRect sourceOverlap(const QImage& source, int x, int y, int width, int height)
{
    if (x >= source.width() || y >= source.height())
        return {};
    const qint64 right = std::min<qint64>(qint64(x) + width, source.width());
    const qint64 bottom = std::min<qint64>(qint64(y) + height, source.height());
    const int left = std::max(x, 0);
    const int top = std::max(y, 0);
    if (right <= left || bottom <= top)
        return {};
    return QRect(left, top, int(right - left), int(bottom - top));
}

// Copies the window at (x, y) of an RGB32 source into part, whose pixels must already be
// writable (detached). area is the window's overlap with the source, given in the
// coordinates of the original picture; origin is where the source's (0, 0) lies in them.
void copyWindow(QImage& part, const QImage& source, const QPoint& origin, int x, int y,
                const QRect& area)
{
    // Pixels of the window outside the source become white, the paper of a fresh part.
    if (area.width() < part.width() || area.height() < part.height())
        part.fill(White);
    const qsizetype bytes = qsizetype(area.width()) * BytesPerPixel;
    for (int row = 0; row < area.height(); ++row) {
        const int sourceY = area.y() + row - origin.y();
        const int sourceX = area.x() - origin.x();
        uchar* to = part.scanLine(area.y() - y + row) + qsizetype(area.x() - x) * BytesPerPixel;
        const uchar* from = source.constScanLine(sourceY) + qsizetype(sourceX) * BytesPerPixel;
        std::memcpy(to, from, bytes);
    }
}

// The given region of a picture as RGB32; origin receives where the result's (0, 0) lies
// in the picture. An RGB32 picture is only shared, not copied: holding it keeps its pixels
// even when the picture is a part that the caller is about to overwrite.
QImage rgbRegion(const QImage& picture, const QRect& region, QPoint& origin)
{
    if (picture.format() == QImage::Format_RGB32) {
        origin = QPoint(0, 0);
        return picture;
    }
    origin = region.topLeft();
    QImage converted = picture.copy(region).convertToFormat(QImage::Format_RGB32);
    if (converted.isNull())
        throw std::bad_alloc();
    return converted;
}

// Gives the picture its own pixel buffer now, so that later writes cannot fail halfway.
bool makeWritable(QImage& picture)
{
    return picture.bits() != nullptr;
}

} // namespace

// The pictures a change of parts replaced, and for a load the name the parts had before.
// Undo swaps them with the parts' present ones, so that the step then holds them for redo.
class TPartsStore::TPartsStep : public TUndoStep
{
public:
    TPartsStep(TPartsStore* store, QList<int> parts, std::vector<QImage> pictures,
               std::optional<QString> fileName)
        : FStore(store), FParts(std::move(parts)), FPictures(std::move(pictures)),
          FFileName(std::move(fileName))
    {
        FBytes = qint64(sizeof(*this));
        for (const QImage& picture : FPictures)
            FBytes += picture.sizeInBytes();
    }

    void Undo() override { apply(); }
    void Redo() override { apply(); }
    qint64 Bytes() const override { return FBytes; }

private:
    void apply()
    {
        swap();
        FStore->stepApplied(FParts);
        if (FFileName) {
            // Saved now, the parts go to the picture they came from, not over the other one.
            std::swap(FStore->FFileName, *FFileName);
            emit FStore->fileNameRestored(FStore->FFileName);
            emit FStore->pictureFileMatched(FStore->FFileName);
        }
    }
    void swap()
    {
        for (qsizetype i = 0; i < FParts.size(); ++i) {
            QImage present = FStore->PartBitmaps[FParts[i]].copy();
            FStore->capturePart(FParts[i], FPictures[size_t(i)], 0, 0);
            FPictures[size_t(i)] = std::move(present);
        }
    }

    TPartsStore* FStore;
    QList<int> FParts;
    std::vector<QImage> FPictures;
    std::optional<QString> FFileName;
    qint64 FBytes = 0;
};

TPartsStore::~TPartsStore() = default;

TPartsStore::TPartsStore(const TPictureFormats& formats, QObject* parent)
    : QObject(parent), FFormats(formats)
{
    SetPartsSize(32, 32);
}

bool TPartsStore::PartSizeAllowed(int width, int height)
{
    return ::PartSizeAllowed(width, height);
}

void TPartsStore::SetPartsSize(uint16_t width, uint16_t height)
{
    // The rest of the program divides by the part size.
    if (width == 0 || height == 0)
        throw std::invalid_argument("part size must be at least 1 x 1");
    if (!PartSizeAllowed(width, height))
        throw std::length_error(PartSizeTooLargeText.toStdString());

    emit partsToChange(allParts());
    // Every new picture exists before anything changes, so a failed allocation leaves the
    // parts as they were.
    std::array<QImage, PartCount> fresh;
    for (int n = 0; n < PartCount; ++n)
        fresh[n] = makePlaceholder(width, height, n);

    FPartWidth = width;
    FPartHeight = height;
    PartBitmaps.swap(fresh);
    clearCopyBuffer();
    // The placeholders come from no file: saving them under the last picture's name would
    // write over that picture without a question.
    FFileName.clear();
    ClearPartsModified();
    emit partsResized();
    emit allPartsChanged();
}

void TPartsStore::ResetPart(int n)
{
    resetPart(n);
    emit partChanged(n);
}

void TPartsStore::resetPart(int n)
{
    checkPartNumber(n);
    PartBitmaps[n] = makePlaceholder(FPartWidth, FPartHeight, n);
}

QImage& TPartsStore::PartBitmap(int n)
{
    checkPartNumber(n);
    return PartBitmaps[n];
}

const QImage& TPartsStore::PartBitmap(int n) const
{
    checkPartNumber(n);
    return PartBitmaps[n];
}

void TPartsStore::CapturePart(int n, const QImage& source, int x, int y)
{
    if (capturePart(n, source, x, y))
        emit partChanged(n);
}

void TPartsStore::CaptureParts(const std::array<QImage, PartCount>& pictures)
{
    for (int n = 0; n < PartCount; ++n) {
        if (!pictures[size_t(n)].isNull())
            capturePart(n, pictures[size_t(n)], 0, 0);
    }
    emit allPartsChanged();
}

bool TPartsStore::capturePart(int n, const QImage& source, int x, int y)
{
    checkPartNumber(n);
    const QRect area = sourceOverlap(source, x, y, FPartWidth, FPartHeight);
    if (area.isEmpty())
        return false;
    QPoint origin;
    // Taken before the part is written: the source may be the part itself.
    const QImage pixels = rgbRegion(source, area, origin);
    QImage& part = PartBitmaps[n];
    if (!makeWritable(part))
        throw std::bad_alloc();
    copyWindow(part, pixels, origin, x, y, area);
    return true;
}

void TPartsStore::ExchangeParts(int a, int b)
{
    checkPartNumber(a);
    checkPartNumber(b);
    if (a == b)
        return;
    // Pixels only: others may hold references to the two picture objects.
    const QImage saved = PartBitmaps[b].copy();
    capturePart(b, PartBitmaps[a], 0, 0);
    capturePart(a, saved, 0, 0);
    emit partChanged(a);
    emit partChanged(b);
}

void TPartsStore::DrawPart(QPainter& canvas, const QRect& target, int n) const
{
    const QImage& part = PartBitmap(n);
    // Parts are pixel art: every target pixel takes one source pixel.
    const bool smooth = canvas.testRenderHint(QPainter::SmoothPixmapTransform);
    if (smooth)
        canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
    canvas.drawImage(target, part);
    if (smooth)
        canvas.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

void TPartsStore::DrawPart(QPainter& canvas, const QRect& target, int n, TCopyMode mode) const
{
    checkPartNumber(n);
    const QPainter::CompositionMode previous = canvas.compositionMode();
    ApplyCopyMode(canvas, mode);
    if (mode == cmPatCopy)
        canvas.fillRect(target, canvas.brush());
    else
        DrawPart(canvas, target, n);
    canvas.setCompositionMode(previous);
}

void TPartsStore::DrawPartZoomed(QPainter& canvas, const QRect& target, int n, int zoomSize) const
{
    checkPartNumber(n);
    if (zoomSize <= 0)
        return;
    DrawPart(canvas, QRect(target.topLeft(), QSize(zoomSize, zoomSize)), n);
}

bool TPartsStore::sliceInto(const QImage& picture)
{
    const QRect used =
        picture.rect() & QRect(0, 0, SheetSide * FPartWidth, SheetSide * FPartHeight);
    if (used.isEmpty())
        return true;

    // Everything that may fail for want of memory happens before the first pixel changes.
    QPoint origin;
    QImage pixels;
    try {
        pixels = rgbRegion(picture, used, origin);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::array<QRect, PartCount> areas;
    for (int n = 0; n < PartCount; ++n) {
        const int x = (n % SheetSide) * FPartWidth;
        const int y = (n / SheetSide) * FPartHeight;
        areas[n] = sourceOverlap(picture, x, y, FPartWidth, FPartHeight);
        if (!areas[n].isEmpty() && !makeWritable(PartBitmaps[n]))
            return false;
    }

    for (int n = 0; n < PartCount; ++n) {
        if (areas[n].isEmpty())
            continue;
        copyWindow(PartBitmaps[n], pixels, origin, (n % SheetSide) * FPartWidth,
                   (n / SheetSide) * FPartHeight, areas[n]);
    }
    return true;
}

void TPartsStore::SlicePartsPicture(const QImage& picture)
{
    if (!sliceInto(picture))
        throw std::bad_alloc();
    emit allPartsChanged();
}

void TPartsStore::ComposePartsPicture(QImage& picture) const
{
    QImage sheet(SheetSide * FPartWidth, SheetSide * FPartHeight, QImage::Format_RGB32);
    if (sheet.isNull())
        throw std::bad_alloc();
    const qsizetype bytes = qsizetype(FPartWidth) * BytesPerPixel;
    for (int n = 0; n < PartCount; ++n) {
        const QImage& part = PartBitmaps[n];
        const int left = (n % SheetSide) * FPartWidth;
        const int top = (n / SheetSide) * FPartHeight;
        for (int row = 0; row < FPartHeight; ++row) {
            std::memcpy(sheet.scanLine(top + row) + qsizetype(left) * BytesPerPixel,
                        part.constScanLine(row), bytes);
        }
    }
    picture = std::move(sheet);
}

bool TPartsStore::LoadPartsPicture(const QString& fileName)
{
    // A picture that cannot be read is no error to report: the parts simply stay. Only a
    // regular file is read: a FIFO or a device would block, or never end.
    if (!QFileInfo(fileName).isFile())
        return false;
    std::optional<QImage> picture;
    try {
        // Only the top-left sheet is used; a decoder that cannot decode just that part may
        // take four sheets' worth, or 512 MB when that is more.
        const QSize sheet(SheetSide * FPartWidth, SheetSide * FPartHeight);
        picture = FFormats.LoadPicture(
            fileName, {sheet, std::max(qint64(sheet.width()) * sheet.height() * BytesPerPixel * 4,
                                       qint64(512) * 1024 * 1024)});
    } catch (const std::exception&) {
        return false;
    }
    if (!picture)
        return false;
    bool loaded = false;
    try {
        editParts(allParts(), [&] { return loaded = sliceInto(*picture); }, FFileName);
    } catch (const std::bad_alloc&) {
        // No room to keep the old pictures for undo: the load goes ahead without a step,
        // and the older steps go too, since they could no longer be taken back in order.
        if (FHistory)
            FHistory->Clear();
        loaded = sliceInto(*picture);
    }
    if (!loaded)
        return false;
    FFileName = fileName;
    ClearPartsModified();
    emit allPartsChanged();
    emit pictureFileMatched(fileName);
    return true;
}

QByteArray TPartsStore::SheetFormatFor(const QString& fileName) const
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == u"png")
        return QByteArrayLiteral("PNG");
    if (suffix == u"bmp" || suffix == u"dib")
        return QByteArrayLiteral("BMP");
    // Any other picture format would lose pixels (JPEG), colours (GIF) or could not be
    // read back by the reader its name chooses.
    const bool picture =
        !suffix.isEmpty() && (FFormats.Find(suffix) ||
                              QImageReader::supportedImageFormats().contains(suffix.toLatin1()));
    return picture ? QByteArray() : QByteArrayLiteral("BMP");
}

void TPartsStore::WritePartsPicture(const QString& fileName)
{
    const auto failure = [&fileName](const QString& reason) {
        QString text = QStringLiteral("パーツ画像を保存できません: %1")
                           .arg(QDir::toNativeSeparators(fileName));
        if (!reason.isEmpty())
            text += QLatin1Char('\n') + reason;
        return std::runtime_error(text.toStdString());
    };

    const QByteArray format = SheetFormatFor(fileName);
    if (format.isEmpty())
        throw failure(QStringLiteral("この形式では保存できません"));
    QImage sheet;
    try {
        ComposePartsPicture(sheet);
    } catch (const std::bad_alloc&) {
        throw failure(QString());
    }
    TFileWriteSet set;
    if (FFilesToKeep)
        set.AddInputs(FFilesToKeep());
    set.AddOutput(fileName, [&sheet, &format](QIODevice& out) {
        return sheet.save(&out, format.constData());
    });
    const TFileWriteResult written = set.Write();
    if (!written)
        throw failure(written.Error);
    ClearPartsModified();
    emit pictureSaved(fileName);
    emit pictureFileMatched(fileName);
}

void TPartsStore::SetPartsModified()
{
    setModified(true);
}

void TPartsStore::ClearPartsModified()
{
    setModified(false);
}

void TPartsStore::setModified(bool modified)
{
    if (modified == PartsModified)
        return;
    PartsModified = modified;
    emit partsModifiedChanged(modified);
}

bool TPartsStore::EditParts(const QList<int>& parts, const std::function<bool()>& change)
{
    return editParts(parts, change, std::nullopt);
}

bool TPartsStore::editParts(const QList<int>& parts, const std::function<bool()>& change,
                            std::optional<QString> fileNameBefore)
{
    emit partsToChange(parts);
    std::vector<QImage> pictures;
    pictures.reserve(size_t(parts.size()));
    for (int n : parts) {
        checkPartNumber(n);
        pictures.push_back(PartBitmaps[n].copy());
        if (pictures.back().isNull() && !PartBitmaps[n].isNull())
            throw std::bad_alloc();
    }
    bool changed = false;
    try {
        changed = change();
    } catch (...) {
        for (qsizetype i = 0; i < parts.size(); ++i)
            capturePart(parts[i], pictures[size_t(i)], 0, 0);
        announce(parts);
        throw;
    }
    if (!changed)
        return false;
    setModified(true);
    if (FHistory)
        FHistory->Push(std::make_unique<TPartsStep>(this, parts, std::move(pictures),
                                                    std::move(fileNameBefore)));
    return true;
}

QList<int> TPartsStore::allParts()
{
    QList<int> all(PartCount);
    for (int n = 0; n < PartCount; ++n)
        all[n] = n;
    return all;
}

bool TPartsStore::EditAllParts(const std::function<bool()>& change)
{
    return EditParts(allParts(), change);
}

void TPartsStore::stepApplied(const QList<int>& parts)
{
    // Undo and redo change the pictures; they never make them the saved ones, even where
    // they go back to the pictures last saved.
    setModified(true);
    announce(parts);
}

void TPartsStore::announce(const QList<int>& parts)
{
    if (parts.size() == 1)
        emit partChanged(parts.first());
    else
        emit allPartsChanged();
}

void TPartsStore::clearCopyBuffer()
{
    const bool had = HasCopyBuffer();
    FCopyBuffer.fill(QImage());
    FCopyBufferWidth = 0;
    FCopyBufferHeight = 0;
    if (had)
        emit copyBufferChanged(false);
}

bool TPartsStore::CopySelectedParts(int left, int top, int right, int bottom)
{
    if (!isValidSelection(left, top, right, bottom))
        return false;
    // Implicitly shared copies: a later change of a part detaches it from the buffer.
    for (int r = top; r <= bottom; ++r) {
        for (int c = left; c <= right; ++c)
            FCopyBuffer[(c - left) * SheetSide + (r - top)] = PartBitmaps[r * SheetSide + c];
    }
    FCopyBufferWidth = right - left + 1;
    FCopyBufferHeight = bottom - top + 1;
    emit copyBufferChanged(true);
    return true;
}

bool TPartsStore::PasteIntoSelection(int left, int top, int right, int bottom)
{
    if (!HasCopyBuffer() || !isValidSelection(left, top, right, bottom))
        return false;
    return EditParts(selectionParts(left, top, right, bottom), [&] {
        for (int r = top; r <= bottom; ++r) {
            for (int c = left; c <= right; ++c) {
                const int entry =
                    ((c - left) % FCopyBufferWidth) * SheetSide + (r - top) % FCopyBufferHeight;
                // Into the existing picture objects, which others may hold references to.
                capturePart(r * SheetSide + c, FCopyBuffer[entry], 0, 0);
            }
        }
        announceSelection(left, top, right, bottom);
        return true;
    });
}

bool TPartsStore::DeleteSelectedParts(int left, int top, int right, int bottom)
{
    if (!isValidSelection(left, top, right, bottom))
        return false;
    return EditParts(selectionParts(left, top, right, bottom), [&] {
        for (int r = top; r <= bottom; ++r) {
            for (int c = left; c <= right; ++c)
                resetPart(r * SheetSide + c);
        }
        announceSelection(left, top, right, bottom);
        return true;
    });
}

void TPartsStore::announceSelection(int left, int top, int right, int bottom)
{
    // One signal whatever the selection: a view repaints one part, or everything.
    if (left == right && top == bottom)
        emit partChanged(top * SheetSide + left);
    else
        emit allPartsChanged();
}
