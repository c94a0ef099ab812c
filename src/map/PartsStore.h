#pragma once

#include "CopyMode.h"
#include "PartSize.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class QPainter;
class QRect;
class TPictureFormats;
class TUndoHistory;

// The tile set: 256 equal-sized part pictures (QImage::Format_RGB32, always opaque), the
// part size, the parts-modified flag, the remembered file name of the parts picture and the
// parts copy buffer. Part n sits in column n % 16 and row n / 16 of the 16 x 16 parts sheet.
// Knows no widget; every change of a picture is announced, and the views repaint what it
// names.
//
// Part numbers outside 0..255 are refused with std::out_of_range.
class TPartsStore : public QObject
{
    Q_OBJECT

public:
    static constexpr int PartCount = 256;
    // Parts per row and per column of the parts sheet.
    static constexpr int SheetSide = 16;

    // Starts with 32 x 32 placeholders, an empty copy buffer, not modified, no file name.
    // The registry must outlive the store: later plug-ins register their formats in it.
    explicit TPartsStore(const TPictureFormats& formats, QObject* parent = nullptr);

    ~TPartsStore() override;

    // Where the edits of parts go as undo steps (shared with the map, so that undo follows
    // the order of all changes); none by default. The store never empties it (but to find
    // memory for a load): whoever gives the parts a new size clears it with them.
    void SetHistory(TUndoHistory* history) { FHistory = history; }

    uint16_t PartWidth() const { return FPartWidth; }
    uint16_t PartHeight() const { return FPartHeight; }

    // Whether parts of this size can be held (the map model's rule, PartSize.h).
    static bool PartSizeAllowed(int width, int height);
    // The message for a part size beyond that.
    static inline const QString PartSizeTooLargeText =
        QStringLiteral("パーツのサイズが大きすぎます");

    // Every part becomes a fresh placeholder of the new size (also when the size stays the
    // same), the copy buffer is emptied and the modified flag cleared. A width or height of
    // 0 throws std::invalid_argument, a size beyond PartSizeAllowed std::length_error, a
    // failed allocation std::bad_alloc. Whichever, nothing has changed.
    void SetPartsSize(uint16_t width, uint16_t height);

    // Replaces part n by a new placeholder picture: white, its number in grey at the top
    // left. References to the old picture's pixels become stale.
    void ResetPart(int n);

    // The picture of part n. Callers may draw into it in place (then SetPartsModified);
    // the reference stays valid until ResetPart / SetPartsSize.
    QImage& PartBitmap(int n);
    const QImage& PartBitmap(int n) const;

    // Copies the part-sized rectangle of source at (x, y) into part n, 1:1, keeping the
    // part's picture object. Pixels of the rectangle outside the source become white.
    // Nothing happens when the rectangle does not overlap the source (x >= width,
    // y >= height, or entirely left of / above it). Any source format is accepted.
    void CapturePart(int n, const QImage& source, int x, int y);
    // Takes each picture given (a null one leaves its part) as CapturePart does, announced
    // as one change of all parts.
    void CaptureParts(const std::array<QImage, PartCount>& pictures);

    // Swaps the pictures of parts a and b, pixels only: the picture objects stay where they
    // are. Does not touch the modified flag.
    void ExchangeParts(int a, int b);

    // Stretches part n over target without smoothing, combined with the canvas by the
    // painter's current composition mode. Allocates nothing.
    void DrawPart(QPainter& canvas, const QRect& target, int n) const;
    // The same with the given copy mode; pattern copy fills target with the painter's
    // brush instead. The painter's composition mode is left as it was.
    void DrawPart(QPainter& canvas, const QRect& target, int n, TCopyMode mode) const;
    // Draws part n stretched to zoomSize x zoomSize (square whatever the part's shape)
    // with its top-left at target's top-left; target's size is not used.
    void DrawPartZoomed(QPainter& canvas, const QRect& target, int n, int zoomSize) const;

    // Captures every part whose top-left corner lies inside the picture, read as a sheet of
    // 16 parts to a row; other parts keep their pictures. Does not touch the modified flag.
    void SlicePartsPicture(const QImage& picture);
    // Makes picture the 16 * PartWidth x 16 * PartHeight RGB32 parts sheet. Throws
    // std::bad_alloc (picture unchanged) when it cannot be allocated.
    void ComposePartsPicture(QImage& picture) const;

