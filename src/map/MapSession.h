#pragma once

#include "FileWatch.h"
#include "FileWrite.h"
#include "MapDocument.h"
#include "MapFile.h"
#include "PartsStore.h"
#include "Progress.h"
#include "TmxFile.h"
#include "UndoHistory.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>

class TPictureFormats;

// The outcome of a session operation: whether it happened, and if not why (one line, for
// the user's message).
struct TSessionResult
{
    bool Ok = false;
    bool Cancelled = false; // it stopped because its progress said so
    QString Error;
    explicit operator bool() const { return Ok; }
};

// The open work: the map document, the parts store, the one undo history both put their
// steps into, the map file's name and the TMX file an untitled map came from. Every
// operation that touches the map and the parts together lives here, as one undo step where
// it can be undone, and announces itself through the models' signals. Knows no widget: the
// editor's windows and the command-line tool share it.
//
// The history is emptied only here: by a new map, a load and a TMX import, whose new map
// and parts the old steps cannot be taken back into. The modified flags stay in their
// models; undo and redo never clear them, only a new map, a load and a successful save of
// that model do.
class TMapSession : public QObject
{
    Q_OBJECT

public:
    // What the session keeps of the parts: their pictures (the editor), or only the size
    // the map is made for (a tool that reads and writes map files, and must not hold 256
    // parts of a size that may run to 2 GB). A size-only session's store stays as made.
    enum class TParts
    {
        Pictures,
        SizeOnly
    };

    // The registry must outlive the session: the parts read and write their pictures
    // through it.
    explicit TMapSession(const TPictureFormats& formats, TParts parts = TParts::Pictures,
                         QObject* parent = nullptr);
    ~TMapSession() override;

    TMapDocument& Document() { return FDocument; }
    const TMapDocument& Document() const { return FDocument; }
    TPartsStore& Parts() { return FParts; }
    const TPartsStore& Parts() const { return FParts; }
    TUndoHistory& History() { return FHistory; }

    // The part size the map is made for, which a save writes: the parts' size, or in a
    // size-only session the one last set, loaded or imported.
    uint16_t PartWidth() const;
    uint16_t PartHeight() const;
    // A new part size: the parts are made anew (the history ends with the old ones), and
    // throw as TPartsStore::SetPartsSize does; a size-only session just keeps it, refusing
    // only a width or height of 0 (std::invalid_argument).
    void SetPartSize(uint16_t width, uint16_t height);

    // The name later saves go to; empty while untitled. The save dialog sets the name the
    // user chose; it is announced (mapNamed) once a save to it succeeds.
    QString MapFileName() const { return FMapFileName; }
    void SetMapFileName(const QString& fileName) { FMapFileName = fileName; }
    // The file the map was loaded from, saved to or imported from; empty for a new map.
    QString MapSourceName() const { return FMapFileName.isEmpty() ? FImportedFrom : FMapFileName; }

    // A new untitled map of part 0 with new parts of the given size. Everything is
    // allocated before anything changes: bad sizes (std::invalid_argument,
    // std::length_error) and a failed allocation (std::bad_alloc) throw and change nothing.
    void NewMap(int width, int height, uint16_t partWidth, uint16_t partHeight);
    // The same keeping the parts as they are.
    void NewMap(int width, int height);
    // Reads a map file; the parts take its part size before the map goes in place. A failed
    // load changes nothing (Message() says why); a loaded map is named after its file.
    TMapLoadResult LoadMap(const QString& fileName, TMapFileType type);
    // Saves the map (never over one of `inputsToKeep`) and names it after the file. A failed
    // save leaves the old file whole and the map modified.
    TSessionResult SaveMap(const QString& fileName, TMapFileType type,
                           const QStringList& inputsToKeep = {});
    // The same as the last file of the caller's set, beside its other outputs (a parts
    // sheet, say) and never over its inputs: all are written, or none is.
    TFileWriteResult SaveMap(TFileWriteSet& set, const QString& fileName, TMapFileType type);

