#pragma once

#include "FileStamp.h"
#include "TerrainFile.h"
#include "WangMatcher.h"

#include <QObject>
#include <QSize>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class TUndoHistory;

// The terrain sets of the parts in use: read from the parts picture's terrain file whenever
// the parts become a picture's (a load, a save under a new name, a reload), with the set and
// the colour the terrain tool paints. A file that cannot be used leaves no set, and Problem()
// says why.
class TTerrainStore : public QObject
{
    Q_OBJECT

public:
    explicit TTerrainStore(QObject* parent = nullptr);
    ~TTerrainStore() override;

    // Reads the terrain file of the picture, whose parts are of the given size; an empty
    // name (parts not yet saved) leaves no set.
    void Read(const QString& pictureFileName, QSize partSize);
    // The parts were saved as this picture: when it has no terrain file yet, the sets in use
    // go with the parts, written beside it by the Read that follows. So sets made before the
    // parts had a name, or those of the picture saved under a new name, are kept.
    void PartsSaved(const QString& pictureFileName);
    // Sets that come with new parts not yet saved (those of an imported map's tilesets): in
    // use at once, written beside the parts when they are first saved; no step of the
    // history, as the parts' own arrival is none.
    void Adopt(const TTerrainSheet& sheet);

    // The sets that can paint: of a type the brush knows, with colours and parts.
    const std::vector<TWangSet>& Sets() const { return FSets; }
    // Why nothing can be painted; empty when a set can.
    QString Problem() const { return FProblem; }
    // The file the sets came from (NAME.tsx), empty before the parts are a picture's.
    QString FileName() const { return FFileName; }

    // The chosen set (-1: none) and its colour (1..).
    int SetIndex() const { return FSet; }
    int Color() const { return FColor; }
    const TWangSet* ChosenSet() const;
    // Chooses a set and a colour of it; out-of-range numbers fall back to the first.
    void Choose(int set, int color);
    // The set (by name) and colour to choose when sets are read that have it, until another
    // is chosen: the choice of the last run.
    void Prefer(const QString& setName, int color);

    // The sheet as read, every set in it (also those that cannot paint yet).
    const TTerrainSheet& Sheet() const { return FSheet; }
    // Why the sets cannot be edited (a foreign or bad file); empty when they can. Before the
    // parts have a name the sets are edited here only, and written when the parts are saved.
    QString EditProblem() const { return FEditProblem; }
    // Takes an edited sheet: painting uses it at once (setsChanged, choiceChanged), it is
    // written to the terrain file, and with a history the edit is a step of it. Refused, with
    // the reason, when EditProblem() says so; a write that fails is also announced
    // (writeFailed).
    TFileWriteResult Edit(const TTerrainSheet& sheet);
    // The history edits go to (none: edits are not undone). A step taken back or made again
    // while the sets of another picture are in use changes nothing.
    void SetHistory(TUndoHistory* history) { FHistory = history; }
    // The chosen set's matcher; null without a set.
    const TWangMatcher* Matcher() const { return FMatcher.get(); }

signals:
    // Other sets were read (perhaps none); choiceChanged follows.
    void setsChanged();
    void choiceChanged(int set, int color);
    // An edit, or its undo or redo, could not be written to the terrain file.
    void writeFailed(const QString& error);
    // An edit, or its undo or redo, is held here only, as the parts have no file yet or the
    // write failed: it is written when the parts are saved, and lost if they never are.
    void setsUnwritten();

private:
    class TEditStep;

    // Puts the sheet in place and writes it.
    TFileWriteResult apply(const TTerrainSheet& sheet);
    TFileWriteResult write();
    // When another program has changed the file since it was read or written, reads it again
    // and says so (the text returned, also announced by writeFailed); empty when unchanged or
    // deleted.
    QString rereadIfChanged();
    // The sets that can paint taken from FSheet, announced, the preferred choice kept.
    void takeSets();

    TUndoHistory* FHistory = nullptr;
    TTerrainSheet FSheet;
    std::optional<TTerrainSheet> FCarried; // the sets going with the parts being saved
    TTerrainOwner FOwner;
    TFileStamp FStamp;       // the file as last read or written
    bool FUnwritten = false; // the sets in use are not in the file: its write failed
    quint64 FGeneration = 0; // which sets edits belong to: a step of others changes nothing
    QString FEditProblem;
    QString FPreferredSet;
    int FPreferredColor = 1;
    std::vector<TWangSet> FSets;
    QString FProblem;
    QString FFileName;
    int FSet = -1;
    int FColor = 0;
    std::unique_ptr<TWangMatcher> FMatcher;
};