    // Reads a picture through the format registry (reader chosen by extension) and slices
    // it into the parts, remembers the name and clears the modified flag. On any failure
    // returns false and changes nothing.
    bool LoadPartsPicture(const QString& fileName);
    // The format the parts sheet is written in under this name: "PNG" for a .png name,
    // "BMP" for a .bmp name and for names of no picture format; empty for a picture format
    // that cannot hold the sheet unchanged (JPEG, GIF, a plug-in's format), whose file must
    // not be written over with other bytes.
    QByteArray SheetFormatFor(const QString& fileName) const;
    // Writes the parts sheet in the format of SheetFormatFor and clears the modified flag.
    // On failure (a name of no writable format included) throws std::runtime_error with a
    // message for the user (UTF-8), the old file stays whole and the parts stay modified.
    void WritePartsPicture(const QString& fileName);
    // The files a parts picture save must never replace (the open map file), asked at
    // each save.
    void SetFilesToKeep(std::function<QStringList()> files) { FFilesToKeep = std::move(files); }

    // The remembered name of the parts picture: set by a successful load or by the save
    // dialog; the undo of a load brings back the name before it (pictureFileMatched).
    QString FileName() const { return FFileName; }
    void SetFileName(const QString& fileName) { FFileName = fileName; }

    // Makes a change of the user's to the listed parts as one undo step: their pictures are
    // kept, change() alters them (through the primitives above) and says whether it did,
    // and the parts then count as modified until saved; undoing or redoing it marks them
    // modified too. A change that throws is taken back. Returns change()'s answer.
    // partsToChange comes first.
    bool EditParts(const QList<int>& parts, const std::function<bool()>& change);
    // The same for every part.
    bool EditAllParts(const std::function<bool()>& change);

    // Set by every edit and by its undo and redo; cleared only by a load, a new part size
    // and a successful save (ClearPartsModified marks the current pictures saved).
    bool IsPartsModified() const { return PartsModified; }
    void SetPartsModified();
    void ClearPartsModified();

    // The parts copy buffer: the part at column offset i and row offset j of the copied
    // block is entry i * 16 + j. Entries are null until copied into; entries outside the
    // last copied block are stale and never read.
    const std::array<QImage, PartCount>& CopyBuffer() const { return FCopyBuffer; }
    int CopyBufferWidth() const { return FCopyBufferWidth; }
    int CopyBufferHeight() const { return FCopyBufferHeight; }
    bool HasCopyBuffer() const { return FCopyBufferWidth > 0 && FCopyBufferHeight > 0; }

    // The selection operations take grid cells (columns left..right, rows top..bottom,
    // inclusive, 0..15, left <= right and top <= bottom). Anything else is refused: they
    // return false and change nothing.

    // Copies the selected parts into the copy buffer; the parts are not marked modified.
    bool CopySelectedParts(int left, int top, int right, int bottom);
    // Lays the copied block repeatedly over the selection from its top-left cell; only the
    // selected parts change, as one undo step. False while the buffer is empty.
    bool PasteIntoSelection(int left, int top, int right, int bottom);
    // Turns the selected parts into placeholders, as one undo step.
    bool DeleteSelectedParts(int left, int top, int right, int bottom);

signals:
    // An edit of these parts is about to begin (before its undo step keeps their pictures),
    // or new parts are about to be made (all parts listed).
    void partsToChange(const QList<int>& parts);
    // The picture of part n changed (capture, reset, a paste or delete of one part).
    void partChanged(int n);
    // Every part may have changed: a new part size, a loaded or sliced picture, a paste or
    // delete over several parts. One signal per operation.
    void allPartsChanged();
    // SetPartsSize made new parts (also of the same size); allPartsChanged follows.
    void partsResized();
    // The parts were written to this file; pictureFileMatched follows.
    void pictureSaved(const QString& fileName);
    // An undo or redo of a load gave the parts this name again (empty: none);
    // pictureFileMatched follows.
    void fileNameRestored(const QString& fileName);
    // The parts are now what this file holds: a load from it, or a save to it.
    void pictureFileMatched(const QString& fileName);
    // Emitted when the modified flag changes; the save commands follow it.
    void partsModifiedChanged(bool modified);
    // Emitted with true after every copy and with false when a filled buffer is emptied;
    // the paste commands follow it.
    void copyBufferChanged(bool available);

private:
    const TPictureFormats& FFormats;
    uint16_t FPartWidth = 0;
    uint16_t FPartHeight = 0;
    std::array<QImage, PartCount> PartBitmaps;
    bool PartsModified = false;
    TUndoHistory* FHistory = nullptr;
    QString FFileName;
    std::function<QStringList()> FFilesToKeep;
    std::array<QImage, PartCount> FCopyBuffer;
    int FCopyBufferWidth = 0;
    int FCopyBufferHeight = 0;

    class TPartsStep;

    void clearCopyBuffer();
    void setModified(bool modified);
    void stepApplied(const QList<int>& parts);
    void announce(const QList<int>& parts);
    void resetPart(int n);
    bool capturePart(int n, const QImage& source, int x, int y);
    void announceSelection(int left, int top, int right, int bottom);
    bool sliceInto(const QImage& picture);
    bool editParts(const QList<int>& parts, const std::function<bool()>& change,
                   std::optional<QString> fileNameBefore);
    static QList<int> allParts();
};