    // Reads a TMX map and its tiles in place of the map and the parts: an untitled map,
    // both modified, their files still to be chosen. A failed or cancelled import changes
    // nothing. `rest`, when given, receives what the session does not keep: the files the
    // TMX named and, in a size-only session, the tiles. ReadTmx and PlaceTmx in one.
    TSessionResult ImportTmx(const QString& fileName, uint8_t emptyPart,
                             const TProgress& progress = {}, TTmxImport* rest = nullptr);
    // The import's first half: reads the TMX map and touches no model, so that it may run
    // on another thread. Cancelled when `progress` said stop.
    static TSessionResult ReadTmx(const QString& fileName, uint8_t emptyPart, TTmxImport& imported,
                                  const TProgress& progress = {});
    // The second half: puts what ReadTmx read from the file in place. Throws as
    // TPartsStore::SetPartsSize does when the parts cannot be made, changing nothing.
    void PlaceTmx(TTmxImport&& imported, const QString& fileName, TTmxImport* rest = nullptr);
    // Writes the map as TMX with the parts sheet beside it, neither over one of
    // `filesToKeep`. Reads the models only, so that it may run on another thread while they
    // cannot change; when `progress` says stop, the result is Cancelled and no file written.
    TFileWriteResult ExportTmx(const QString& fileName, const TTmxWriteOptions& options,
                               const QStringList& filesToKeep = {}, const TProgress& progress = {});
    // The same with a sheet of the caller's (16 x 16 parts of PartWidth x PartHeight).
    TFileWriteResult ExportTmx(const QString& fileName, const TTmxWriteOptions& options,
                               const QImage& sheet, const QStringList& filesToKeep = {},
                               const TProgress& progress = {});

    // The picture becomes the selected part and the cell shows it, as one undo step.
    void Overlay(uint8_t selectedPart, int col, int row, const QImage& picture);
    // The pictures of parts a and b swap and so do the map's cells holding them, so that
    // the map looks as before, as one undo step.
    void ExchangeParts(uint8_t a, uint8_t b);

    // Runs change(), which edits the map and the parts through their own operations, as
    // one undo step: undone and redone together, also when it ends in an exception.
    template <class F> decltype(auto) Compound(F&& change)
    {
        const TUndoGroup step(FHistory);
        return std::forward<F>(change)();
    }

    // Other programs' saves of the map file and of the parts picture. In a session that
    // keeps the pictures the watches follow the names the map and the parts take, and
    // report only changes the program did not make itself.
    TFileWatch& MapFileWatch() { return FMapWatch; }
    TFileWatch& PartsPictureWatch() { return FPartsWatch; }
    enum class TReload
    {
        Reloaded,
        Unreadable,   // not there, not whole, or of no known format: nothing changed
        OtherPartSize // a map made for other parts: nothing changed
    };
    // Reads the watched map file again as one undo step; the map is then its file's.
    TReload ReloadMap(TMapFileType type);
    // Reads the watched parts picture again at the same part size, as one undo step.
    TReload ReloadPartsPicture();

signals:
    // A new map, a load, a save or an import named the map after its file (empty:
    // untitled).
    void mapNamed(const QString& fileName);
    // An import placed its map and parts; these are its tilesets' terrain sets, in part
    // numbers (perhaps none).
    void tmxTerrainPlaced(const TTerrainSheet& terrain);

private:
    void setNames(const QString& fileName, const QString& importedFrom);

    // The part size is set: the parts take it, or it is kept. False when the parts cannot be
    // made (nothing changed then).
    bool applyPartSize(uint16_t width, uint16_t height);
    void watchFiles();

    const TParts FPartsKept;
    TUndoHistory FHistory;
    TMapDocument FDocument;
    TPartsStore FParts;
    uint16_t FPartWidth = 0; // a size-only session's
    uint16_t FPartHeight = 0;
    QString FMapFileName;
    QString FImportedFrom;
    TFileWatch FMapWatch;
    TFileWatch FPartsWatch;
};
